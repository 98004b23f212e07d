#include "formats/planar_faces.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <map>
#include <numeric>
#include <utility>

#include "planar/polygon_geometry.h"

namespace mesh {

namespace {

PlanePoint InPlane(const GraphVertex& v) { return PlanePoint{v.x, v.y}; }

bool OnSegment(const GraphVertex& a, const GraphVertex& b, double px, double py) {
  return OnSegment(InPlane(a), InPlane(b), PlanePoint{px, py});
}

// 0 also for NaN, an orientation whose products overflowed.
int Sign(double value) { return (value > 0) - (value < 0); }

// "NAME:LINE: ", the start of every message about a line.
std::string At(const std::string& name, int line) {
  return name + ":" + std::to_string(line) + ": ";
}

std::string Numbered(const char* what, long long number, int line) {
  return std::string(what) + " " + std::to_string(number) + " (line " + std::to_string(line) +
         ")";
}

}  // namespace

bool CheckGraph(const std::string& name, const std::vector<GraphVertex>& v,
                const std::vector<GraphSegment>& s, long long base, std::string* error) {
  auto at = [&](int line) { return At(name, line); };
  std::map<std::pair<int, int>, size_t> seen;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i].a == s[i].b) {
      *error = at(s[i].line) + Numbered("segment", base + i, s[i].line) +
               " joins a vertex to itself";
      return false;
    }
    const auto key = std::minmax(s[i].a, s[i].b);
    const auto inserted = seen.emplace(key, i);
    if (!inserted.second) {
      *error = at(s[i].line) + Numbered("segment", base + i, s[i].line) + " repeats " +
               Numbered("segment", base + inserted.first->second, s[inserted.first->second].line);
      return false;
    }
  }
  std::vector<size_t> order(v.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(), [&](size_t l, size_t r) {
    return std::make_pair(v[l].x, v[l].y) < std::make_pair(v[r].x, v[r].y);
  });
  for (size_t k = 1; k < order.size(); ++k) {
    const GraphVertex& p = v[order[k - 1]];
    const GraphVertex& q = v[order[k]];
    if (p.x == q.x && p.y == q.y) {
      const size_t first = std::min(order[k - 1], order[k]), second = std::max(order[k - 1], order[k]);
      *error = at(v[second].line) + Numbered("vertex", base + second, v[second].line) +
               " is at the same place as " + Numbered("vertex", base + first, v[first].line);
      return false;
    }
  }

  std::vector<bool> on_segment(v.size(), false);
  for (const GraphSegment& segment : s) on_segment[segment.a] = on_segment[segment.b] = true;
  for (size_t i = 0; i < s.size(); ++i) {
    const GraphVertex& a = v[s[i].a];
    const GraphVertex& b = v[s[i].b];
    for (size_t j = i + 1; j < s.size(); ++j) {
      const GraphVertex& c = v[s[j].a];
      const GraphVertex& d = v[s[j].b];
      if (std::max(c.x, d.x) < std::min(a.x, b.x) || std::max(a.x, b.x) < std::min(c.x, d.x) ||
          std::max(c.y, d.y) < std::min(a.y, b.y) || std::max(a.y, b.y) < std::min(c.y, d.y)) {
        continue;
      }
      const bool shared = s[i].a == s[j].a || s[i].a == s[j].b || s[i].b == s[j].a ||
                          s[i].b == s[j].b;
      bool meet;
      if (shared) {
        // Two segments from one vertex meet elsewhere only by overlapping.
        meet = Sign(Orient(InPlane(c), InPlane(d), InPlane(a))) == 0 &&
               Sign(Orient(InPlane(c), InPlane(d), InPlane(b))) == 0 &&
               ((s[i].a != s[j].a && s[i].a != s[j].b && OnSegment(c, d, a.x, a.y)) ||
                (s[i].b != s[j].a && s[i].b != s[j].b && OnSegment(c, d, b.x, b.y)) ||
                (s[j].a != s[i].a && s[j].a != s[i].b && OnSegment(a, b, c.x, c.y)) ||
                (s[j].b != s[i].a && s[j].b != s[i].b && OnSegment(a, b, d.x, d.y)));
      } else {
        meet = SegmentsMeet(InPlane(a), InPlane(b), InPlane(c), InPlane(d));
      }
      if (meet) {
        *error = at(s[i].line) + Numbered("segment", base + i, s[i].line) + " and " +
                 Numbered("segment", base + j, s[j].line) +
                 " cross or touch away from a shared vertex; split them where they meet";
        return false;
      }
    }
  }
  for (size_t p = 0; p < v.size(); ++p) {
    if (on_segment[p]) continue;
    for (size_t i = 0; i < s.size(); ++i) {
      if (OnSegment(v[s[i].a], v[s[i].b], v[p].x, v[p].y)) {
        *error = at(v[p].line) + Numbered("vertex", base + p, v[p].line) + " lies on " +
                 Numbered("segment", base + i, s[i].line) + "; split the segment there";
        return false;
      }
    }
  }
  return true;
}

int PlanarFaces::Origin(size_t h) const { return h % 2 == 0 ? s_[h / 2].a : s_[h / 2].b; }

double PlanarFaces::Angle(int h) const {
  const GraphVertex& o = v_[Origin(h)];
  const GraphVertex& d = v_[Origin(h ^ 1)];
  return std::atan2(d.y - o.y, d.x - o.x);
}

bool PlanarFaces::Inside(const Cycle& cycle, double x, double y) const {
  bool inside = false;
  for (int h : cycle.half_edges) {
    const GraphVertex& p = v_[Origin(h)];
    const GraphVertex& q = v_[Origin(h ^ 1)];
    if ((p.y > y) != (q.y > y) && x < (q.x - p.x) * (y - p.y) / (q.y - p.y) + p.x) {
      inside = !inside;
    }
  }
  return inside;
}

// The smallest positive cycle around (x, y), skipping those of the piece
// `own_piece` (-1: skip none).
template <typename Find>
int PlanarFaces::Innermost(double x, double y, int own_piece, Find&& find) const {
  int best = kOutside;
  for (size_t c = 0; c < cycles_.size(); ++c) {
    const Cycle& cycle = cycles_[c];
    if (cycle.area <= 0) continue;
    if (own_piece >= 0 && find(Origin(cycle.half_edges.front())) == own_piece) continue;
    if (best != kOutside && cycle.area >= cycles_[best].area) continue;
    if (Inside(cycle, x, y)) best = static_cast<int>(c);
  }
  return best;
}

PlanarFaces::PlanarFaces(std::vector<GraphVertex> vertices, std::vector<GraphSegment> segments)
    : v_(std::move(vertices)), s_(std::move(segments)) {
  const size_t half_edges = 2 * s_.size();
  std::vector<std::vector<int>> outgoing(v_.size());
  for (size_t h = 0; h < half_edges; ++h) outgoing[Origin(h)].push_back(static_cast<int>(h));
  std::vector<size_t> position(half_edges, 0);
  for (std::vector<int>& around : outgoing) {
    std::sort(around.begin(), around.end(), [this](int l, int r) { return Angle(l) < Angle(r); });
    for (size_t k = 0; k < around.size(); ++k) position[around[k]] = k;
  }

  // Following each half-edge by the next one clockwise around its end
  // walks the face on the half-edge's left.
  cycle_of_.assign(half_edges, -1);
  for (size_t start = 0; start < half_edges; ++start) {
    if (cycle_of_[start] >= 0) continue;
    const int cycle = static_cast<int>(cycles_.size());
    cycles_.emplace_back();
    double twice_area = 0;
    for (int h = static_cast<int>(start); cycle_of_[h] < 0;) {
      cycle_of_[h] = cycle;
      cycles_.back().half_edges.push_back(h);
      const GraphVertex& o = v_[Origin(h)];
      const GraphVertex& d = v_[Origin(h ^ 1)];
      twice_area += o.x * d.y - d.x * o.y;
      const std::vector<int>& around = outgoing[Origin(h ^ 1)];
      h = around[(position[h ^ 1] + around.size() - 1) % around.size()];
    }
    cycles_.back().area = twice_area / 2;
  }

  // A cycle with positive area bounds a face from outside. Every other
  // cycle is the outline of a connected piece seen from the face around
  // it, which is the smallest positive cycle of another piece around one
  // of its vertices, or the unbounded outside.
  std::vector<int> piece(v_.size());
  std::iota(piece.begin(), piece.end(), 0);
  std::function<int(int)> find = [&](int x) { return piece[x] == x ? x : piece[x] = find(piece[x]); };
  for (const GraphSegment& s : s_) piece[find(s.a)] = find(s.b);
  face_of_cycle_.assign(cycles_.size(), kOutside);
  for (size_t c = 0; c < cycles_.size(); ++c) {
    if (cycles_[c].area > 0) {
      face_of_cycle_[c] = static_cast<int>(c);
      continue;
    }
    const int vertex = Origin(cycles_[c].half_edges.front());
    face_of_cycle_[c] = Innermost(v_[vertex].x, v_[vertex].y, find(vertex), find);
  }
}

int PlanarFaces::FaceOf(double x, double y) const {
  return Innermost(x, y, -1, [](int) { return 0; });
}

}  // namespace mesh

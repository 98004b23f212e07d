#include "extract/poor_element_repair.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <utility>
#include <vector>

namespace mesh {

namespace {

double TwiceArea(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

double SquaredLength(const PlanePoint& a, const PlanePoint& b) {
  const double du = b.u - a.u, dv = b.v - a.v;
  return du * du + dv * dv;
}

// The sine of the corner at b, between the edges to a and to c, positive
// where the corners a, b, c turn counter-clockwise.
double CornerSine(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  const double lengths = std::sqrt(SquaredLength(b, a) * SquaredLength(b, c));
  return lengths > 0 ? TwiceArea(a, b, c) / lengths : 0.0;
}

// One element while the repair works on it: three or four corners, turning
// counter-clockwise in `at` once the mesh's own turning is taken out.
struct Element {
  std::array<int32_t, 4> corner{};
  int corners = 0;
  int32_t domain = 0;
  bool alive = true;
  bool added = false;  // a triangle the repair made
};

class Repair {
 public:
  Repair(const PlanarFrame& frame, const PlanarComplexMesh& record)
      : frame_(frame), record_(record) {
    Load();
  }

  double Worst() const {
    double worst = std::numeric_limits<double>::infinity();
    for (const Element& e : elements_) {
      if (e.alive) worst = std::min(worst, Quality(e));
    }
    return worst;
  }

  size_t CountPoor() const {
    size_t poor = 0;
    for (const Element& e : elements_) {
      if (e.alive && Quality(e) < kRepairQuality) ++poor;
    }
    return poor;
  }

  // Writes the repaired mesh to `out`, which may be the record read.
  RepairCounts Run(PlanarComplexMesh* out) {
    counts_.poor_before = CountPoor();
    if (counts_.poor_before == 0) {
      if (out != &record_) *out = record_;
      return counts_;
    }
    MarkFixedVertices();
    BuildIncidence();
    // Moving free vertices keeps the quads; a quad whose bad corner sits on
    // the boundary cannot be moved out of it, and is split instead; what
    // the split leaves is smoothed once more.
    SmoothAroundPoor();
    SplitPoorQuads();
    SmoothAroundPoor();
    counts_.poor_after = CountPoor();
    Store(out);
    return counts_;
  }

 private:
  double Quality(const Element& e) const {
    const PlanePoint& a = at_[e.corner[0]];
    const PlanePoint& b = at_[e.corner[1]];
    const PlanePoint& c = at_[e.corner[2]];
    if (e.corners == 3) return PlaneTriangleQuality(a, b, c);
    return PlaneQuadQuality(a, b, c, at_[e.corner[3]]);
  }

  // Whether every triangle the element splits into along one diagonal or
  // the other has area: what the answer's check takes for not folded.
  bool HasArea(const Element& e) const {
    auto positive = [&](int i, int j, int k) {
      return TwiceArea(at_[e.corner[i]], at_[e.corner[j]], at_[e.corner[k]]) > 0;
    };
    if (e.corners == 3) return positive(0, 1, 2);
    return (positive(0, 1, 2) && positive(0, 2, 3)) || (positive(1, 2, 3) && positive(1, 3, 0));
  }

 public:
  // A record with an index out of range, or domains not matching its
  // elements, is left to the answer's check to refuse: nothing is loaded.
  static bool Walkable(const PlanarComplexMesh& r) {
    if (r.quad_domains.size() != r.quads.size() ||
        r.triangle_domains.size() != r.triangles.size()) {
      return false;
    }
    const auto in_range = [&](int32_t v) {
      return v >= 0 && static_cast<size_t>(v) < r.vertices.size();
    };
    for (const auto& q : r.quads) {
      if (!std::all_of(q.begin(), q.end(), in_range)) return false;
    }
    for (const auto& t : r.triangles) {
      if (!std::all_of(t.begin(), t.end(), in_range)) return false;
    }
    return true;
  }

 private:
  void Load() {
    const PlanarComplexMesh& r = record_;
    if (!Walkable(r)) return;
    at_.reserve(r.vertices.size());
    for (const Point3& p : r.vertices) at_.push_back(frame_.ToPlane(p));
    elements_.reserve(r.quads.size() + r.triangles.size());
    double twice_area = 0;
    for (size_t i = 0; i < r.quads.size(); ++i) {
      Element e;
      e.corner = r.quads[i];
      e.corners = 4;
      e.domain = r.quad_domains[i];
      elements_.push_back(e);
      twice_area += TwiceArea(at_[e.corner[0]], at_[e.corner[1]], at_[e.corner[2]]) +
                    TwiceArea(at_[e.corner[0]], at_[e.corner[2]], at_[e.corner[3]]);
    }
    for (size_t i = 0; i < r.triangles.size(); ++i) {
      Element e;
      e.corner = {r.triangles[i][0], r.triangles[i][1], r.triangles[i][2], -1};
      e.corners = 3;
      e.domain = r.triangle_domains[i];
      elements_.push_back(e);
      twice_area += TwiceArea(at_[e.corner[0]], at_[e.corner[1]], at_[e.corner[2]]);
    }
    // The frame's axes may see the mesh turning clockwise; mirroring the
    // plane makes every measure read as for counter-clockwise corners.
    mirrored_ = twice_area < 0;
    if (mirrored_) {
      for (PlanePoint& p : at_) p.v = -p.v;
    }
  }

  // Vertices on a chain carry the caller's boundary, and those of request
  // points the caller's own positions: neither may move.
  void MarkFixedVertices() {
    fixed_.assign(at_.size(), false);
    for (int32_t v : record_.point_vertex) {
      if (v >= 0 && static_cast<size_t>(v) < fixed_.size()) fixed_[v] = true;
    }
    for (const std::vector<int32_t>& chain : record_.segment_chains) {
      for (size_t j = 0; j < chain.size(); ++j) {
        if (chain[j] >= 0 && static_cast<size_t>(chain[j]) < fixed_.size()) fixed_[chain[j]] = true;
      }
    }
  }

  void BuildIncidence() {
    around_.assign(at_.size(), {});
    for (size_t e = 0; e < elements_.size(); ++e) AddIncidence(e);
  }

  void AddIncidence(size_t e) {
    const Element& element = elements_[e];
    for (int j = 0; j < element.corners; ++j) around_[element.corner[j]].push_back(e);
  }

  void RemoveIncidence(size_t e) {
    const Element& element = elements_[e];
    for (int j = 0; j < element.corners; ++j) {
      std::vector<size_t>& list = around_[element.corner[j]];
      list.erase(std::remove(list.begin(), list.end(), e), list.end());
    }
  }

  // The worst quality of the elements around `vertex`, or -infinity when
  // one of them has lost its area.
  double WorstAround(int32_t vertex) const {
    double worst = std::numeric_limits<double>::infinity();
    for (size_t e : around_[vertex]) {
      const Element& element = elements_[e];
      if (!HasArea(element)) return -std::numeric_limits<double>::infinity();
      worst = std::min(worst, Quality(element));
    }
    return worst;
  }

  // Moves a free vertex where the worst element around it is best: first
  // to the middle of its neighbours, then by a compass search, each step
  // kept only if it raises that worst quality.
  bool Smooth(int32_t vertex) {
    if (fixed_[vertex] || around_[vertex].empty()) return false;
    const PlanePoint start = at_[vertex];
    double best = WorstAround(vertex);
    double mean_length = 0;
    PlanePoint middle;
    size_t neighbours = 0;
    for (size_t e : around_[vertex]) {
      const Element& element = elements_[e];
      for (int j = 0; j < element.corners; ++j) {
        const int32_t other = element.corner[j];
        if (other == vertex) continue;
        middle.u += at_[other].u;
        middle.v += at_[other].v;
        mean_length += std::sqrt(SquaredLength(at_[other], start));
        ++neighbours;
      }
    }
    middle.u /= static_cast<double>(neighbours);
    middle.v /= static_cast<double>(neighbours);
    mean_length /= static_cast<double>(neighbours);
    auto try_at = [&](const PlanePoint& p) {
      const PlanePoint was = at_[vertex];
      at_[vertex] = p;
      const double worst = WorstAround(vertex);
      if (worst > best) {
        best = worst;
        return true;
      }
      at_[vertex] = was;
      return false;
    };
    try_at(middle);
    double step = 0.25 * mean_length;
    static constexpr double kDirections[8][2] = {{1, 0},  {0, 1},  {-1, 0}, {0, -1},
                                                 {1, 1},  {-1, 1}, {-1, -1}, {1, -1}};
    for (int round = 0; round < 30 && step > 1e-6 * mean_length; ++round) {
      bool moved = false;
      for (const auto& d : kDirections) {
        const PlanePoint from = at_[vertex];
        if (try_at(PlanePoint{from.u + step * d[0], from.v + step * d[1]})) {
          moved = true;
          break;
        }
      }
      if (!moved) step /= 2;
    }
    const bool moved = at_[vertex].u != start.u || at_[vertex].v != start.v;
    if (moved) ++counts_.vertices_moved;
    return moved;
  }

  void SmoothAroundPoor() {
    for (int pass = 0; pass < 4; ++pass) {
      std::vector<int32_t> candidates;
      for (const Element& e : elements_) {
        if (!e.alive || Quality(e) >= kRepairQuality) continue;
        for (int j = 0; j < e.corners; ++j) {
          if (!fixed_[e.corner[j]]) candidates.push_back(e.corner[j]);
        }
      }
      std::sort(candidates.begin(), candidates.end());
      candidates.erase(std::unique(candidates.begin(), candidates.end()), candidates.end());
      bool any = false;
      for (int32_t vertex : candidates) {
        if (Smooth(vertex)) any = true;
      }
      if (!any) break;
    }
  }

  // The two triangles a quad falls into along the diagonal from corner
  // `from` (0 or 1) to the corner opposite.
  std::array<Element, 2> Halves(const Element& quad, int from) const {
    std::array<Element, 2> halves;
    const auto& c = quad.corner;
    const int a = from, b = from + 1, d = from + 2, e = (from + 3) % 4;
    halves[0].corner = {c[a], c[b], c[d], -1};
    halves[1].corner = {c[a], c[d], c[e], -1};
    for (Element& half : halves) {
      half.corners = 3;
      half.domain = quad.domain;
      half.added = true;
    }
    return halves;
  }

  void SplitPoorQuads() {
    const size_t count = elements_.size();
    for (size_t q = 0; q < count; ++q) {
      Element& quad = elements_[q];
      if (!quad.alive || quad.corners != 4) continue;
      const double quality = Quality(quad);
      if (quality >= kRepairQuality) continue;
      double best = quality;
      int best_from = -1;
      for (int from = 0; from < 2; ++from) {
        const std::array<Element, 2> halves = Halves(quad, from);
        if (!HasArea(halves[0]) || !HasArea(halves[1])) continue;
        const double worst = std::min(Quality(halves[0]), Quality(halves[1]));
        if (worst > best) {
          best = worst;
          best_from = from;
        }
      }
      if (best_from < 0) continue;
      const std::array<Element, 2> halves = Halves(quad, best_from);
      RemoveIncidence(q);
      elements_[q].alive = false;
      for (const Element& half : halves) {
        elements_.push_back(half);
        AddIncidence(elements_.size() - 1);
      }
      ++counts_.quads_split;
    }
  }

  void Store(PlanarComplexMesh* out) {
    if (out != &record_) *out = record_;
    PlanarComplexMesh& r = *out;
    for (size_t v = 0; v < at_.size(); ++v) {
      if (fixed_[v]) continue;
      PlanePoint p = at_[v];
      if (mirrored_) p.v = -p.v;
      const PlanePoint was = frame_.ToPlane(r.vertices[v]);
      // Untouched vertices keep their exact coordinates.
      if (p.u != was.u || p.v != was.v) r.vertices[v] = frame_.FromPlane(p);
    }
    std::vector<std::array<int32_t, 4>> quads;
    std::vector<int32_t> quad_domains;
    std::vector<std::array<int32_t, 3>> triangles;
    std::vector<int32_t> triangle_domains;
    for (const Element& e : elements_) {
      if (!e.alive) continue;
      if (e.corners == 4) {
        quads.push_back(e.corner);
        quad_domains.push_back(e.domain);
      } else if (!e.added) {
        triangles.push_back({e.corner[0], e.corner[1], e.corner[2]});
        triangle_domains.push_back(e.domain);
      }
    }
    for (const Element& e : elements_) {
      if (!e.alive || !e.added) continue;
      triangles.push_back({e.corner[0], e.corner[1], e.corner[2]});
      triangle_domains.push_back(e.domain);
    }
    r.quads = std::move(quads);
    r.quad_domains = std::move(quad_domains);
    r.triangles = std::move(triangles);
    r.triangle_domains = std::move(triangle_domains);
  }

  const PlanarFrame& frame_;
  const PlanarComplexMesh& record_;
  std::vector<PlanePoint> at_;
  bool mirrored_ = false;
  std::vector<Element> elements_;
  std::vector<bool> fixed_;
  std::vector<std::vector<size_t>> around_;
  RepairCounts counts_;
};

}  // namespace

double PlaneTriangleQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  const double squares = SquaredLength(a, b) + SquaredLength(b, c) + SquaredLength(c, a);
  return squares > 0 ? 2 * std::sqrt(3.0) * TwiceArea(a, b, c) / squares : 0.0;
}

double PlaneQuadQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                        const PlanePoint& d) {
  return std::min({CornerSine(d, a, b), CornerSine(a, b, c), CornerSine(b, c, d),
                   CornerSine(c, d, a)});
}

size_t CountPoorElements(const PlanarFrame& frame, const PlanarComplexMesh& record) {
  // Every answer comes through here, the largest too: the elements are
  // measured as they are read, and nothing is held.
  if (!Repair::Walkable(record)) return 0;
  const std::vector<Point3>& v = record.vertices;
  auto at = [&](int32_t k) { return frame.ToPlane(v[static_cast<size_t>(k)]); };
  double twice_area = 0;
  for (const auto& q : record.quads) {
    const PlanePoint a = at(q[0]), b = at(q[1]), c = at(q[2]), d = at(q[3]);
    twice_area += TwiceArea(a, b, c) + TwiceArea(a, c, d);
  }
  for (const auto& t : record.triangles) twice_area += TwiceArea(at(t[0]), at(t[1]), at(t[2]));
  // Mirrored as the repair mirrors the plane: swapping two corners turns
  // an element around as well.
  const bool mirrored = twice_area < 0;
  size_t poor = 0;
  for (const auto& q : record.quads) {
    const double quality = mirrored ? PlaneQuadQuality(at(q[3]), at(q[2]), at(q[1]), at(q[0]))
                                    : PlaneQuadQuality(at(q[0]), at(q[1]), at(q[2]), at(q[3]));
    if (quality < kRepairQuality) ++poor;
  }
  for (const auto& t : record.triangles) {
    const double quality = mirrored ? PlaneTriangleQuality(at(t[2]), at(t[1]), at(t[0]))
                                    : PlaneTriangleQuality(at(t[0]), at(t[1]), at(t[2]));
    if (quality < kRepairQuality) ++poor;
  }
  return poor;
}

double WorstQuality(const PlanarFrame& frame, const PlanarComplexMesh& record) {
  Repair repair(frame, record);
  return repair.Worst();
}

RepairCounts RepairPoorElements(const PlanarFrame& frame, const PlanarComplexMesh& record,
                                PlanarComplexMesh* repaired) {
  Repair repair(frame, record);
  return repair.Run(repaired);
}

}  // namespace mesh

#include "extract/interior_point_placement.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <utility>

#include "extract/point_grid.h"

namespace mesh {

namespace {

constexpr double kSineOf60Degrees = 0.86602540378443864676;

// Around a vertex whose worst element is at least this good, the centre of
// its neighbours is all the smoothing it gets.
constexpr double kGoodEnough = 0.7;

// A change must win by more than rounding to be taken, or two equally good
// states could trade places for ever.
constexpr double kBetterBy = 1e-9;

double CornerSine(const PlanePoint& previous, const PlanePoint& at, const PlanePoint& next,
                  double orientation) {
  const double nu = next.u - at.u, nv = next.v - at.v;
  const double pu = previous.u - at.u, pv = previous.v - at.v;
  const double lengths = std::hypot(nu, nv) * std::hypot(pu, pv);
  if (!(lengths > 0.0)) return -1.0;
  return orientation * (nu * pv - nv * pu) / lengths;
}

uint64_t EdgeKey(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

bool IsQuad(int32_t ref) { return ref % 2 == 0; }
size_t IndexOf(int32_t ref) { return static_cast<size_t>(ref / 2); }

}  // namespace

double TriangleShapeQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                            double orientation) {
  const double worst = std::min({CornerSine(c, a, b, orientation),
                                 CornerSine(a, b, c, orientation),
                                 CornerSine(b, c, a, orientation)});
  return worst > 0.0 ? worst / kSineOf60Degrees : worst;
}

double QuadShapeQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                        const PlanePoint& d, double orientation) {
  return std::min({CornerSine(d, a, b, orientation), CornerSine(a, b, c, orientation),
                   CornerSine(b, c, d, orientation), CornerSine(c, d, a, orientation)});
}

LocalMeshShaper::LocalMeshShaper(std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record,
                                 std::vector<char> held,
                                 const std::vector<BoundaryEdge>& kept_edges)
    : nodes_(*mesh_nodes),
      record_(*record),
      held_(std::move(held)),
      moved_(mesh_nodes->size(), 0),
      on_boundary_(mesh_nodes->size(), 0),
      incident_(mesh_nodes->size()) {
  held_.resize(nodes_.size(), 0);
  for (const BoundaryEdge& edge : kept_edges) {
    const int32_t a = edge.nodes[0] - 1, b = edge.nodes[1] - 1;
    if (a < 0 || b < 0 || static_cast<size_t>(a) >= nodes_.size() ||
        static_cast<size_t>(b) >= nodes_.size()) {
      continue;
    }
    kept_.insert(EdgeKey(a, b));
    held_[a] = held_[b] = 1;
    on_boundary_[a] = on_boundary_[b] = 1;
  }
  double twice_area = 0.0;
  const size_t elements = record_.quads.size() + record_.triangles.size();
  for (size_t i = 0; i < elements; ++i) {
    const int32_t ref = i < record_.quads.size()
                            ? static_cast<int32_t>(2 * i)
                            : static_cast<int32_t>(2 * (i - record_.quads.size()) + 1);
    const std::vector<int32_t> c = Corners(ref);
    for (size_t j = 0; j < c.size(); ++j) {
      const PlanePoint& p = nodes_[c[j]];
      const PlanePoint& q = nodes_[c[(j + 1) % c.size()]];
      twice_area += p.u * q.v - q.u * p.v;
      incident_[c[j]].push_back(ref);
    }
  }
  orientation_ = twice_area < 0.0 ? -1.0 : 1.0;

  // Whatever the caller named, an element edge with nothing or another
  // domain beyond it is the boundary: moving its ends would change what a
  // domain covers.
  std::vector<std::pair<uint64_t, int32_t>> sides;
  for (size_t v = 0; v < incident_.size(); ++v) {
    for (int32_t ref : incident_[v]) {
      const std::vector<int32_t> c = Corners(ref);
      const int32_t domain = IsQuad(ref) ? record_.quad_domains[IndexOf(ref)]
                                         : record_.triangle_domains[IndexOf(ref)];
      for (size_t j = 0; j < c.size(); ++j) {
        if (c[j] != static_cast<int32_t>(v)) continue;
        sides.emplace_back(EdgeKey(c[j], c[(j + 1) % c.size()]), domain);
      }
    }
  }
  std::sort(sides.begin(), sides.end());
  for (size_t i = 0; i < sides.size();) {
    size_t j = i;
    while (j < sides.size() && sides[j].first == sides[i].first) ++j;
    if (j - i != 2 || sides[i].second != sides[i + 1].second) {
      kept_.insert(sides[i].first);
      for (int32_t end : {static_cast<int32_t>(sides[i].first >> 32),
                          static_cast<int32_t>(sides[i].first & 0xffffffffu)}) {
        held_[end] = 1;
        on_boundary_[end] = 1;
      }
    }
    i = j;
  }
}

std::vector<int32_t> LocalMeshShaper::Corners(int32_t ref) const {
  if (IsQuad(ref)) {
    const auto& q = record_.quads[IndexOf(ref)];
    return {q[0], q[1], q[2], q[3]};
  }
  const auto& t = record_.triangles[IndexOf(ref)];
  return {t[0], t[1], t[2]};
}

double LocalMeshShaper::Quality(int32_t ref) const {
  const std::vector<int32_t> c = Corners(ref);
  if (c.size() == 4) {
    return QuadShapeQuality(nodes_[c[0]], nodes_[c[1]], nodes_[c[2]], nodes_[c[3]],
                            orientation_);
  }
  return TriangleShapeQuality(nodes_[c[0]], nodes_[c[1]], nodes_[c[2]], orientation_);
}

double LocalMeshShaper::WorstAround(int32_t vertex) const {
  double worst = 2.0;
  for (int32_t ref : incident_[vertex]) worst = std::min(worst, Quality(ref));
  return worst;
}

bool LocalMeshShaper::Kept(int32_t a, int32_t b) const { return kept_.count(EdgeKey(a, b)) != 0; }

int32_t LocalMeshShaper::MoveFreeVertexOnto(const PlanePoint& p, double reach) {
  if (!grid_.has_value()) grid_.emplace(nodes_, nodes_.size());
  const CellLayout& layout = grid_->layout();
  const double slack = layout.Slack(p);
  std::vector<int32_t> candidates;
  grid_->ForEachIn(layout.Cover(p.u - reach - slack, p.v - reach - slack, p.u + reach + slack,
                                p.v + reach + slack),
                   [&](int32_t v) {
                     if (held_[v] || incident_[v].empty()) return;
                     const double du = nodes_[v].u - p.u, dv = nodes_[v].v - p.v;
                     if (du * du + dv * dv <= reach * reach) candidates.push_back(v);
                   });
  std::sort(candidates.begin(), candidates.end());
  int32_t best = -1;
  double best_quality = 0.0;
  for (int32_t v : candidates) {
    const PlanePoint was = nodes_[v];
    nodes_[v] = p;
    const double quality = WorstAround(v);
    nodes_[v] = was;
    if (quality > best_quality + kBetterBy) {
      best_quality = quality;
      best = v;
    }
  }
  if (best < 0) return -1;
  nodes_[best] = p;
  held_[best] = 1;
  moved_[best] = 1;
  return best;
}

void LocalMeshShaper::MoveHeldVertexOnto(int32_t vertex, const PlanePoint& p) {
  if (incident_[vertex].empty() || on_boundary_[vertex]) return;
  const PlanePoint was = nodes_[vertex];
  nodes_[vertex] = p;
  if (WorstAround(vertex) > 0.0) {
    moved_[vertex] = 1;
  } else {
    nodes_[vertex] = was;
  }
}

void LocalMeshShaper::Detach(int32_t vertex, int32_t ref) {
  std::vector<int32_t>& list = incident_[vertex];
  list.erase(std::remove(list.begin(), list.end(), ref), list.end());
}

bool LocalMeshShaper::TryFlip(int32_t triangle, int edge) {
  const auto t = record_.triangles[IndexOf(triangle)];
  const int32_t a = t[edge], b = t[(edge + 1) % 3], c = t[(edge + 2) % 3];
  if (Kept(a, b)) return false;
  const int32_t domain = record_.triangle_domains[IndexOf(triangle)];
  int32_t other = -1;
  for (int32_t ref : incident_[a]) {
    if (ref == triangle || IsQuad(ref) || record_.triangle_domains[IndexOf(ref)] != domain) {
      continue;
    }
    const auto& u = record_.triangles[IndexOf(ref)];
    if (std::find(u.begin(), u.end(), b) != u.end()) {
      other = ref;
      break;
    }
  }
  if (other < 0) return false;
  const auto u = record_.triangles[IndexOf(other)];
  int32_t d = -1;
  for (int32_t x : u) {
    if (x != a && x != b) d = x;
  }
  if (d < 0 || d == c) return false;
  const double before = std::min(Quality(triangle), Quality(other));
  const double after =
      std::min(TriangleShapeQuality(nodes_[c], nodes_[a], nodes_[d], orientation_),
               TriangleShapeQuality(nodes_[d], nodes_[b], nodes_[c], orientation_));
  if (!(after > before + kBetterBy) || !(after > 0.0)) return false;
  // An edge c-d elsewhere would make the pair's new edge a second copy.
  for (int32_t ref : incident_[c]) {
    const std::vector<int32_t> corners = Corners(ref);
    for (size_t j = 0; j < corners.size(); ++j) {
      const int32_t x = corners[j], y = corners[(j + 1) % corners.size()];
      if ((x == c && y == d) || (x == d && y == c)) return false;
    }
  }
  record_.triangles[IndexOf(triangle)] = {c, a, d};
  record_.triangles[IndexOf(other)] = {d, b, c};
  Detach(a, other);
  Detach(b, triangle);
  incident_[c].push_back(other);
  incident_[d].push_back(triangle);
  return true;
}

bool LocalMeshShaper::TrySmooth(int32_t vertex) {
  if (held_[vertex] || incident_[vertex].empty()) return false;
  double su = 0.0, sv = 0.0;
  std::vector<int32_t> neighbours;
  for (int32_t ref : incident_[vertex]) {
    const std::vector<int32_t> c = Corners(ref);
    const size_t n = c.size();
    for (size_t j = 0; j < n; ++j) {
      if (c[j] != vertex) continue;
      neighbours.push_back(c[(j + 1) % n]);
      neighbours.push_back(c[(j + n - 1) % n]);
    }
  }
  std::sort(neighbours.begin(), neighbours.end());
  neighbours.erase(std::unique(neighbours.begin(), neighbours.end()), neighbours.end());
  for (int32_t n : neighbours) {
    su += nodes_[n].u;
    sv += nodes_[n].v;
  }
  const PlanePoint was = nodes_[vertex];
  const PlanePoint centre{su / neighbours.size(), sv / neighbours.size()};
  // The worst element may hang on a corner this vertex does not touch (a
  // quad's far corner); then the rest around it may still get better, as
  // long as the worst does not get worse.
  auto worst_and_sum = [&] {
    std::pair<double, double> measure{2.0, 0.0};
    for (int32_t ref : incident_[vertex]) {
      const double q = Quality(ref);
      measure.first = std::min(measure.first, q);
      measure.second += q;
    }
    return measure;
  };
  std::pair<double, double> best = worst_and_sum();
  auto better = [&](const std::pair<double, double>& after) {
    return after.first > 0.0 &&
           (after.first > best.first + kBetterBy ||
            (after.first >= best.first && after.second > best.second + kBetterBy));
  };
  bool improved = false;
  for (double step : {1.0, 0.5, 0.25}) {
    nodes_[vertex] = {was.u + step * (centre.u - was.u), was.v + step * (centre.v - was.v)};
    const std::pair<double, double> after = worst_and_sum();
    if (better(after)) {
      best = after;
      improved = true;
      break;
    }
  }
  if (!improved) nodes_[vertex] = was;
  // The centre of the neighbours evens out lengths, not angles: a short
  // search in eight directions then lifts the worst element around the
  // vertex as far as small steps can, where it is worth the time.
  if (best.first >= kGoodEnough) return improved ? Changed(vertex, was) : false;
  double shortest = INFINITY;
  for (int32_t n : neighbours) {
    shortest = std::min(shortest, std::hypot(nodes_[n].u - nodes_[vertex].u,
                                             nodes_[n].v - nodes_[vertex].v));
  }
  double step = 0.1 * shortest;
  for (int round = 0; round < 12 && step > 0.0; ++round) {
    const PlanePoint from = nodes_[vertex];
    bool stepped = false;
    for (int direction = 0; direction < 8; ++direction) {
      static constexpr double kDiagonal = 0.70710678118654752440;
      static constexpr double kDirections[8][2] = {
          {1, 0}, {kDiagonal, kDiagonal}, {0, 1}, {-kDiagonal, kDiagonal},
          {-1, 0}, {-kDiagonal, -kDiagonal}, {0, -1}, {kDiagonal, -kDiagonal}};
      nodes_[vertex] = {from.u + step * kDirections[direction][0],
                        from.v + step * kDirections[direction][1]};
      const std::pair<double, double> after = worst_and_sum();
      if (better(after)) {
        best = after;
        stepped = true;
        improved = true;
        break;
      }
    }
    if (!stepped) {
      nodes_[vertex] = from;
      step *= 0.5;
    }
  }
  return improved ? Changed(vertex, was) : false;
}

bool LocalMeshShaper::Changed(int32_t vertex, const PlanePoint& was) {
  moved_[vertex] = 1;
  // Steps far below the element size only polish; another sweep for them
  // would cost more than it gains.
  double shortest = INFINITY;
  for (int32_t ref : incident_[vertex]) {
    const std::vector<int32_t> c = Corners(ref);
    for (size_t j = 0; j < c.size(); ++j) {
      const PlanePoint& p = nodes_[c[j]];
      const PlanePoint& q = nodes_[c[(j + 1) % c.size()]];
      shortest = std::min(shortest, std::hypot(p.u - q.u, p.v - q.v));
    }
  }
  const double step = std::hypot(nodes_[vertex].u - was.u, nodes_[vertex].v - was.v);
  return step > 0.01 * shortest;
}

void LocalMeshShaper::EvenOutAround(const std::vector<int32_t>& centres, int rings, int sweeps) {
  std::vector<int32_t> region;
  std::vector<char> in_region(nodes_.size(), 0);
  for (int32_t v : centres) {
    if (v < 0 || static_cast<size_t>(v) >= nodes_.size() || in_region[v]) continue;
    in_region[v] = 1;
    region.push_back(v);
  }
  size_t ring_start = 0;
  for (int ring = 0; ring < rings; ++ring) {
    const size_t ring_end = region.size();
    for (size_t k = ring_start; k < ring_end; ++k) {
      for (int32_t ref : incident_[region[k]]) {
        for (int32_t x : Corners(ref)) {
          if (in_region[x]) continue;
          in_region[x] = 1;
          region.push_back(x);
        }
      }
    }
    ring_start = ring_end;
  }
  for (int sweep = 0; sweep < sweeps; ++sweep) {
    bool changed = false;
    std::vector<int32_t> triangles;
    for (int32_t v : region) {
      for (int32_t ref : incident_[v]) {
        if (!IsQuad(ref)) triangles.push_back(ref);
      }
    }
    std::sort(triangles.begin(), triangles.end());
    triangles.erase(std::unique(triangles.begin(), triangles.end()), triangles.end());
    for (int32_t t : triangles) {
      for (int edge = 0; edge < 3; ++edge) {
        if (TryFlip(t, edge)) changed = true;
      }
    }
    for (int32_t v : region) {
      if (TrySmooth(v)) changed = true;
    }
    if (!changed) break;
  }
}

std::vector<int32_t> LocalMeshShaper::CornersOfWorstElements(double quality,
                                                             size_t most) const {
  std::vector<std::pair<double, int32_t>> poor;
  const size_t elements = record_.quads.size() + record_.triangles.size();
  for (size_t i = 0; i < elements; ++i) {
    const int32_t ref = i < record_.quads.size()
                            ? static_cast<int32_t>(2 * i)
                            : static_cast<int32_t>(2 * (i - record_.quads.size()) + 1);
    const double q = Quality(ref);
    if (q < quality) poor.emplace_back(q, ref);
  }
  if (poor.size() > most) {
    std::nth_element(poor.begin(), poor.begin() + static_cast<std::ptrdiff_t>(most), poor.end());
    poor.resize(most);
  }
  std::sort(poor.begin(), poor.end());
  std::vector<int32_t> corners;
  for (const auto& entry : poor) {
    for (int32_t v : Corners(entry.second)) corners.push_back(v);
  }
  return corners;
}

void LocalMeshShaper::Finish(const PlanarFrame& frame) {
  for (size_t v = 0; v < moved_.size(); ++v) {
    if (moved_[v]) record_.vertices[v] = frame.FromPlane(nodes_[v]);
  }
}

namespace {

// How far the evening out reaches from each point's vertex, and how many
// rounds it takes at most: enough for a moved vertex's disturbance to fade
// into the mesh around it, while the work stays local.
constexpr int kRings = 3;
constexpr int kSweeps = 6;
// A quad at a point's vertex that stays below this is better as two
// triangles.
constexpr double kUsableQuad = 0.3;
// Elements below this anywhere in the mesh are evened out as well, the
// worst few hundred of them: enough for what the finer sizes displace, while
// a mesh full of poor elements costs no more than a sweep over it.
constexpr double kPoorQuality = 0.5;
constexpr size_t kMostPoorElements = 256;

std::vector<char> PointVertices(const PlanarComplexMesh& record, size_t vertex_count) {
  std::vector<char> held(vertex_count, 0);
  for (int32_t v : record.point_vertex) {
    if (v >= 0 && static_cast<size_t>(v) < vertex_count) held[v] = 1;
  }
  return held;
}

}  // namespace

void SplitPoorQuadsAtPoints(const std::vector<PlanePoint>& mesh_nodes, double quality,
                            PlanarComplexMesh* record) {
  const std::vector<char> at_point = PointVertices(*record, mesh_nodes.size());
  double twice_area = 0.0;
  for (const auto& q : record->quads) {
    for (size_t j = 0; j < 4; ++j) {
      const PlanePoint& a = mesh_nodes[q[j]];
      const PlanePoint& b = mesh_nodes[q[(j + 1) % 4]];
      twice_area += a.u * b.v - b.u * a.v;
    }
  }
  const double orientation = twice_area < 0.0 ? -1.0 : 1.0;
  size_t kept = 0;
  for (size_t i = 0; i < record->quads.size(); ++i) {
    const auto q = record->quads[i];
    const int32_t domain = record->quad_domains[i];
    const PlanePoint p[4] = {mesh_nodes[q[0]], mesh_nodes[q[1]], mesh_nodes[q[2]],
                             mesh_nodes[q[3]]};
    const double own = QuadShapeQuality(p[0], p[1], p[2], p[3], orientation);
    const bool touches_point = at_point[q[0]] || at_point[q[1]] || at_point[q[2]] || at_point[q[3]];
    // Either diagonal; a triangle's quality is in units of the sine of 60
    // degrees, the quad's in plain sines.
    int best_diagonal = -1;
    double best = own;
    for (int d = 0; d < 2 && touches_point && own < quality; ++d) {
      const double halves =
          kSineOf60Degrees *
          std::min(TriangleShapeQuality(p[d], p[d + 1], p[(d + 2) % 4], orientation),
                   TriangleShapeQuality(p[d], p[(d + 2) % 4], p[(d + 3) % 4], orientation));
      if (halves > 0.0 && halves > best + kBetterBy) {
        best = halves;
        best_diagonal = d;
      }
    }
    if (best_diagonal < 0) {
      record->quads[kept] = q;
      record->quad_domains[kept] = domain;
      ++kept;
      continue;
    }
    const int d = best_diagonal;
    record->triangles.push_back({q[d], q[d + 1], q[(d + 2) % 4]});
    record->triangles.push_back({q[d], q[(d + 2) % 4], q[(d + 3) % 4]});
    record->triangle_domains.push_back(domain);
    record->triangle_domains.push_back(domain);
  }
  record->quads.resize(kept);
  record->quad_domains.resize(kept);
}

std::vector<size_t> MoveVerticesOntoInteriorPoints(const std::vector<PlanePoint>& plane_points,
                                                   const std::vector<size_t>& pending,
                                                   const std::vector<BoundaryEdge>& boundary_edges,
                                                   double smallest_target_size,
                                                   const PlanarFrame& frame,
                                                   std::vector<PlanePoint>* mesh_nodes,
                                                   PlanarComplexMesh* record) {
  LocalMeshShaper shaper(mesh_nodes, record, PointVertices(*record, mesh_nodes->size()),
                         boundary_edges);
  std::vector<size_t> left;
  for (size_t i : pending) {
    if (record->point_vertex[i] >= 0) continue;
    const int32_t v = shaper.MoveFreeVertexOnto(plane_points[i], smallest_target_size);
    if (v < 0) {
      left.push_back(i);
    } else {
      record->point_vertex[i] = v;
    }
  }
  shaper.Finish(frame);
  return left;
}

void EvenOutAroundInteriorPoints(const std::vector<PlanePoint>& plane_points,
                                 const std::vector<size_t>& pending,
                                 const std::vector<BoundaryEdge>& boundary_edges,
                                 const PlanarFrame& frame, std::vector<PlanePoint>* mesh_nodes,
                                 PlanarComplexMesh* record) {
  LocalMeshShaper shaper(mesh_nodes, record, PointVertices(*record, mesh_nodes->size()),
                         boundary_edges);
  std::vector<int32_t> centres;
  for (size_t i : pending) {
    shaper.MoveHeldVertexOnto(record->point_vertex[i], plane_points[i]);
    centres.push_back(record->point_vertex[i]);
  }
  shaper.EvenOutAround(centres, kRings, kSweeps);
  // The finer mesh asked for around the points reshapes the mesher's front
  // everywhere, so its poorest elements fall elsewhere than without the
  // points; evened out too, they come out no worse than that mesh's.
  shaper.EvenOutAround(shaper.CornersOfWorstElements(kPoorQuality, kMostPoorElements), 1,
                       kSweeps);
  shaper.Finish(frame);
  SplitPoorQuadsAtPoints(*mesh_nodes, kUsableQuad, record);
}

}  // namespace mesh

#include "extract/mesh_invariants.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <limits>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "extract/interior_insertion.h"
#include "extract/node_mapping.h"
#include "planar/polygon_geometry.h"
#include "planar/request_checks.h"

namespace mesh {

namespace {

constexpr size_t kMaxProblems = 40;

class Problems {
 public:
  void Add(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    ++count_;
    if (lines_.size() >= kMaxProblems) return;
    char buffer[512];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    lines_.emplace_back(buffer);
  }
  size_t count() const { return count_; }
  std::vector<std::string> Finish() {
    if (count_ > lines_.size()) {
      char buffer[96];
      snprintf(buffer, sizeof buffer, "... and %zu more problems not listed",
               count_ - lines_.size());
      lines_.emplace_back(buffer);
    }
    return std::move(lines_);
  }

 private:
  std::vector<std::string> lines_;
  size_t count_ = 0;
};

struct Vec3 {
  double x = 0, y = 0, z = 0;
};
Vec3 Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
Vec3 Cross(const Vec3& a, const Vec3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
double Dot(const Vec3& a, const Vec3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
double Length(const Vec3& a) { return std::sqrt(Dot(a, a)); }
Vec3 Scale(const Vec3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
bool Finite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

struct Vec2 {
  double u = 0, v = 0;
};
double Cross2(const Vec2& a, const Vec2& b) { return a.u * b.v - a.v * b.u; }

// A 2-D basis of the mesh's plane, independent of the worker's own frame.
struct Plane {
  Point3 origin;
  Vec3 normal, e1, e2;
  Vec2 To2d(const Point3& p) const {
    const Vec3 d = Sub(p, origin);
    return {Dot(d, e1), Dot(d, e2)};
  }
};

// Twice the signed area of triangle a-b-c, from differences so that small
// elements far from the plane's origin keep their precision.
double TwiceArea(const Vec2& a, const Vec2& b, const Vec2& c) {
  return Cross2({b.u - a.u, b.v - a.v}, {c.u - a.u, c.v - a.v});
}

double Distance(const Vec2& a, const Vec2& b) { return std::hypot(b.u - a.u, b.v - a.v); }

template <size_t kCorners>
double Perimeter(const std::array<int32_t, kCorners>& corners, const std::vector<Vec2>& at) {
  double sum = 0.0;
  for (size_t j = 0; j < kCorners; ++j) sum += Distance(at[corners[j]], at[corners[(j + 1) % kCorners]]);
  return sum;
}

// An element's area, or 0 when it has none that rounding could not have
// made: zero or negative area, corners collapsed onto each other, or (for a
// quad) folded over, i.e. neither diagonal cuts it into two triangles that
// both have area. `floor` is the smallest twice-area a triangle must have.
double ElementArea(const std::array<int32_t, 3>& c, const std::vector<Vec2>& at, double floor) {
  const double twice = TwiceArea(at[c[0]], at[c[1]], at[c[2]]);
  return twice > floor ? 0.5 * twice : 0.0;
}
double ElementArea(const std::array<int32_t, 4>& c, const std::vector<Vec2>& at, double floor) {
  const Vec2 &p0 = at[c[0]], &p1 = at[c[1]], &p2 = at[c[2]], &p3 = at[c[3]];
  const double a012 = TwiceArea(p0, p1, p2), a023 = TwiceArea(p0, p2, p3);
  const double a123 = TwiceArea(p1, p2, p3), a130 = TwiceArea(p1, p3, p0);
  if (a012 > floor && a023 > floor) return 0.5 * (a012 + a023);
  if (a123 > floor && a130 > floor) return 0.5 * (a123 + a130);
  return 0.0;
}

template <size_t kCorners>
void CheckElementIndices(const char* kind, const std::vector<std::array<int32_t, kCorners>>& elements,
                         size_t vertex_count, Problems* problems) {
  for (size_t e = 0; e < elements.size(); ++e) {
    for (size_t j = 0; j < kCorners; ++j) {
      const int32_t c = elements[e][j];
      if (c < 0 || static_cast<size_t>(c) >= vertex_count) {
        problems->Add("%s %zu corner %zu is %d, outside the %zu vertices", kind, e, j, c,
                      vertex_count);
      }
    }
  }
}

bool CheckShapeAndRanges(const MeshRequest& request, const PlanarComplexMesh& answer,
                         Problems* problems) {
  const size_t before = problems->count();
  const size_t v = answer.vertices.size();
  if (v == 0) problems->Add("no vertices (the answer of a failed job)");
  if (answer.quad_domains.size() != answer.quads.size()) {
    problems->Add("%zu quad domains for %zu quads", answer.quad_domains.size(),
                  answer.quads.size());
  }
  if (answer.triangle_domains.size() != answer.triangles.size()) {
    problems->Add("%zu triangle domains for %zu triangles", answer.triangle_domains.size(),
                  answer.triangles.size());
  }
  if (answer.point_vertex.size() != request.points.size()) {
    problems->Add("%zu point_vertex entries for %zu request points",
                  answer.point_vertex.size(), request.points.size());
  }
  if (answer.segment_chains.size() != request.segments.size()) {
    problems->Add("%zu chains for %zu request segments", answer.segment_chains.size(),
                  request.segments.size());
  }
  for (size_t k = 0; k < v; ++k) {
    if (!Finite(answer.vertices[k])) problems->Add("vertex %zu is not finite", k);
  }
  CheckElementIndices("quad", answer.quads, v, problems);
  CheckElementIndices("triangle", answer.triangles, v, problems);
  if ((request.options & kAllQuads) != 0 && !answer.triangles.empty()) {
    problems->Add("%zu triangles in an answer that asked for quads only", answer.triangles.size());
  }
  for (size_t i = 0; i < answer.point_vertex.size(); ++i) {
    const int32_t k = answer.point_vertex[i];
    if (k < 0 || static_cast<size_t>(k) >= v) {
      problems->Add("point_vertex[%zu] is %d, outside the %zu vertices", i, k, v);
    }
  }
  for (size_t s = 0; s < answer.segment_chains.size(); ++s) {
    for (size_t j = 0; j < answer.segment_chains[s].size(); ++j) {
      const int32_t k = answer.segment_chains[s][j];
      if (k < 0 || static_cast<size_t>(k) >= v) {
        problems->Add("chain %zu entry %zu is %d, outside the %zu vertices", s, j, k, v);
      }
    }
  }
  for (size_t s = 0; s < request.segments.size(); ++s) {
    const BoundarySegment& segment = request.segments[s];
    const int32_t n = static_cast<int32_t>(request.points.size());
    if (segment.point_a < 0 || segment.point_a >= n || segment.point_b < 0 ||
        segment.point_b >= n) {
      problems->Add("request segment %zu names a point that does not exist", s);
    }
  }
  return problems->count() == before;
}

// The normal is the area vector of the answer's elements, so the checker
// finds the plane the mesh actually lies in; without elements, the
// request's own normal or Newell's normal of its points.
bool FindPlane(const MeshRequest& request, const PlanarComplexMesh& answer, Plane* plane) {
  const std::vector<Point3>& v = answer.vertices;
  plane->origin = v[0];
  Vec3 area;
  auto add_fan = [&](const int32_t* corners, size_t count) {
    for (size_t j = 1; j + 1 < count; ++j) {
      const Vec3 c = Cross(Sub(v[corners[j]], v[corners[0]]), Sub(v[corners[j + 1]], v[corners[0]]));
      area = {area.x + c.x, area.y + c.y, area.z + c.z};
    }
  };
  for (const auto& q : answer.quads) add_fan(q.data(), 4);
  for (const auto& t : answer.triangles) add_fan(t.data(), 3);
  if (Length(area) == 0.0) {
    area = {request.plane_normal.x, request.plane_normal.y, request.plane_normal.z};
  }
  if (Length(area) == 0.0 && !request.points.empty()) {
    Point3 sum{area.x, area.y, area.z};
    AddPolygonAreaVector(request.points, v[0], &sum);
    area = {sum.x, sum.y, sum.z};
  }
  const double length = Length(area);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  plane->normal = Scale(area, 1.0 / length);
  // Any unit vector across the normal will do as the first axis.
  const Vec3& n = plane->normal;
  const Vec3 helper = std::fabs(n.x) < 0.6 ? Vec3{1, 0, 0} : Vec3{0, 1, 0};
  const Vec3 e1 = Cross(n, helper);
  plane->e1 = Scale(e1, 1.0 / Length(e1));
  plane->e2 = Cross(n, plane->e1);
  return true;
}

double MaxAbsCoordinate(const MeshRequest& request, const PlanarComplexMesh& answer) {
  double m = 0.0;
  for (const auto* list : {&request.points, &answer.vertices}) {
    for (const Point3& p : *list) {
      m = std::max({m, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
    }
  }
  return m;
}

void CheckPlanarity(const PlanarComplexMesh& answer, const Plane& plane, double rounding,
                    Problems* problems) {
  for (size_t k = 0; k < answer.vertices.size(); ++k) {
    const double off = Dot(Sub(answer.vertices[k], plane.origin), plane.normal);
    if (std::fabs(off) > rounding) {
      problems->Add("vertex %zu lies %g m off the plane of the mesh", k, off);
    }
  }
}

void CheckPointVertices(const MeshRequest& request, const PlanarComplexMesh& answer,
                        const std::vector<Vec2>& points, const std::vector<Vec2>& vertices,
                        double rounding, Problems* problems) {
  const double snap = SnapTolerance(request.target_size);
  const double reuse = InteriorCaptureTolerances(SmallestTargetSize(request)).node;
  const std::vector<bool> interior_only = InteriorOnlyFlags(request);
  for (size_t i = 0; i < points.size(); ++i) {
    const double limit = (interior_only[i] ? reuse : snap) + rounding;
    const Vec2& p = points[i];
    const Vec2& q = vertices[answer.point_vertex[i]];
    const double distance = std::hypot(q.u - p.u, q.v - p.v);
    if (distance > limit) {
      problems->Add("point_vertex[%zu] = %d lies %g m from the point's projection (allowed %g)",
                    i, answer.point_vertex[i], distance, limit);
    }
  }
}

// Calls visit(a, b) for every edge of every element, once per element that
// has it.
template <typename Visit>
void ForEachElementEdge(const PlanarComplexMesh& answer, Visit visit) {
  auto walk = [&visit](const int32_t* c, size_t count) {
    for (size_t j = 0; j < count; ++j) visit(c[j], c[(j + 1) % count]);
  };
  for (const auto& q : answer.quads) walk(q.data(), 4);
  for (const auto& t : answer.triangles) walk(t.data(), 3);
}

// The element edges as sorted keys, for lookups in logarithmic time.
class EdgeSet {
 public:
  explicit EdgeSet(const PlanarComplexMesh& answer) {
    keys_.reserve(4 * answer.quads.size() + 3 * answer.triangles.size());
    ForEachElementEdge(answer, [this](int32_t a, int32_t b) { keys_.push_back(Key(a, b)); });
    std::sort(keys_.begin(), keys_.end());
    keys_.erase(std::unique(keys_.begin(), keys_.end()), keys_.end());
  }
  bool Has(int32_t a, int32_t b) const {
    return std::binary_search(keys_.begin(), keys_.end(), Key(a, b));
  }

 private:
  static uint64_t Key(int32_t a, int32_t b) {
    const uint32_t lo = static_cast<uint32_t>(std::min(a, b));
    const uint32_t hi = static_cast<uint32_t>(std::max(a, b));
    return (static_cast<uint64_t>(lo) << 32) | hi;
  }
  std::vector<uint64_t> keys_;
};

// The neighbours of every vertex that stands for an interior-only point:
// such a vertex placed on a boundary edge splits it, and the chain then
// steps over it.
std::unordered_map<int32_t, std::vector<int32_t>> InteriorNeighbours(
    const MeshRequest& request, const PlanarComplexMesh& answer) {
  std::unordered_map<int32_t, std::vector<int32_t>> neighbours;
  for (int32_t i : request.interior_only) neighbours[answer.point_vertex[i]];
  if (neighbours.empty()) return neighbours;
  ForEachElementEdge(answer, [&neighbours](int32_t a, int32_t b) {
    auto found = neighbours.find(a);
    if (found != neighbours.end()) found->second.push_back(b);
    found = neighbours.find(b);
    if (found != neighbours.end()) found->second.push_back(a);
  });
  return neighbours;
}

// A path from g to h whose inner vertices all stand for interior-only
// points, shortest first; empty when there is none.
std::vector<int32_t> SplitPath(int32_t g, int32_t h,
                               const std::unordered_map<int32_t, std::vector<int32_t>>& neighbours,
                               const EdgeSet& edges) {
  std::unordered_map<int32_t, int32_t> came_from;
  std::vector<int32_t> frontier;
  for (const auto& [n, list] : neighbours) {
    if (n != g && n != h && edges.Has(g, n)) {
      came_from[n] = g;
      frontier.push_back(n);
    }
  }
  for (size_t next = 0; next < frontier.size(); ++next) {
    const int32_t n = frontier[next];
    if (edges.Has(n, h)) {
      std::vector<int32_t> path = {h};
      for (int32_t k = n; k != g; k = came_from[k]) path.push_back(k);
      path.push_back(g);
      std::reverse(path.begin(), path.end());
      return path;
    }
    for (int32_t m : neighbours.at(n)) {
      if (m != g && neighbours.count(m) != 0 && came_from.count(m) == 0) {
        came_from[m] = n;
        frontier.push_back(m);
      }
    }
  }
  return {};
}

// Returns, per domain, the area of the slivers between the segments and the
// paths that split them: the elements there end at the interior-only point,
// not at the segment.
std::map<int32_t, double> CheckChains(const MeshRequest& request, const PlanarComplexMesh& answer,
                                      const std::vector<Vec2>& points,
                                      const std::vector<Vec2>& vertices, double rounding,
                                      Problems* problems) {
  const double snap = SnapTolerance(request.target_size);
  const double band = snap + rounding;
  const double split_reach = InteriorCaptureTolerances(SmallestTargetSize(request)).edge;
  const EdgeSet edges(answer);
  const std::unordered_map<int32_t, std::vector<int32_t>> neighbours =
      InteriorNeighbours(request, answer);
  std::map<int32_t, double> sliver_area;
  for (size_t s = 0; s < request.segments.size(); ++s) {
    const BoundarySegment& segment = request.segments[s];
    const std::vector<int32_t>& chain = answer.segment_chains[s];
    const int32_t want_front = answer.point_vertex[segment.point_a];
    const int32_t want_back = answer.point_vertex[segment.point_b];
    if (chain.empty()) {
      problems->Add("chain %zu is empty", s);
      continue;
    }
    if (chain.front() != want_front || chain.back() != want_back) {
      problems->Add("chain %zu runs %d..%d, not point_vertex %d..%d", s, chain.front(),
                    chain.back(), want_front, want_back);
    }
    const Vec2 a = points[segment.point_a];
    const Vec2 d{points[segment.point_b].u - a.u, points[segment.point_b].v - a.v};
    const double length_squared = d.u * d.u + d.v * d.v;
    if (length_squared < snap * snap) continue;  // too short to have a direction
    const double length = std::sqrt(length_squared);
    const double slack = (snap + rounding) / length;
    const bool meshed_beside = segment.left_domain >= 1 || segment.right_domain >= 1;
    const bool kept_whole = (request.options & kKeepBoundary) != 0;
    const bool halved = (request.options & kAllQuads) != 0;
    double previous_t = -slack;
    std::set<int32_t> seen;
    for (size_t j = 0; j < chain.size(); ++j) {
      const int32_t k = chain[j];
      if (!seen.insert(k).second) problems->Add("chain %zu holds vertex %d twice", s, k);
      const Vec2 w{vertices[k].u - a.u, vertices[k].v - a.v};
      const double t = (w.u * d.u + w.v * d.v) / length_squared;
      const double off = std::fabs(Cross2(d, w)) / length;
      if (off > band) {
        problems->Add("chain %zu entry %zu (vertex %d) lies %g m off the segment (allowed %g)",
                      s, j, k, off, band);
      }
      if (t < -slack || t > 1.0 + slack) {
        problems->Add("chain %zu entry %zu (vertex %d) lies past the segment's ends (t=%g)", s,
                      j, k, t);
      }
      if (t < previous_t - slack) {
        problems->Add("chain %zu entry %zu (vertex %d) steps back along the segment", s, j, k);
      }
      previous_t = std::max(previous_t, t);
      // Only an interior-only point the caller put there may split a kept
      // segment; split into quads, each of its pieces also gains its
      // midpoint, and only there.
      if (kept_whole && halved && j % 2 == 1) {
        const int32_t before = chain[j - 1];
        const int32_t after = j + 1 < chain.size() ? chain[j + 1] : before;
        const double off_middle =
            std::hypot(vertices[k].u - 0.5 * (vertices[before].u + vertices[after].u),
                       vertices[k].v - 0.5 * (vertices[before].v + vertices[after].v));
        if (j + 1 == chain.size() || off_middle > band) {
          problems->Add("chain %zu entry %zu (vertex %d) is not the midpoint of a kept piece", s,
                        j, k);
        }
      } else if (kept_whole && j > 0 && j + 1 < chain.size() && neighbours.count(k) == 0) {
        problems->Add("chain %zu entry %zu (vertex %d) splits a segment kept as one edge", s, j,
                      k);
      }
      if (j == 0 || !meshed_beside || chain[j - 1] == k || edges.Has(chain[j - 1], k)) continue;
      const std::vector<int32_t> path = SplitPath(chain[j - 1], k, neighbours, edges);
      if (path.empty()) {
        problems->Add("chain %zu: vertices %d and %d are not joined by an element edge", s,
                      chain[j - 1], k);
        continue;
      }
      // The worker splits a boundary edge only at the foot of the point on
      // it; a path that wanders off the segment is a dent in the caller's
      // boundary, however small its area.
      for (size_t p = 1; p + 1 < path.size(); ++p) {
        const Vec2 w{vertices[path[p]].u - a.u, vertices[path[p]].v - a.v};
        const double off = std::fabs(Cross2(d, w)) / length;
        const double t = (w.u * d.u + w.v * d.v) / length_squared;
        if (off > band + split_reach || t < -slack || t > 1.0 + slack) {
          problems->Add("chain %zu: vertex %d, between %d and %d, lies %g m off the segment "
                        "(allowed %g)",
                        s, path[p], chain[j - 1], k, off, band + split_reach);
        }
      }
      double twice = 0.0;
      for (size_t p = 1; p + 1 < path.size(); ++p) {
        twice += TwiceArea(vertices[path[0]], vertices[path[p]], vertices[path[p + 1]]);
      }
      for (int32_t domain : {segment.left_domain, segment.right_domain}) {
        if (domain >= 1) sliver_area[domain] += 0.5 * std::fabs(twice);
      }
    }
  }
  return sliver_area;
}

void CheckDomainsAndAreas(const MeshRequest& request, const PlanarComplexMesh& answer,
                          const std::vector<Vec2>& points, const std::vector<Vec2>& vertices,
                          double rounding, const std::map<int32_t, double>& sliver_area,
                          Problems* problems) {
  std::set<int32_t> named;
  // The area each domain's boundary encloses, by the shoelace formula over
  // the segments that have it on their left or right, and the length of
  // that boundary. Segments between two domains cancel in the total, so the
  // total is the whole region.
  std::map<int32_t, long double> boundary_area;
  std::map<int32_t, double> boundary_length;
  double total_length = 0.0;
  // Domain numbers below 1 are outside, like 0: the mesher never meshes
  // them.
  for (const BoundarySegment& segment : request.segments) {
    const Vec2& a = points[segment.point_a];
    const Vec2& b = points[segment.point_b];
    const long double twice = Cross2(a, b);
    const double length = Distance(a, b);
    if (segment.left_domain >= 1) {
      named.insert(segment.left_domain);
      boundary_area[segment.left_domain] += 0.5L * twice;
      boundary_length[segment.left_domain] += length;
    }
    if (segment.right_domain >= 1) {
      named.insert(segment.right_domain);
      boundary_area[segment.right_domain] -= 0.5L * twice;
      boundary_length[segment.right_domain] += length;
    }
    if (segment.left_domain >= 1 || segment.right_domain >= 1) total_length += length;
  }
  long double region = 0.0;
  for (const auto& [domain, area] : boundary_area) region += area;
  // The checker's normal may face either way.
  if (region < 0.0) {
    region = -region;
    for (auto& [domain, area] : boundary_area) area = -area;
  }

  // Accumulated in extended precision, so that the sum adds no error of its
  // own however many elements there are.
  std::map<int32_t, long double> element_area;
  auto add = [&](const char* kind, size_t e, int32_t domain, double area, double perimeter) {
    if (domain < 1) {
      problems->Add("%s %zu lies in domain %d, outside every domain", kind, e, domain);
    } else if (named.count(domain) == 0) {
      problems->Add("%s %zu lies in domain %d, which no request segment names", kind, e, domain);
    }
    if (area == 0.0) {
      problems->Add("%s %zu has no area: it is collapsed, folded or turned over (perimeter %g m)",
                    kind, e, perimeter);
    }
    element_area[domain] += area;
  };
  // A triangle's twice-area moves by at most its perimeter times the
  // rounding of its corners; one no larger than that has no area to speak of.
  for (size_t e = 0; e < answer.quads.size(); ++e) {
    const double perimeter = Perimeter(answer.quads[e], vertices);
    add("quad", e, answer.quad_domains[e],
        ElementArea(answer.quads[e], vertices, 2.0 * rounding * perimeter), perimeter);
  }
  for (size_t e = 0; e < answer.triangles.size(); ++e) {
    const double perimeter = Perimeter(answer.triangles[e], vertices);
    add("triangle", e, answer.triangle_domains[e],
        ElementArea(answer.triangles[e], vertices, 2.0 * rounding * perimeter), perimeter);
  }

  // Interior vertices move every element's area but cancel in the sum; only
  // the vertices on the boundary, each off by up to the rounding, change
  // what the elements cover, by at most the boundary's length times that.
  // The relative part allows for the element areas' own arithmetic.
  auto allowed = [&](double area, double length, double slivers) {
    return 1e-9 * area + 2.0 * rounding * length + slivers;
  };
  double all_slivers = 0.0;
  for (const auto& [domain, area] : sliver_area) all_slivers += area;
  long double total = 0.0;
  for (const auto& [domain, area] : element_area) total += area;
  if (!(std::fabs(static_cast<double>(total - region)) <=
        allowed(static_cast<double>(region), total_length, all_slivers))) {
    problems->Add("elements cover %.12g m^2, the region %.12g m^2 (relative difference %g)",
                  static_cast<double>(total), static_cast<double>(region),
                  region > 0.0 ? static_cast<double>((total - region) / region)
                               : static_cast<double>(total));
  }
  for (int32_t domain : named) {
    const long double want = boundary_area[domain];
    const long double got = element_area.count(domain) ? element_area[domain] : 0.0L;
    const auto slivers = sliver_area.find(domain);
    if (!(std::fabs(static_cast<double>(got - want)) <=
          allowed(static_cast<double>(std::fabs(want)), boundary_length[domain],
                  slivers == sliver_area.end() ? 0.0 : slivers->second))) {
      problems->Add("domain %d: elements cover %.12g m^2, its boundary encloses %.12g m^2",
                    domain, static_cast<double>(got), static_cast<double>(want));
    }
  }
}

}  // namespace

std::vector<std::string> CheckMeshInvariants(const MeshRequest& request,
                                             const PlanarComplexMesh& answer) {
  Problems problems;
  if (!CheckShapeAndRanges(request, answer, &problems)) return problems.Finish();
  Plane plane;
  if (!FindPlane(request, answer, &plane)) {
    problems.Add("the answer spans no plane");
    return problems.Finish();
  }
  // What a coordinate of this magnitude is known to: a few of its last
  // bits, through the worker's mapping into 3-D and this one back into 2-D.
  const double rounding = CoordinateRounding(MaxAbsCoordinate(request, answer));
  CheckPlanarity(answer, plane, 10.0 * rounding, &problems);

  std::vector<Vec2> points, vertices;
  points.reserve(request.points.size());
  vertices.reserve(answer.vertices.size());
  for (const Point3& p : request.points) points.push_back(plane.To2d(p));
  for (const Point3& p : answer.vertices) vertices.push_back(plane.To2d(p));
  CheckPointVertices(request, answer, points, vertices, rounding, &problems);
  const std::map<int32_t, double> slivers =
      CheckChains(request, answer, points, vertices, rounding, &problems);
  CheckDomainsAndAreas(request, answer, points, vertices, rounding, slivers, &problems);
  return problems.Finish();
}

}  // namespace mesh

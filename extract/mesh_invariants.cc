#include "extract/mesh_invariants.h"

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>
#include <utility>

#include "extract/interior_insertion.h"
#include "extract/node_mapping.h"
#include "extract/segment_chains.h"
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

template <size_t kCorners>
double SignedArea(const std::array<int32_t, kCorners>& corners, const std::vector<Vec2>& at) {
  double twice = 0.0;
  for (size_t j = 0; j < kCorners; ++j) {
    twice += Cross2(at[corners[j]], at[corners[(j + 1) % kCorners]]);
  }
  return 0.5 * twice;
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
    const std::vector<Point3>& p = request.points;
    for (size_t i = 0; i < p.size(); ++i) {
      const Vec3 a = Sub(p[i], v[0]);
      const Vec3 b = Sub(p[(i + 1) % p.size()], v[0]);
      area = {area.x + (a.y - b.y) * (a.z + b.z), area.y + (a.z - b.z) * (a.x + b.x),
              area.z + (a.x - b.x) * (a.y + b.y)};
    }
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

void CheckChains(const MeshRequest& request, const PlanarComplexMesh& answer,
                 const std::vector<Vec2>& points, const std::vector<Vec2>& vertices,
                 double rounding, const MeshInvariantOptions& options, Problems* problems) {
  const double snap = SnapTolerance(request.target_size);
  const double band = ChainBand(request.target_size) + rounding;
  std::set<std::pair<int32_t, int32_t>> edges;
  if (options.chain_links_are_edges) {
    auto add = [&](const int32_t* c, size_t count) {
      for (size_t j = 0; j < count; ++j) {
        const int32_t a = c[j], b = c[(j + 1) % count];
        edges.insert({std::min(a, b), std::max(a, b)});
      }
    };
    for (const auto& q : answer.quads) add(q.data(), 4);
    for (const auto& t : answer.triangles) add(t.data(), 3);
  }
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
    double previous_t = -slack;
    std::set<int32_t> seen;
    for (size_t j = 0; j < chain.size(); ++j) {
      const int32_t k = chain[j];
      if (!seen.insert(k).second) problems->Add("chain %zu holds vertex %d twice", s, k);
      const Vec2 w{vertices[k].u - a.u, vertices[k].v - a.v};
      const double t = (w.u * d.u + w.v * d.v) / length_squared;
      const double off = std::fabs(Cross2(d, w)) / length;
      if (off > band) {
        problems->Add("chain %zu entry %zu (vertex %d) lies %g m off the segment (band %g)", s,
                      j, k, off, band);
      }
      if (t < -slack || t > 1.0 + slack) {
        problems->Add("chain %zu entry %zu (vertex %d) lies past the segment's ends (t=%g)", s,
                      j, k, t);
      }
      if (t < previous_t - slack) {
        problems->Add("chain %zu entry %zu (vertex %d) steps back along the segment", s, j, k);
      }
      previous_t = std::max(previous_t, t);
      if (options.chain_links_are_edges && j > 0 && chain[j - 1] != k &&
          edges.count({std::min(chain[j - 1], k), std::max(chain[j - 1], k)}) == 0) {
        problems->Add("chain %zu: vertices %d and %d are not joined by an element edge", s,
                      chain[j - 1], k);
      }
    }
  }
}

void CheckDomainsAndAreas(const MeshRequest& request, const PlanarComplexMesh& answer,
                          const std::vector<Vec2>& points, const std::vector<Vec2>& vertices,
                          const MeshInvariantOptions& options, Problems* problems) {
  std::set<int32_t> named;
  // The area each domain's boundary encloses, by the shoelace formula over
  // the segments that have it on their left or right. Segments between two
  // domains cancel in the total, so the total is the whole region.
  std::map<int32_t, double> boundary_area;
  // Domain numbers below 1 are outside, like 0: the mesher never meshes
  // them.
  for (const BoundarySegment& segment : request.segments) {
    const double twice = Cross2(points[segment.point_a], points[segment.point_b]);
    if (segment.left_domain >= 1) {
      named.insert(segment.left_domain);
      boundary_area[segment.left_domain] += 0.5 * twice;
    }
    if (segment.right_domain >= 1) {
      named.insert(segment.right_domain);
      boundary_area[segment.right_domain] -= 0.5 * twice;
    }
  }
  double region = 0.0;
  for (const auto& [domain, area] : boundary_area) region += area;
  // The checker's normal may face either way.
  if (region < 0.0) {
    region = -region;
    for (auto& [domain, area] : boundary_area) area = -area;
  }

  std::map<int32_t, double> element_area;
  size_t positive = 0, negative = 0;
  auto add = [&](const char* kind, size_t e, int32_t domain, double signed_area) {
    if (domain < 1) {
      problems->Add("%s %zu lies in domain %d, outside every domain", kind, e, domain);
    } else if (named.count(domain) == 0) {
      problems->Add("%s %zu lies in domain %d, which no request segment names", kind, e, domain);
    }
    if (signed_area > 0.0) ++positive;
    if (signed_area < 0.0) ++negative;
    element_area[domain] += std::fabs(signed_area);
  };
  for (size_t e = 0; e < answer.quads.size(); ++e) {
    add("quad", e, answer.quad_domains[e], SignedArea(answer.quads[e], vertices));
  }
  for (size_t e = 0; e < answer.triangles.size(); ++e) {
    add("triangle", e, answer.triangle_domains[e], SignedArea(answer.triangles[e], vertices));
  }
  if (positive > 0 && negative > 0) {
    problems->Add("elements turn both ways: %zu one way, %zu the other", positive, negative);
  }

  const double allowed = options.relative_area_tolerance * region;
  double total = 0.0;
  for (const auto& [domain, area] : element_area) total += area;
  if (!(std::fabs(total - region) <= allowed)) {
    problems->Add("elements cover %.17g m^2, the region %.17g m^2 (relative difference %g)",
                  total, region, region > 0.0 ? (total - region) / region : total);
  }
  for (int32_t domain : named) {
    const double want = boundary_area[domain];
    const double got = element_area.count(domain) ? element_area[domain] : 0.0;
    if (!(std::fabs(got - want) <= allowed)) {
      problems->Add("domain %d: elements cover %.17g m^2, its boundary encloses %.17g m^2",
                    domain, got, want);
    }
  }
}

}  // namespace

std::vector<std::string> CheckMeshInvariants(const MeshRequest& request,
                                             const PlanarComplexMesh& answer,
                                             const MeshInvariantOptions& options) {
  Problems problems;
  if (!CheckShapeAndRanges(request, answer, &problems)) return problems.Finish();
  Plane plane;
  if (!FindPlane(request, answer, &plane)) {
    problems.Add("the answer spans no plane");
    return problems.Finish();
  }
  // Coordinates far from the origin carry proportionally larger rounding.
  const double rounding = 1e-12 * (1.0 + MaxAbsCoordinate(request, answer));
  CheckPlanarity(answer, plane, 10.0 * rounding, &problems);

  std::vector<Vec2> points, vertices;
  for (const Point3& p : request.points) points.push_back(plane.To2d(p));
  for (const Point3& p : answer.vertices) vertices.push_back(plane.To2d(p));
  CheckPointVertices(request, answer, points, vertices, rounding, &problems);
  CheckChains(request, answer, points, vertices, rounding, options, &problems);
  CheckDomainsAndAreas(request, answer, points, vertices, options, &problems);
  return problems.Finish();
}

}  // namespace mesh

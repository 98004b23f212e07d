// Helpers shared by the fuzz targets: a check that stops the run with a
// message (so libFuzzer saves the input), and bit-exact comparisons of the
// protocol records (NaN payloads and negative zeros must survive too, so ==
// on doubles will not do).
#ifndef MESH_WORKER_FUZZ_FUZZ_CHECK_H_
#define MESH_WORKER_FUZZ_FUZZ_CHECK_H_

#include <cstdio>
#include <cstdlib>

#include "protocol/coding.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

#define FUZZ_CHECK(condition)                                                  \
  do {                                                                         \
    if (!(condition)) {                                                        \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__,    \
                   #condition);                                                \
      std::abort();                                                            \
    }                                                                          \
  } while (0)

namespace mesh {

inline bool SameBits(double a, double b) { return DoubleBits(a) == DoubleBits(b); }

inline bool SamePoint(const Point3& a, const Point3& b) {
  return SameBits(a.x, b.x) && SameBits(a.y, b.y) && SameBits(a.z, b.z);
}

inline bool SameRequest(const MeshRequest& a, const MeshRequest& b) {
  if (a.points.size() != b.points.size() || a.segments.size() != b.segments.size() ||
      a.interior_only != b.interior_only ||
      a.domain_target_sizes.size() != b.domain_target_sizes.size() ||
      !SameBits(a.target_size, b.target_size) ||
      !SamePoint(a.plane_normal, b.plane_normal) || a.prefer_quads != b.prefer_quads ||
      a.options != b.options) {
    return false;
  }
  for (size_t i = 0; i < a.points.size(); ++i) {
    if (!SamePoint(a.points[i], b.points[i])) return false;
  }
  for (size_t i = 0; i < a.segments.size(); ++i) {
    const BoundarySegment& s = a.segments[i];
    const BoundarySegment& t = b.segments[i];
    if (s.point_a != t.point_a || s.point_b != t.point_b ||
        s.left_domain != t.left_domain || s.right_domain != t.right_domain) {
      return false;
    }
  }
  for (size_t i = 0; i < a.domain_target_sizes.size(); ++i) {
    if (!SameBits(a.domain_target_sizes[i], b.domain_target_sizes[i])) return false;
  }
  return true;
}

inline bool SameMesh(const PlanarComplexMesh& a, const PlanarComplexMesh& b) {
  if (a.vertices.size() != b.vertices.size()) return false;
  for (size_t i = 0; i < a.vertices.size(); ++i) {
    if (!SamePoint(a.vertices[i], b.vertices[i])) return false;
  }
  return a.quads == b.quads && a.triangles == b.triangles &&
         a.point_vertex == b.point_vertex && a.quad_domains == b.quad_domains &&
         a.triangle_domains == b.triangle_domains &&
         a.segment_chains == b.segment_chains;
}

}  // namespace mesh

#endif  // MESH_WORKER_FUZZ_FUZZ_CHECK_H_

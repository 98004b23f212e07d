// The Netgen 2-D spline geometry of one checked request: a point per request
// point, a straight spline per boundary segment, and each domain's quad flag
// and size. Uses Netgen's types, so only netgen/*.cc may include it.
#ifndef MESH_WORKER_NETGEN_SPLINE_GEOMETRY_H_
#define MESH_WORKER_NETGEN_SPLINE_GEOMETRY_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include <meshing.hpp>
#include <geometry2d.hpp>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// SplineGeometry2d as Netgen 6.2.1905 ships it reads a per-domain quad flag
// (GetDomainQuadMeshing indexes its array without a bounds check whenever the
// array is not empty) but has no way to set one; this adds the setter.
class QuadMeshingGeometry : public netgen::SplineGeometry2d {
 public:
  // Grows the flag array to `domain` entries, new ones false, so that every
  // domain number up to the largest one configured can be read. Throws
  // netgen::NgException for a domain below 1, as SetDomainMaxh does.
  void SetDomainQuadMeshing(int domain, bool quad);
};

// The caller's domain numbers and the ones Netgen is given. Netgen keeps
// per-domain arrays as long as the largest number and meshes every number
// from 1 up to it, about a millisecond each even when nothing lies there, so
// a caller's number like 2000000000 would exhaust memory or run for weeks.
// Netgen therefore sees the caller's domains (those of at least 1) numbered
// 1, 2, ... in ascending order, which keeps the order it meshes them in, and
// the mesh's domain numbers are mapped back. Numbers below 1 pass unchanged:
// Netgen never meshes them.
class DomainNumbering {
 public:
  DomainNumbering() = default;
  explicit DomainNumbering(const std::vector<BoundarySegment>& segments);

  int32_t ToNetgen(int32_t caller_domain) const;
  int32_t ToCaller(int32_t netgen_domain) const;
  // The caller's domains, ascending; Netgen's number for entry k is k + 1.
  const std::vector<int32_t>& caller_domains() const { return caller_domains_; }

 private:
  std::vector<int32_t> caller_domains_;
};

// The size asked for inside the caller's domain `domain`: its entry of
// domain_target_sizes when there is one and it is positive, otherwise
// target_size.
double DomainTargetSize(const MeshRequest& request, int32_t domain);

// Builds the geometry of a request that passed every input check, with
// `plane_points` giving each request point's plane coordinates and
// `numbering` made from the request's segments. Each domain is configured
// once, at its first occurrence in segment order. Returns null, with
// `*refusal` set, when Netgen throws while points or splines are appended.
std::shared_ptr<QuadMeshingGeometry> BuildSplineGeometry(
    const MeshRequest& request, const std::vector<PlanePoint>& plane_points,
    const DomainNumbering& numbering, std::optional<StageRefusal>* refusal);

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_SPLINE_GEOMETRY_H_

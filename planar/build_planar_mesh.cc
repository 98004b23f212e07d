#include "planar/build_planar_mesh.h"

#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>
#include <vector>

#include "common/netgen_lock.h"
#include "planar/boundary_checks.h"
#include "planar/boundary_overlaps.h"
#include "planar/coarse_request.h"
#include "planar/element_estimate.h"
#include "planar/loop_orientation.h"
#include "planar/plane_frame.h"
#include "planar/request_checks.h"

namespace mesh {

namespace {

double Length(const Point3& v) { return std::sqrt(v.x * v.x + v.y * v.y + v.z * v.z); }

// The caller's normal wins; otherwise the outline's own area vector fixes
// which side of the plane "left" is seen from. Only with neither does the
// frame fall back on the order the points are listed in. Returns false when
// there is no hint.
bool ChooseNormalHint(const MeshRequest& request, const Point3& boundary_area,
                      Point3* hint) {
  const Point3& candidate =
      Length(request.plane_normal) > 0.0 ? request.plane_normal : boundary_area;
  if (!(Length(candidate) > 0.0)) return false;
  *hint = candidate;
  return true;
}

PlanarMeshBuild Refused(StageRefusal refusal) {
  PlanarMeshBuild build;
  build.refusal = std::move(refusal);
  return build;
}

}  // namespace

PlanarMeshBuild BuildPlanarMesh(const MeshRequest& request, PlaneMesher& mesher) {
  // A request that is refused on its own merits never waits for the lock.
  if (std::optional<StageRefusal> refusal = CheckRequest(request)) return Refused(*refusal);

  // Declared ahead of every working object, so that on every way out they
  // are destroyed first and releasing the lock is the last thing done.
  std::lock_guard<std::mutex> hold_netgen(netgen_lock);

  Point3 boundary_area;
  if (std::optional<StageRefusal> refusal = CheckEnclosedArea(request, &boundary_area)) {
    return Refused(*refusal);
  }

  Point3 hint;
  const bool has_hint = ChooseNormalHint(request, boundary_area, &hint);
  PlanarFrame frame;
  if (!BuildFrame(request.points, has_hint ? &hint : nullptr, &frame)) {
    return Refused(Refuse<RefusalKey::kNoPlane>());
  }
  std::vector<PlanePoint> plane_points = ToPlanePoints(frame, request.points);

  // The cap comes first because it bounds the quadratic crossing test; the
  // signed area that decides orientation only means something once every
  // domain's boundary is known to be closed. Each loop's own turn comes
  // last: where a domain as a whole is turned over, that is the plainer
  // reason, and the loops are found by their domains' closed boundaries.
  // The element estimate follows them all, so that a request another check
  // refuses keeps that check's line; and precedes the mesher, which would
  // otherwise grow without bound on a target size given in the wrong unit.
  const std::function<std::optional<StageRefusal>()> checks[] = {
      [&] { return CheckPlaneExtent(plane_points); },
      [&] { return CheckCoordinateResolution(request, plane_points); },
      [&] {
        return CheckPlaneSegmentLengths(request.segments, plane_points,
                                        SnapTolerance(request.target_size));
      },
      [&] { return CheckSegmentCap(request.segments.size()); },
      [&] { return CheckNoSelfIntersection(request.segments, plane_points); },
      [&] { return CheckBoundaryOverlaps(request, plane_points); },
      [&] { return CheckDomainBoundariesClosed(request.segments); },
      [&] { return CheckDomainOrientation(request.segments, plane_points); },
      [&] { return CheckLoopOrientation(request.segments, plane_points); },
      [&] { return CheckElementEstimate(request, plane_points); },
  };
  for (const auto& check : checks) {
    if (std::optional<StageRefusal> refusal = check()) return Refused(*refusal);
  }

  // The checks above judge the request as asked, the element estimate among
  // them: the split answer has about as many elements as a plain mesh at
  // the size asked for.
  PlaneMeshing meshing = (request.options & kAllQuads) != 0
                             ? mesher.MeshPlane(CoarseRequestForAllQuads(request), plane_points)
                             : mesher.MeshPlane(request, plane_points);
  PlanarMeshBuild build;
  build.notes = std::move(meshing.notes);
  if (meshing.mesh == nullptr) {
    build.refusal = std::move(meshing.refusal);
    return build;
  }
  build.ok = true;
  build.mesh = std::move(meshing.mesh);
  build.frame = frame;
  build.plane_points = std::move(plane_points);
  return build;
}

}  // namespace mesh

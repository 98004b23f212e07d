#include "netgen/netgen_mesher.h"

#include <chrono>
#include <mutex>
#include <optional>

#include "common/netgen_lock.h"
#include "netgen/kept_boundary.h"
#include "netgen/meshing_passes.h"
#include "netgen/netgen_start.h"
#include "netgen/runaway_watch.h"
#include "netgen/spline_geometry.h"

namespace mesh {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

PlaneMeshing NetgenMesher::MeshPlane(const MeshRequest& request,
                                     const std::vector<PlanePoint>& plane_points) {
  if (generate_seconds_ == nullptr) {
    return MeshPlaneWithNetgen(request, plane_points, GenerateMeshWithNetgen);
  }
  double* total = generate_seconds_;
  auto timed_generate = [total](netgen::SplineGeometry2d& geometry,
                                std::shared_ptr<netgen::Mesh>& mesh,
                                netgen::MeshingParameters& parameters) {
    // Counted also when the call throws, as the runaway watch makes it.
    struct AddOnExit {
      double* total;
      Clock::time_point start;
      ~AddOnExit() { *total += SecondsSince(start); }
    } add{total, Clock::now()};
    return GenerateMeshWithNetgen(geometry, mesh, parameters);
  };
  return MeshPlaneWithNetgen(request, plane_points, timed_generate);
}

RawNetgenResult MeshOnceWithNetgen(const MeshRequest& request,
                                   const std::vector<PlanePoint>& plane_points) {
  RawNetgenResult result;
  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  const Clock::time_point start = Clock::now();
  DomainNumbering numbering(request.segments);
  std::optional<StageRefusal> refusal;
  std::shared_ptr<QuadMeshingGeometry> geometry =
      BuildSplineGeometry(request, plane_points, numbering, &refusal);
  if (geometry == nullptr) return result;
  netgen::MeshingParameters parameters;
  SetMeshingParameters(request, &parameters);
  auto mesh = std::make_shared<netgen::Mesh>();
  ScopedKeptBoundary keep((request.options & kKeepBoundary) != 0);
  const int rc = geometry->GenerateMesh(mesh, parameters);
  result.seconds = SecondsSince(start);
  if (rc != 0) return result;
  result.ok = true;
  result.elements = mesh->GetNSE();
  result.nodes = static_cast<int32_t>(mesh->GetNP());
  return result;
}

size_t RunawayElementLimitFor(double element_estimate) {
  return RunawayElementLimit(element_estimate);
}

void SetNetgenMessageLevel(int level) { netgen::printmessage_importance = level; }

}  // namespace mesh

// The worker's PlaneMesher: Netgen's 2-D spline-geometry mesher, a quad pass
// and then a triangle pass. Netgen's own types stay inside netgen/; what the
// benchmarks time of Netgen they reach through this header too.
#ifndef MESH_WORKER_NETGEN_NETGEN_MESHER_H_
#define MESH_WORKER_NETGEN_NETGEN_MESHER_H_

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "planar/plane_mesher.h"

namespace mesh {

class NetgenMesher : public PlaneMesher {
 public:
  NetgenMesher() = default;
  // Adds the seconds spent inside Netgen's GenerateMesh calls to
  // `*generate_seconds`, so that a benchmark can tell the mesher's own time
  // from the geometry and bookkeeping around it.
  explicit NetgenMesher(double* generate_seconds) : generate_seconds_(generate_seconds) {}

  PlaneMeshing MeshPlane(const MeshRequest& request,
                         const std::vector<PlanePoint>& plane_points) override;

 private:
  double* generate_seconds_ = nullptr;
};

// Netgen alone, for comparison with the whole worker: the spline geometry of
// `request` over `plane_points` and one GenerateMesh call with the worker's
// parameters, no second pass and no watch. Starts the library first, outside
// the timing. Takes netgen_lock.
struct RawNetgenResult {
  bool ok = false;
  double seconds = 0;
  size_t elements = 0;
  int32_t nodes = 0;
};
RawNetgenResult MeshOnceWithNetgen(const MeshRequest& request,
                                   const std::vector<PlanePoint>& plane_points);

// The most elements the runaway watch lets the mesher make for a request of
// `element_estimate` estimated elements (netgen/runaway_watch.h), for the
// benchmark that shows no legitimate mesh comes near it.
size_t RunawayElementLimitFor(double element_estimate);

// Netgen's message level (printmessage_importance: 0 prints nothing, 5 is
// what the library starts with), for a program that runs Netgen alone.
void SetNetgenMessageLevel(int level);

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_MESHER_H_

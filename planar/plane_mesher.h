// The seam between the input checks and the mesher: BuildPlanarMesh runs its
// checks, then hands the checked request to a PlaneMesher. The worker's is
// Netgen's (netgen/netgen_mesher.h); tests substitute fakes.
#ifndef MESH_WORKER_PLANAR_PLANE_MESHER_H_
#define MESH_WORKER_PLANAR_PLANE_MESHER_H_

#include <memory>
#include <vector>

#include "planar/plane_frame.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"

namespace mesh {

class PlaneMesher {
 public:
  virtual ~PlaneMesher() = default;
  // Meshes a request that passed every check, in plane coordinates
  // (`plane_points`, one per request point). Called with netgen_lock held.
  // Returns null after writing exactly one diagnostic line.
  virtual std::shared_ptr<SurfaceMesh> MeshPlane(
      const MeshRequest& request, const std::vector<PlanePoint>& plane_points) = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_PLANE_MESHER_H_

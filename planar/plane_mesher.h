// The seam between the input checks and the mesher: BuildPlanarMesh runs its
// checks, then hands the checked request to a PlaneMesher. The worker's is
// Netgen's (netgen/netgen_mesher.h); tests substitute fakes.
#ifndef MESH_WORKER_PLANAR_PLANE_MESHER_H_
#define MESH_WORKER_PLANAR_PLANE_MESHER_H_

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "planar/plane_frame.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// What a mesher made of a request: the mesh, or its refusal.
struct PlaneMeshing {
  // Null exactly when `refusal` is set.
  std::shared_ptr<SurfaceMesh> mesh;
  std::optional<StageRefusal> refusal;
  // Lines the worker writes on standard error even when the mesh is made.
  std::vector<std::string> notes;
};

class PlaneMesher {
 public:
  virtual ~PlaneMesher() = default;
  // Meshes a request that passed every check, in plane coordinates
  // (`plane_points`, one per request point). Called with netgen_lock held.
  virtual PlaneMeshing MeshPlane(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points) = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_PLANE_MESHER_H_

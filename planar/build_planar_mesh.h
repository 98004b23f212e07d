// BuildPlanarMesh: the first stage of a mesh job. Checks the request, fixes
// its plane, and has `mesher` mesh it.
#ifndef MESH_WORKER_PLANAR_BUILD_PLANAR_MESH_H_
#define MESH_WORKER_PLANAR_BUILD_PLANAR_MESH_H_

#include "planar/plane_mesher.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"

namespace mesh {

// Returns the build, or the empty result with the refusal of the first check
// (or of the mesher) that failed. Takes netgen_lock once the request-only checks pass and
// releases it as its last action.
PlanarMeshBuild BuildPlanarMesh(const MeshRequest& request, PlaneMesher& mesher);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_BUILD_PLANAR_MESH_H_

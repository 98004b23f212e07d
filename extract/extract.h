// ExtractToPlanarComplexMesh: the second stage of a mesh job. Ties the mesh
// back to the caller's points and segments and lifts it into 3-D.
#ifndef MESH_WORKER_EXTRACT_EXTRACT_H_
#define MESH_WORKER_EXTRACT_EXTRACT_H_

#include <vector>

#include "planar/planar_mesh_build.h"
#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Returns the complete record, or the empty record after writing exactly one
// diagnostic line. Holds netgen_lock for its whole run; keeps nothing of
// `mesh`.
PlanarComplexMesh ExtractToPlanarComplexMesh(const SurfaceMesh& mesh,
                                             const PlanarFrame& frame,
                                             const std::vector<PlanePoint>& plane_points,
                                             const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_EXTRACT_H_

// The mesh job: one decoded request through BuildPlanarMesh and
// ExtractToPlanarComplexMesh.
#ifndef MESH_WORKER_WORKER_MESH_JOB_H_
#define MESH_WORKER_WORKER_MESH_JOB_H_

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// The worker's MeshJob. Empty `vertices` means the job failed.
PlanarComplexMesh RunMeshJob(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_WORKER_MESH_JOB_H_

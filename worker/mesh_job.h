// The mesh job: one decoded request through BuildPlanarMesh and
// ExtractToPlanarComplexMesh, and the one place where what the stages have to
// say reaches standard error.
#ifndef MESH_WORKER_WORKER_MESH_JOB_H_
#define MESH_WORKER_WORKER_MESH_JOB_H_

#include <optional>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/refusals.h"

namespace mesh {

struct MeshStagesResult {
  // Empty `vertices` exactly when `refusal` is set.
  PlanarComplexMesh answer;
  std::optional<StageRefusal> refusal;
  // Lines the stages report besides a refusal, in the order they arose.
  std::vector<std::string> notes;
};

// Both stages, writing nothing.
MeshStagesResult RunMeshStages(const MeshRequest& request);

// The worker's MeshJob: RunMeshStages, then its notes and its refusal line on
// standard error. Empty `vertices` means the job failed.
PlanarComplexMesh RunMeshJob(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_WORKER_MESH_JOB_H_

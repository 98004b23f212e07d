#include "worker/mesh_job.h"

#include <utility>

#include "common/diagnostic.h"
#include "extract/extract.h"
#include "netgen/netgen_mesher.h"
#include "planar/build_planar_mesh.h"

namespace mesh {

MeshStagesResult RunMeshStages(const MeshRequest& request) {
  MeshStagesResult result;
  NetgenMesher mesher;
  PlanarMeshBuild build = BuildPlanarMesh(request, mesher);
  result.notes = std::move(build.notes);
  if (!build.ok) {
    result.refusal = std::move(build.refusal);
    return result;
  }
  // The build is dropped when this returns, after the extraction has let go
  // of netgen_lock: destroying a large mesh need not hold up anyone.
  Extraction extraction =
      ExtractToPlanarComplexMesh(*build.mesh, build.frame, build.plane_points, request);
  result.answer = std::move(extraction.record);
  result.refusal = std::move(extraction.refusal);
  return result;
}

PlanarComplexMesh RunMeshJob(const MeshRequest& request) {
  MeshStagesResult result = RunMeshStages(request);
  for (std::string& note : result.notes) EmitDiagnosticLine(std::move(note));
  if (result.refusal.has_value()) EmitDiagnosticLine(std::move(result.refusal->line));
  return std::move(result.answer);
}

}  // namespace mesh

#include "worker/mesh_job.h"

#include "extract/extract.h"
#include "netgen/netgen_mesher.h"
#include "planar/build_planar_mesh.h"

namespace mesh {

PlanarComplexMesh RunMeshJob(const MeshRequest& request) {
  NetgenMesher mesher;
  PlanarMeshBuild build = BuildPlanarMesh(request, mesher);
  if (!build.ok) return PlanarComplexMesh();
  // The build is dropped when this returns, after the extraction has let go
  // of netgen_lock: destroying a large mesh need not hold up anyone.
  return ExtractToPlanarComplexMesh(*build.mesh, build.frame, build.plane_points,
                                    request);
}

}  // namespace mesh

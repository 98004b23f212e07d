#include "planar/build_planar_mesh.h"

namespace mesh {

// Placeholder until the input checks land: every request is refused.
PlanarMeshBuild BuildPlanarMesh(const MeshRequest&, PlaneMesher&) {
  return PlanarMeshBuild();
}

}  // namespace mesh

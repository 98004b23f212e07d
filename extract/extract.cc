#include "extract/extract.h"

namespace mesh {

// Placeholder until the extraction lands.
PlanarComplexMesh ExtractToPlanarComplexMesh(const SurfaceMesh&, const PlanarFrame&,
                                             const std::vector<PlanePoint>&,
                                             const MeshRequest&) {
  return PlanarComplexMesh();
}

}  // namespace mesh

#include "netgen/netgen_mesher.h"

namespace mesh {

// Placeholder until the Netgen passes land.
std::shared_ptr<SurfaceMesh> NetgenMesher::MeshPlane(const MeshRequest&,
                                                     const std::vector<PlanePoint>&) {
  return nullptr;
}

}  // namespace mesh

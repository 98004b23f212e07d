#include "netgen/netgen_mesher.h"

#include "netgen/meshing_passes.h"

namespace mesh {

std::shared_ptr<SurfaceMesh> NetgenMesher::MeshPlane(const MeshRequest& request,
                                                     const std::vector<PlanePoint>& plane_points) {
  return MeshPlaneWithNetgen(request, plane_points, GenerateMeshWithNetgen);
}

}  // namespace mesh

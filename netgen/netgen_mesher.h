// The worker's PlaneMesher: Netgen's 2-D spline-geometry mesher, a quad pass
// and then a triangle pass. Netgen's own types stay inside netgen/.
#ifndef MESH_WORKER_NETGEN_NETGEN_MESHER_H_
#define MESH_WORKER_NETGEN_NETGEN_MESHER_H_

#include <memory>
#include <vector>

#include "planar/plane_mesher.h"

namespace mesh {

class NetgenMesher : public PlaneMesher {
 public:
  std::shared_ptr<SurfaceMesh> MeshPlane(
      const MeshRequest& request, const std::vector<PlanePoint>& plane_points) override;
};

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_MESHER_H_

#include "bench/netgen_alone.h"

#include <memory>
#include <vector>

#include "planar/build_planar_mesh.h"
#include "planar/plane_mesher.h"

namespace mesh {

namespace {

// Keeps the plane coordinates the checks produced and meshes nothing.
class PlanePointsOnly : public PlaneMesher {
 public:
  std::vector<PlanePoint> plane_points;
  PlaneMeshing MeshPlane(const MeshRequest&, const std::vector<PlanePoint>& points) override {
    plane_points = points;
    return PlaneMeshing();
  }
};

}  // namespace

RawNetgenResult MeshWithNetgenAlone(const MeshRequest& request) {
  RawNetgenResult result;
  PlanePointsOnly capture;
  BuildPlanarMesh(request, capture);
  if (capture.plane_points.size() != request.points.size()) return result;
  return MeshOnceWithNetgen(request, capture.plane_points);
}

}  // namespace mesh

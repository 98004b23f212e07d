// The finer sizes asked for around interior-only points reach the mesher:
// two points 2 cm apart in a square meshed at 25 cm each get a node of
// their own close by, which the extraction can move onto them.
#include <cmath>
#include <memory>
#include <mutex>
#include <vector>

#include <gtest/gtest.h>

#include "common/netgen_lock.h"
#include "netgen/meshing_passes.h"
#include "planar/interior_point_sizes.h"
#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

size_t NodesWithin(const SurfaceMesh& mesh, const PlanePoint& p, double radius) {
  size_t count = 0;
  for (int32_t n = 1; n <= mesh.NodeCount(); ++n) {
    const PlanePoint q = mesh.Node(n);
    if (std::hypot(q.u - p.u, q.v - p.v) <= radius) ++count;
  }
  return count;
}

TEST(InteriorPointSizesMesherTest, CloseInteriorPointsGetFinerElementsAroundThem) {
  MeshRequest request = test::UnitSquareRequest(0.25);
  request.prefer_quads = false;
  request.points.push_back({0.5, 0.5, 0});
  request.points.push_back({0.52, 0.5, 0});
  request.interior_only = {4, 5};
  const std::vector<PlanePoint> plane = test::FlatPlanePoints(request.points);
  std::lock_guard<std::mutex> hold(netgen_lock);
  {
    const PlaneMeshing meshing = MeshPlaneWithNetgen(request, plane, GenerateMeshWithNetgen);
    ASSERT_NE(meshing.mesh, nullptr);
    EXPECT_GE(NodesWithin(*meshing.mesh, {0.51, 0.5}, 0.03), 2u);
  }
  const ScopedSplitInsertion split;
  const PlaneMeshing meshing = MeshPlaneWithNetgen(request, plane, GenerateMeshWithNetgen);
  ASSERT_NE(meshing.mesh, nullptr);
  // Without the sizes a 25 cm mesh has a node this close by chance at most.
  EXPECT_LE(NodesWithin(*meshing.mesh, {0.51, 0.5}, 0.03), 1u);
}

}  // namespace
}  // namespace mesh

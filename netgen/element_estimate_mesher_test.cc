// The element estimate against what the real mesher makes of the same
// requests: it may err high by a small factor, and never much low, or the
// limit it guards either refuses what fits or lets through what does not.
#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "common/netgen_lock.h"
#include "netgen/netgen_mesher.h"
#include "planar/element_estimate.h"
#include "testing/loops.h"
#include "testing/plane_points.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::FlatPlanePoints;
using test::Loop;
using test::RegularPolygon;
using test::Reversed;
using test::Square;

// A square whose every side is cut into `per_side` equal segments.
MeshRequest CutSquare(double side, int per_side, double target_size) {
  test::Corners corners;
  for (int edge = 0; edge < 4; ++edge) {
    for (int i = 0; i < per_side; ++i) {
      const double t = side * i / per_side;
      const Point3 along[4] = {{t, 0, 0}, {side, t, 0}, {side - t, side, 0}, {0, side - t, 0}};
      corners.push_back(along[edge]);
    }
  }
  MeshRequest request = Loop(corners, 1, 0);
  request.target_size = target_size;
  return request;
}

struct Case {
  std::string name;
  MeshRequest request;
};

std::vector<Case> Cases() {
  std::vector<Case> cases;
  MeshRequest plain = Loop(Square(0, 0, 1), 1, 0);
  plain.target_size = 0.05;
  cases.push_back({"plain square", plain});

  MeshRequest circle = Loop(RegularPolygon(600, 0.2), 1, 0);
  circle.target_size = 0.05;
  cases.push_back({"circle of 600 short segments", circle});

  cases.push_back({"square of 400 short segments", CutSquare(1, 100, 0.1)});

  // The domain round a hole of short segments grades in all round it.
  MeshRequest with_hole = Loop(Square(0, 0, 1), 1, 0);
  AddLoop(&with_hole, Reversed(RegularPolygon(400, 0.15, 0.5, 0.5)), 1, 0);
  with_hole.target_size = 0.1;
  cases.push_back({"square round a hole of 400 short segments", with_hole});

  MeshRequest one_short = Loop({{0, 0, 0}, {1e-3, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1, 0);
  one_short.target_size = 0.1;
  cases.push_back({"square with one short segment", one_short});
  return cases;
}

TEST(ElementEstimateMesherTest, ErrsHighBySmallFactorOnly) {
  for (Case& c : Cases()) {
    for (const bool quads : {true, false}) {
      c.request.prefer_quads = quads;
      const std::vector<PlanePoint> plane_points = FlatPlanePoints(c.request.points);
      const double estimate = EstimateElements(c.request, plane_points).elements;
      size_t actual = 0;
      {
        std::lock_guard<std::mutex> hold(netgen_lock);
        NetgenMesher mesher;
        std::shared_ptr<SurfaceMesh> mesh = mesher.MeshPlane(c.request, plane_points).mesh;
        ASSERT_NE(mesh, nullptr) << c.name;
        actual = mesh->ElementCount();
      }
      const double ratio = estimate / static_cast<double>(actual);
      SCOPED_TRACE(c.name + (quads ? ", quads" : ", triangles") + ": estimate " +
                   std::to_string(estimate) + ", meshed " + std::to_string(actual));
      EXPECT_GE(ratio, 0.9);
      EXPECT_LE(ratio, 4.0);
    }
  }
}

// Interior-only points ask for a finer mesh round them, which the runaway
// watch must count as part of a sound mesh: a square crowded with points a
// quarter of the target size apart is meshed, never stopped.
TEST(ElementEstimateMesherTest, ACrowdOfInteriorPointsIsNoRunaway) {
  MeshRequest request = Loop(Square(0, 0, 5), 1, 0);
  request.target_size = 1.0;
  for (int i = 0; i < 20; ++i) {
    for (int j = 0; j < 20; ++j) {
      request.interior_only.push_back(static_cast<int32_t>(request.points.size()));
      request.points.push_back({0.125 + 0.25 * i, 0.125 + 0.25 * j, 0});
    }
  }
  for (const bool quads : {true, false}) {
    request.prefer_quads = quads;
    const std::vector<PlanePoint> plane_points = FlatPlanePoints(request.points);
    std::lock_guard<std::mutex> hold(netgen_lock);
    NetgenMesher mesher;
    PlaneMeshing meshing = mesher.MeshPlane(request, plane_points);
    ASSERT_NE(meshing.mesh, nullptr)
        << (quads ? "quads: " : "triangles: ")
        << (meshing.refusal.has_value() ? meshing.refusal->line : std::string("no mesh"));
    EXPECT_GE(meshing.mesh->ElementCount(), 2 * request.interior_only.size());
  }
}

}  // namespace
}  // namespace mesh

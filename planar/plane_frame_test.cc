#include "planar/plane_frame.h"

#include <cmath>
#include <optional>

#include <gtest/gtest.h>

#include "testing/loops.h"

namespace mesh {
namespace {

void ExpectPoint(const Point3& actual, const Point3& expected) {
  EXPECT_EQ(actual.x, expected.x);
  EXPECT_EQ(actual.y, expected.y);
  EXPECT_EQ(actual.z, expected.z);
}

void ExpectNear(const Point3& actual, const Point3& expected) {
  EXPECT_NEAR(actual.x, expected.x, 1e-12);
  EXPECT_NEAR(actual.y, expected.y, 1e-12);
  EXPECT_NEAR(actual.z, expected.z, 1e-12);
}

// The worked squares: which way the normal points decides both axes, and a
// hint is used only for its direction.
TEST(BuildFrameTest, WorkedSquares) {
  struct {
    const char* name;
    std::vector<Point3> points;
    std::optional<Point3> hint;
    Point3 u_axis;
    Point3 v_axis;
    PlanePoint point_2;
  } const cases[] = {
      {"no hint", test::Square(0, 0, 1), std::nullopt, {1, 0, 0}, {0, 1, 0}, {0.5, 0.5}},
      {"reversed order",
       {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}},
       std::nullopt,
       {0, 1, 0},
       {1, 0, 0},
       {0.5, 0.5}},
      {"hint (0, 0, 5)", test::Square(0, 0, 1), Point3{0, 0, 5}, {1, 0, 0}, {0, 1, 0},
       {0.5, 0.5}},
      {"hint (0, 0, -1)", test::Square(0, 0, 1), Point3{0, 0, -1}, {1, 0, 0}, {0, -1, 0},
       {0.5, -0.5}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlanarFrame frame;
    ASSERT_TRUE(BuildFrame(c.points, c.hint ? &*c.hint : nullptr, &frame));
    ExpectPoint(frame.origin, {0.5, 0.5, 0});
    ExpectPoint(frame.u_axis, c.u_axis);
    ExpectPoint(frame.v_axis, c.v_axis);
    const PlanePoint p = frame.ToPlane(c.points[2]);
    EXPECT_EQ(p.u, c.point_2.u);
    EXPECT_EQ(p.v, c.point_2.v);
  }
}

TEST(BuildFrameTest, DegeneratePointSetsFailAndLeaveTheFrameAlone) {
  const Point3 tiny_hint{0, 0, 1e-13};
  const Point3 along_z{0, 0, 1};
  const Point3 huge_hint{0, 0, 1e200};
  struct {
    const char* name;
    std::vector<Point3> points;
    const Point3* hint;
  } const cases[] = {
      {"two points", {{0, 0, 0}, {1, 0, 0}}, nullptr},
      {"hint shorter than 1e-12", test::Square(0, 0, 1), &tiny_hint},
      {"collinear, no hint", {{0, 0, 0}, {1, 1, 1}, {3, 3, 3}}, nullptr},
      {"bow tie, zero net area in list order", {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}, nullptr},
      {"hint parallel to every edge", {{0, 0, 0}, {0, 0, 1}, {0, 0, 3}}, &along_z},
      // Overflow: the squared hint, the centroid, an edge.
      {"hint too long to square", test::Square(0, 0, 1), &huge_hint},
      {"centroid overflows", {{1.7e308, 0, 0}, {1.7e308, 1, 0}, {1.7e308, 0, 1}}, &along_z},
      {"edge overflows", {{1.7e308, 0, 0}, {-1.7e308, 0, 0}, {-1.7e308, 1, 0}}, &along_z},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    PlanarFrame frame;
    frame.origin = {7, 7, 7};
    EXPECT_FALSE(BuildFrame(c.points, c.hint, &frame));
    ExpectPoint(frame.origin, {7, 7, 7});
  }
  // A normal of exactly 1e-12 is long enough.
  const Point3 threshold_hint{0, 0, 1e-12};
  PlanarFrame frame;
  EXPECT_TRUE(BuildFrame(test::Square(0, 0, 1), &threshold_hint, &frame));
}

// A tilted plane, so that every axis has all three components in play.
TEST(PlanarFrameTest, ProjectsOntoThePlaneAndMapsBack) {
  const std::vector<Point3> points = {{0, 0, 0}, {2, 0, 2}, {2, 3, 2}, {0, 3, 0}};
  PlanarFrame frame;
  ASSERT_TRUE(BuildFrame(points, nullptr, &frame));
  const std::vector<PlanePoint> plane_points = ToPlanePoints(frame, points);
  ASSERT_EQ(plane_points.size(), points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    SCOPED_TRACE(i);
    ExpectNear(frame.FromPlane(plane_points[i]), points[i]);
  }

  // The plane is x = z; its normal is (-1, 0, 1) / sqrt(2).
  const double h = 0.75 / std::sqrt(2.0);
  const Point3 foot{1, 1, 1};
  const PlanePoint on = frame.ToPlane(foot);
  const PlanePoint above = frame.ToPlane({foot.x - h, foot.y, foot.z + h});
  EXPECT_NEAR(above.u, on.u, 1e-12);
  EXPECT_NEAR(above.v, on.v, 1e-12);
  ExpectNear(frame.FromPlane(above), foot);
}

}  // namespace
}  // namespace mesh

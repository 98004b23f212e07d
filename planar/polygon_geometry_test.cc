#include "planar/polygon_geometry.h"

#include <array>
#include <cmath>

#include <gtest/gtest.h>

namespace mesh {
namespace {

// Vectors are compared whole and exactly: the sums below add small binary
// fractions, which no rounding touches.
using Xyz = std::array<double, 3>;
Xyz Coordinates(const Point3& p) { return {p.x, p.y, p.z}; }

// A 1 by sqrt(2) rectangle tilted 45 degrees about the y axis (it lies in
// z = x): the vector is twice its area, 2 sqrt(2), along its normal
// (-1, 0, 1) / sqrt(2).
const std::vector<Point3> kTiltedSquare = {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0}};

TEST(AreaVectorTest, TiltedPolygon) {
  Point3 area;
  AddPolygonAreaVector(kTiltedSquare, Point3{0.5, 0.5, 0.5}, &area);
  EXPECT_EQ(Coordinates(area), (Xyz{-2, 0, 2}));

  // The centre only moves rounding, not the closed polygon's vector.
  Point3 far_centre;
  AddPolygonAreaVector(kTiltedSquare, Point3{1e3, -250, 7}, &far_centre);
  EXPECT_NEAR(far_centre.x, -2, 1e-9);
  EXPECT_NEAR(far_centre.y, 0, 1e-9);
  EXPECT_NEAR(far_centre.z, 2, 1e-9);

  // Walked the other way round, the vector turns over.
  const std::vector<Point3> reversed(kTiltedSquare.rbegin(), kTiltedSquare.rend());
  Point3 turned;
  AddPolygonAreaVector(reversed, Point3{0.5, 0.5, 0.5}, &turned);
  EXPECT_EQ(Coordinates(turned), (Xyz{2, 0, -2}));

  // Fewer than three points enclose nothing.
  Point3 none;
  AddPolygonAreaVector({{0, 0, 0}, {1, 2, 3}}, Point3(), &none);
  EXPECT_EQ(Coordinates(none), (Xyz{0, 0, 0}));
}

// The terms are added to what the caller's vector already holds.
TEST(AreaVectorTest, AddsToTheGivenVector) {
  Point3 area{1, 2, 3};
  AddPolygonAreaVector(kTiltedSquare, Point3{0.5, 0.5, 0.5}, &area);
  EXPECT_EQ(Coordinates(area), (Xyz{-1, 2, 5}));
}

// Only the chosen segments count, each from point_a to point_b: an outline
// with a reversed opening inside gives the outline's area less the
// opening's, and a segment left out of `chosen` adds nothing.
TEST(AreaVectorTest, ChosenSegments) {
  const std::vector<Point3> points = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0},
                                      {0.5, 0.5, 0}, {1.5, 0.5, 0}, {1.5, 1.5, 0},
                                      {0.5, 1.5, 0}};
  const std::vector<BoundarySegment> segments = {
      {0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0},
      {4, 7, 1, 0}, {7, 6, 1, 0}, {6, 5, 1, 0}, {5, 4, 1, 0}, {0, 6, 1, 1}};
  Point3 outline;
  AddSegmentAreaVector(points, segments, {0, 1, 2, 3}, Point3{1, 1, 0}, &outline);
  EXPECT_EQ(Coordinates(outline), (Xyz{0, 0, 8}));

  Point3 with_opening;
  AddSegmentAreaVector(points, segments, {0, 1, 2, 3, 4, 5, 6, 7}, Point3{1, 1, 0},
                       &with_opening);
  EXPECT_EQ(Coordinates(with_opening), (Xyz{0, 0, 6}));

  // The same square as a polygon of its points gives the same vector.
  Point3 polygon;
  AddPolygonAreaVector({points[0], points[1], points[2], points[3]}, Point3{1, 1, 0},
                       &polygon);
  EXPECT_EQ(Coordinates(polygon), Coordinates(outline));
}

TEST(OrientTest, SideOfTheLine) {
  const PlanePoint a{0, 0}, b{2, 0};
  EXPECT_GT(Orient(a, b, {1, 1}), 0);
  EXPECT_LT(Orient(a, b, {1, -1}), 0);
  EXPECT_EQ(Orient(a, b, {5, 0}), 0);
  EXPECT_EQ(Orient(a, b, {1, 1}), 2);  // twice the triangle's area

  EXPECT_TRUE(OnSegment(a, b, {1, 0}));
  EXPECT_TRUE(OnSegment(a, b, {2, 0}));    // an end
  EXPECT_FALSE(OnSegment(a, b, {3, 0}));   // on the line, past the end
  EXPECT_FALSE(OnSegment(a, b, {1, 1e-300}));  // no tolerance
}

// Crossing is the boundary check's test (a proper crossing only); meeting is
// meshctl's (any common point). Each pair is tried both ways round and with
// its segments reversed, which must not change the answer.
TEST(SegmentContactTest, CrossingTouchingAndOverlap) {
  struct {
    const char* name;
    PlanePoint a, b, c, d;
    bool cross, meet;
  } const cases[] = {
      {"proper crossing", {0, 0}, {2, 2}, {0, 2}, {2, 0}, true, true},
      {"end touching the other's middle", {0, 0}, {2, 0}, {1, 0}, {1, 2}, false, true},
      {"shared end", {0, 0}, {2, 0}, {2, 0}, {3, 3}, false, true},
      {"collinear overlap", {0, 0}, {2, 0}, {1, 0}, {3, 0}, false, true},
      {"one inside the other on a line", {0, 0}, {4, 0}, {1, 0}, {2, 0}, false, true},
      {"collinear, apart", {0, 0}, {1, 0}, {2, 0}, {3, 0}, false, false},
      {"parallel", {0, 0}, {2, 0}, {0, 1}, {2, 1}, false, false},
      {"lines cross beyond the ends", {0, 0}, {1, 1}, {3, 0}, {2, 1}, false, false},
      {"end just short of the other", {0, 0}, {2, 0}, {1, 1e-9}, {1, 2}, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SegmentsCross(c.a, c.b, c.c, c.d), c.cross);
    EXPECT_EQ(SegmentsCross(c.c, c.d, c.a, c.b), c.cross);
    EXPECT_EQ(SegmentsCross(c.b, c.a, c.d, c.c), c.cross);
    EXPECT_EQ(SegmentsMeet(c.a, c.b, c.c, c.d), c.meet);
    EXPECT_EQ(SegmentsMeet(c.c, c.d, c.a, c.b), c.meet);
    EXPECT_EQ(SegmentsMeet(c.b, c.a, c.d, c.c), c.meet);
  }
}

}  // namespace
}  // namespace mesh

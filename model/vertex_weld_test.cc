// Welding: which vertices become one, across grid cells, without chaining.
#include "model/vertex_weld.h"

#include <cmath>

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(WeldVerticesTest, WeldsCloseVerticesIntoTheLowestIndexAcrossCells) {
  const double tolerance = 1e-4;
  // Pairs straddling a cell boundary of the grid (multiples of 1e-4) on
  // every axis, and one pair far from the origin, where coordinates carry
  // fewer digits after the point.
  const std::vector<Point3> points = {
      {0.99999e-4 * 3, 5, 5},        {1.00001e-4 * 3, 5, 5},
      {1, 2, 3},                     {1, 2 - 4e-5, 3 + 4e-5},
      {7, 7, 7},                     {7 + 1.1e-4, 7, 7},          // just too far
      {6e6, 2e6, 40},                {6e6 + 5e-5, 2e6 - 5e-5, 40},
  };
  const VertexWeld weld = WeldVertices(points, tolerance);
  EXPECT_EQ(weld.representative, (std::vector<int32_t>{0, 0, 2, 2, 4, 5, 6, 6}));
  EXPECT_EQ(weld.welded, 3u);
}

TEST(WeldVerticesTest, RowOfClosePointsDoesNotChain) {
  // Each point is within the tolerance of the next, but the third is not of
  // the first: it starts a vertex of its own, and the fourth joins it.
  const std::vector<Point3> points = {{0, 0, 0}, {0.6, 0, 0}, {1.2, 0, 0}, {1.8, 0, 0}};
  const VertexWeld weld = WeldVertices(points, 1.0);
  EXPECT_EQ(weld.representative, (std::vector<int32_t>{0, 0, 2, 2}));
}

TEST(WeldVerticesTest, NearestRepresentativeWinsAndNonFiniteStandAlone) {
  const std::vector<Point3> points = {{0, 0, 0}, {1.5, 0, 0}, {1.0, 0, 0},
                                      {NAN, 0, 0}, {NAN, 0, 0}, {INFINITY, 0, 0}};
  const VertexWeld weld = WeldVertices(points, 1.0);
  // Point 2 is within 1 of both 0 (at 1.0, not closer than the tolerance)
  // and 1 (at 0.5): it joins 1.
  EXPECT_EQ(weld.representative, (std::vector<int32_t>{0, 1, 1, 3, 4, 5}));
  EXPECT_EQ(weld.welded, 1u);
}

}  // namespace
}  // namespace mesh

#include "planar/element_estimate.h"

#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "testing/loops.h"
#include "testing/plane_points.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::FlatPlanePoints;
using test::Loop;
using test::Square;

constexpr double kTrianglesPerSquareSizeForTest = 2.3094010767585;

ElementEstimate Estimate(const MeshRequest& request) {
  return EstimateElements(request, FlatPlanePoints(request.points));
}

MeshRequest SquareAt(double side, double target_size) {
  MeshRequest request = Loop(Square(0, 0, side), 1, 0);
  request.target_size = target_size;
  return request;
}

// The unit square with its bottom edge split at x = `cut`, so that its first
// segment is `cut` long.
MeshRequest SquareWithShortSegment(double cut, double target_size) {
  MeshRequest request = Loop({{0, 0, 0}, {cut, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, 1, 0);
  request.target_size = target_size;
  return request;
}

TEST(ElementEstimateTest, GrowsWithAreaAndWithTheInverseSquareOfTheSize) {
  const ElementEstimate unit = Estimate(SquareAt(1, 0.1));
  EXPECT_DOUBLE_EQ(unit.area, 1.0);
  EXPECT_DOUBLE_EQ(unit.smallest_target_size, 0.1);
  // 100 squares of the size, counted as equilateral triangles.
  EXPECT_NEAR(unit.elements, 230.94, 0.01);

  const ElementEstimate twice_the_side = Estimate(SquareAt(2, 0.1));
  EXPECT_DOUBLE_EQ(twice_the_side.area, 4.0);
  EXPECT_DOUBLE_EQ(twice_the_side.elements, 4.0 * unit.elements);

  const ElementEstimate half_the_size = Estimate(SquareAt(1, 0.05));
  EXPECT_DOUBLE_EQ(half_the_size.elements, 4.0 * unit.elements);

  // A hole takes its area away.
  MeshRequest with_hole = SquareAt(2, 0.1);
  AddLoop(&with_hole, Square(0.5, 0.5, 1), 0, 1);
  EXPECT_DOUBLE_EQ(Estimate(with_hole).area, 3.0);
  EXPECT_DOUBLE_EQ(Estimate(with_hole).elements, 3.0 * unit.elements);

  // The orientation of the plane points does not matter beyond the checks
  // that came before; nothing at all is asked of a request without domains.
  MeshRequest no_domains = SquareAt(1, 0.1);
  no_domains.segments.clear();
  EXPECT_EQ(Estimate(no_domains).elements, 0.0);
  EXPECT_EQ(Estimate(no_domains).area, 0.0);
}

TEST(ElementEstimateTest, EachDomainIsCountedAtItsOwnSize) {
  // Two unit squares side by side, domain 1 at x in [0, 1], domain 2 at
  // x in [1, 2].
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                      {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  request.target_size = 0.1;
  const double per_unit_square = Estimate(SquareAt(1, 0.1)).elements;

  EXPECT_DOUBLE_EQ(Estimate(request).elements, 2.0 * per_unit_square);
  EXPECT_DOUBLE_EQ(Estimate(request).area, 2.0);

  // Domain 2 at half the size: four times its elements. Domain 1's zero
  // entry falls back on target_size, as a negative one would.
  request.domain_target_sizes = {0.0, 0.05};
  EXPECT_DOUBLE_EQ(Estimate(request).elements, 5.0 * per_unit_square);
  EXPECT_DOUBLE_EQ(Estimate(request).smallest_target_size, 0.05);
  request.domain_target_sizes = {-1.0, 0.05};
  EXPECT_DOUBLE_EQ(Estimate(request).elements, 5.0 * per_unit_square);

  // A coarser domain needs fewer elements, whatever target_size says.
  request.domain_target_sizes = {0.2, 0.2};
  EXPECT_DOUBLE_EQ(Estimate(request).elements, 0.5 * per_unit_square);
  EXPECT_DOUBLE_EQ(Estimate(request).smallest_target_size, 0.2);
}

TEST(ElementEstimateTest, ShortSegmentsAddTheElementsGradedInAroundThem) {
  const double plain = Estimate(SquareAt(1, 0.1)).elements;
  // A cut as long as the size changes nothing: no segment is short.
  EXPECT_DOUBLE_EQ(Estimate(SquareWithShortSegment(0.1, 0.1)).elements, plain);

  // The shorter the segment, the more the mesher grades in; by the
  // logarithm of the ratio, so a hundredfold shorter one costs far less
  // than a hundredfold more.
  const double short_one = Estimate(SquareWithShortSegment(1e-3, 0.1)).elements;
  const double shorter_one = Estimate(SquareWithShortSegment(1e-5, 0.1)).elements;
  EXPECT_GT(short_one, plain + 100);
  EXPECT_GT(shorter_one, short_one + 100);
  EXPECT_LT(shorter_one, plain + 3 * (short_one - plain));

  // Never more than the whole domain filled at the shortest segment's
  // length: a tiny domain of short segments costs what its area holds.
  MeshRequest small_square = SquareAt(1e-3, 0.1);
  EXPECT_NEAR(Estimate(small_square).elements, 2.3094, 1e-4);

  // A cut inside a domain (the same domain on both sides) grades from both
  // sides and encloses nothing.
  MeshRequest with_cut = SquareAt(1, 0.1);
  with_cut.points.push_back({0.5, 0.5, 0});
  with_cut.points.push_back({0.5005, 0.5, 0});
  with_cut.segments.push_back({4, 5, 1, 1});
  const double with_one_side = Estimate(SquareWithShortSegment(5e-4, 0.1)).elements;
  EXPECT_DOUBLE_EQ(Estimate(with_cut).area, 1.0);
  EXPECT_NEAR(Estimate(with_cut).elements - plain, 2 * (with_one_side - plain), 1e-6);
}

TEST(ElementEstimateTest, AChainOfShortSegmentsCostsItsStripsNotADiscPerSegment) {
  // A circle drawn with ever more segments: each one costs a bounded number
  // of elements, so twice the segments cost about twice the grading.
  auto graded_in_circle = [](int segments, double size) {
    MeshRequest request = Loop(test::RegularPolygon(segments, 1.0), 1, 0);
    request.target_size = size;
    return Estimate(request).elements - kTrianglesPerSquareSizeForTest * 3.14159265 / (size * size);
  };
  const double with_1000 = graded_in_circle(1000, 0.5);
  const double with_2000 = graded_in_circle(2000, 0.5);
  EXPECT_GT(with_1000, 1000 * 8.0);
  EXPECT_LT(with_2000, 2000 * 15.0);
  // (A disc per segment grows with the logarithm of the size over the
  // segment's length: 2.5 times for twice the segments.)
  EXPECT_NEAR(with_2000 / with_1000, 2.0, 0.05);

  // The same circle as a hole: the domain round it also has the disc the
  // grading fills outside the whole loop, once, for its reflex corners.
  MeshRequest around_hole = Loop(Square(-2, -2, 4), 1, 0);
  test::AddLoop(&around_hole, test::RegularPolygon(2000, 1.0), 0, 1);
  around_hole.target_size = 0.1;
  const double around = Estimate(around_hole).elements -
                        kTrianglesPerSquareSizeForTest * (16 - 3.14159265) / (0.1 * 0.1);
  const double inside = graded_in_circle(2000, 0.1);
  EXPECT_GT(around, inside + 100);
  EXPECT_LT(around, inside + 1000);
}

std::string CheckLine(const MeshRequest& request) {
  const std::optional<StageRefusal> refusal =
      CheckElementEstimate(request, FlatPlanePoints(request.points));
  return refusal.has_value() ? refusal->line : std::string();
}

TEST(ElementEstimateTest, RefusesWhatExceedsTheLimitWithOneLine) {
  MeshRequest wall = Loop({{0, 0, 0}, {100, 0, 0}, {100, 30, 0}, {0, 30, 0}}, 1, 0);
  wall.target_size = 0.001;
  EXPECT_EQ(CheckLine(wall),
            "[meshing] BuildPlanarMesh: request asks for about 6.93e+09 elements (3000 m\xC2\xB2 "
            "at target size 0.001 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too "
            "large; returning empty");
  // The same wall in the unit meant is small.
  wall.target_size = 1.0;
  EXPECT_EQ(CheckLine(wall), "");

  // A unit square of a million quads (two million triangles counted) is
  // served; at half its size it is not.
  EXPECT_EQ(CheckLine(SquareAt(1, 0.001)), "");
  EXPECT_EQ(CheckLine(SquareAt(1, 0.0005)),
            "[meshing] BuildPlanarMesh: request asks for about 9.24e+06 elements (1 m\xC2\xB2 at "
            "target size 0.0005 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too "
            "large; returning empty");

  // A domain size alone can make a request too large, and is named.
  MeshRequest fine_domain = SquareAt(1, 0.1);
  fine_domain.domain_target_sizes = {1e-4};
  EXPECT_EQ(CheckLine(fine_domain),
            "[meshing] BuildPlanarMesh: request asks for about 2.31e+08 elements (1 m\xC2\xB2 at "
            "target size 0.0001 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too "
            "large; returning empty");
}

}  // namespace
}  // namespace mesh

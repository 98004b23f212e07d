#include "planar/boundary_checks.h"

#include <cmath>
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
using test::Reversed;
using test::Square;

const char kAreaLine[] =
    "[meshing] BuildPlanarMesh: boundary loops enclose (near-)zero area (collinear, a "
    "slit, or openings consuming the outline) \xE2\x80\x94 refusing as degenerate; "
    "returning empty";

std::string CrossingLine(const char* i, const char* j) {
  return std::string("[meshing] BuildPlanarMesh: boundary self-intersects (segments ") + i +
         " and " + j + " cross) \xE2\x80\x94 refusing as degenerate; returning empty";
}

// Runs one check and returns its line, or "" when it passed silently.
template <typename Check>
std::string LineOf(Check check) {
  const std::optional<StageRefusal> refusal = check();
  return refusal.has_value() ? refusal->line : std::string();
}

TEST(EnclosedAreaTest, AreaVectorAndRefusals) {
  MeshRequest outline_with_opening = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&outline_with_opening, Reversed(Square(0.5, 0.5, 1)), 1, 0);
  MeshRequest cancelling = Loop(Square(0, 0, 1), 1, 0);
  AddLoop(&cancelling, Reversed(Square(3, 0, 1)), 1, 0);
  MeshRequest slit;
  slit.points = {{0, 0, 0}, {1, 1, 1}, {5, 0, 0}};
  slit.segments = {{0, 1, 1, 0}, {1, 0, 1, 0}};
  // A slit away from a real outline: the total area is the outline's, but
  // the slit's own piece of the boundary encloses nothing.
  MeshRequest slit_beside_outline = Loop(Square(0, 0, 1), 1, 0);
  slit_beside_outline.points.push_back({5, 0, 0});
  slit_beside_outline.points.push_back({6, 0, 0});
  slit_beside_outline.segments.push_back({4, 5, 1, 0});
  slit_beside_outline.segments.push_back({5, 4, 1, 0});
  // Only segments with domain 0 on their right count, so this outline
  // (its domain on the right) has no outer segment at all.
  MeshRequest no_outer = Loop(Square(0, 0, 1), 0, 1);
  no_outer.segments[1].right_domain = 2;
  struct {
    const char* name;
    MeshRequest request;
    Point3 area;
    bool refused;
  } const cases[] = {
      {"unit square", Loop(Square(0, 0, 1), 1, 0), {0, 0, 2}, false},
      {"2 x 2 outline around a 1 x 1 opening", outline_with_opening, {0, 0, 6}, false},
      {"clockwise unit square", Loop(Reversed(Square(0, 0, 1)), 1, 0), {0, 0, -2}, false},
      {"slit", slit, {0, 0, 0}, true},
      {"collinear loop", Loop({{0, 0, 0}, {1, 2, 3}, {2, 4, 6}}, 1, 0), {0, 0, 0}, true},
      {"outline and equal opening cancel", cancelling, {0, 0, 0}, true},
      {"slit beside an outline", slit_beside_outline, {0, 0, 2}, true},
      {"no outer segments", no_outer, {0, 0, 0}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Point3 area{9, 9, 9};
    const std::string line =
        LineOf([&] { return CheckEnclosedArea(c.request, &area); });
    EXPECT_EQ(line, c.refused ? kAreaLine : "");
    EXPECT_EQ(area.x, c.area.x);
    EXPECT_EQ(area.y, c.area.y);
    EXPECT_EQ(area.z, c.area.z);
  }
}

// The threshold scales with the outline's box, so a tiny square far from the
// origin passes, while a sliver whose area is negligible next to its box is
// refused.
TEST(EnclosedAreaTest, ThresholdIsRelativeToTheOutline) {
  Point3 area;
  EXPECT_EQ(LineOf([&] {
              return CheckEnclosedArea(Loop(Square(1e6, 1e6, 1e-4), 1, 0), &area);
            }),
            "");
  EXPECT_EQ(LineOf([&] {
              return CheckEnclosedArea(Loop({{0, 0, 0}, {1000, 0, 0}, {500, 1e-7, 0}}, 1, 0),
                                       &area);
            }),
            kAreaLine);
}

TEST(SegmentCapTest, TwoThousandPassOneMoreIsRefused) {
  EXPECT_EQ(LineOf([] { return CheckSegmentCap(2000); }), "");
  EXPECT_EQ(LineOf([] { return CheckSegmentCap(2001); }),
            "[meshing] BuildPlanarMesh: boundary has 2001 segments (cap 2000) "
            "\xE2\x80\x94 refusing as degenerate; returning empty");
}

TEST(PlaneExtentTest, RegionsWiderThanTheMesherCanTakeAreRefused) {
  auto line = [](std::vector<PlanePoint> points) {
    return LineOf([&] { return CheckPlaneExtent(points); });
  };
  // A diagonal of exactly the limit passes; any point, used or not, counts.
  const double side = kMaxPlaneExtent / std::sqrt(2.0);
  EXPECT_EQ(line({{0, 0}, {side, 0}, {side, side}}), "");
  EXPECT_EQ(line({{-5e8, 0}, {5e8, 0}}), "");
  EXPECT_EQ(line({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {1.1e9, 0}}),
            "[meshing] BuildPlanarMesh: region spans 1.1e+09 m in the meshing plane, more "
            "than the 1e+09 m the mesher can handle \xE2\x80\x94 refusing as degenerate; "
            "returning empty");
  // A span beyond the largest double is infinite, and refused too.
  EXPECT_NE(line({{-1.7e308, 0}, {1.7e308, 0}}).find("spans inf m"), std::string::npos);
}

TEST(CoordinateResolutionTest, RegionsTooFarOutForTheirElementsAreRefused) {
  auto line = [](const MeshRequest& request) {
    const std::vector<PlanePoint> plane = FlatPlanePoints(request.points);
    return LineOf([&] { return CheckCoordinateResolution(request, plane); });
  };
  // The plane points come from the request's own x and y; only their
  // spread matters, so a square shifted far out keeps a 1 m span.
  auto far_square = [](double offset, double target_size) {
    MeshRequest r = Loop(Square(offset, offset, 1), 1, 0);
    r.target_size = target_size;
    return r;
  };
  // At 1e15 m neighbouring doubles are 0.125 m apart.
  EXPECT_EQ(line(far_square(1e15, 0.1)),
            "[meshing] BuildPlanarMesh: coordinates as large as 1e+15 m round by up to "
            "14.2109 m, too coarse for elements no longer than 0.2 m (target size 0.1 m) "
            "\xE2\x80\x94 refusing as degenerate; returning empty");
  // A building at UTM northings meshed at a millimetre is far inside.
  EXPECT_EQ(line(far_square(9876543.5, 0.001)), "");
  // Near the origin nothing the snap tolerance lets through is refused.
  EXPECT_EQ(line(far_square(0, 1e-9)), "");
  // A small region is meshed with elements no larger than itself however
  // big the target size: its span, not the size, is the measure.
  MeshRequest small_far = Loop(Square(1e15, 1e15, 40), 1, 0);
  small_far.target_size = 1e6;
  EXPECT_NE(line(small_far).find("no longer than 56.5685 m (target size 1e+06 m)"),
            std::string::npos);
  // A coarse domain lets the elements grow past what the rounding blurs.
  MeshRequest coarse_domain = far_square(1e12, 1e-3);
  EXPECT_NE(line(coarse_domain), "");
  coarse_domain.domain_target_sizes = {0.5};
  EXPECT_EQ(line(coarse_domain), "");
}

TEST(PlaneSegmentLengthTest, SegmentsThatCollapseInThePlaneAreRefused) {
  // As a unit square seen along x: the segments along x have no length left.
  const std::vector<BoundarySegment> segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0},
                                                 {3, 0, 1, 0}};
  const std::vector<PlanePoint> edge_on = {{0, 0}, {0, 0}, {1, 0}, {1, 0}};
  EXPECT_EQ(LineOf([&] { return CheckPlaneSegmentLengths(segments, edge_on, 1e-6); }),
            "[meshing] BuildPlanarMesh: boundary segment 0 (points 0 and 1) is 0 m long in the "
            "meshing plane, under the 1e-06 m snap tolerance \xE2\x80\x94 refusing as "
            "degenerate; returning empty");
  // Exactly the tolerance passes.
  const std::vector<PlanePoint> at_tolerance = {{0, 0}, {1e-6, 0}, {1, 1}, {0, 1}};
  EXPECT_EQ(LineOf([&] { return CheckPlaneSegmentLengths(segments, at_tolerance, 1e-6); }), "");
}

TEST(SelfIntersectionTest, OnlyProperCrossingsAreReported) {
  struct {
    const char* name;
    std::vector<PlanePoint> points;
    std::vector<BoundarySegment> segments;
    std::string line;
  } const cases[] = {
      {"X", {{0, 0}, {1, 1}, {0, 1}, {1, 0}}, {{0, 1, 1, 0}, {2, 3, 1, 0}},
       CrossingLine("0", "1")},
      {"T-junction", {{0, 0}, {2, 0}, {1, 0}, {1, 1}}, {{0, 1, 1, 0}, {2, 3, 1, 0}}, ""},
      {"T-junction overshooting by 1e-15, no tolerance",
       {{0, 0}, {2, 0}, {1, -1e-15}, {1, 1}},
       {{0, 1, 1, 0}, {2, 3, 1, 0}},
       CrossingLine("0", "1")},
      {"collinear overlap", {{0, 0}, {2, 0}, {1, 0}, {3, 0}}, {{0, 1, 1, 0}, {2, 3, 1, 0}},
       ""},
      {"different indices at one position",
       {{0, 0}, {1, 1}, {1, 1}, {2, 0}},
       {{0, 1, 1, 0}, {2, 3, 1, 0}},
       ""},
      // Shared index 0: never compared, whatever the other ends do.
      {"shared endpoint", {{0, 0}, {2, 2}, {2, 0}}, {{0, 1, 1, 0}, {0, 2, 1, 0}}, ""},
      // Pairs (0, 3) and (1, 2) cross: the lowest first segment wins.
      {"several crossings",
       {{0, 0}, {4, 0}, {0, 2}, {4, 2}, {3, 1}, {3, 3}, {1, -1}, {1, 1}},
       {{0, 1, 1, 0}, {2, 3, 1, 0}, {4, 5, 1, 0}, {6, 7, 1, 0}},
       CrossingLine("0", "3")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LineOf([&] { return CheckNoSelfIntersection(c.segments, c.points); }),
              c.line);
  }
}

std::string OpenLine(const char* domain, const char* point) {
  return std::string("[meshing] BuildPlanarMesh: domain ") + domain +
         " boundary is not closed at point " + point +
         " \xE2\x80\x94 refusing as degenerate; returning empty";
}

// Layouts on a 2 x 1 rectangle: corners 0 (0,0), 1 (1,0), 2 (2,0), 3 (2,1),
// 4 (1,1), 5 (0,1); 6 and 7 lie inside the left half.
TEST(DomainClosureTest, EveryDomainMustBeAClosedLoop) {
  const std::vector<BoundarySegment> two_domains = {
      {0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
      {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  std::vector<BoundarySegment> with_inner_cut = two_domains;
  with_inner_cut.push_back({6, 7, 1, 1});
  std::vector<BoundarySegment> with_hole = two_domains;
  with_hole.insert(with_hole.end(), {{6, 8, 1, 0}, {8, 7, 1, 0}, {7, 6, 1, 0}});
  std::vector<BoundarySegment> lower_domain_open_later = two_domains;
  // Domain 2 is open at points 2 and 3, domain 3 at points 0, 2, 3 and 5.
  lower_domain_open_later[2].left_domain = 3;
  lower_domain_open_later.push_back({0, 5, 3, 0});
  std::vector<BoundarySegment> ignores_domains_below_1 = two_domains;
  ignores_domains_below_1.push_back({6, 7, -2, 0});
  struct {
    const char* name;
    std::vector<BoundarySegment> segments;
    std::string line;
  } const cases[] = {
      {"unit square, first segment with domain 0 on both sides",
       {{0, 1, 0, 0}, {1, 4, 1, 0}, {4, 5, 1, 0}, {5, 0, 1, 0}},
       OpenLine("1", "0")},
      {"two domains sharing an inner segment", two_domains, ""},
      {"inner segment with one domain on both sides", with_inner_cut, ""},
      {"outline with a hole", with_hole, ""},
      {"lowest domain, then lowest point", lower_domain_open_later, OpenLine("2", "2")},
      {"domain numbers below 1", ignores_domains_below_1, ""},
      {"a doubled segment", {{0, 1, 1, 0}, {1, 4, 1, 0}, {4, 0, 1, 0}, {4, 0, 1, 0}},
       OpenLine("1", "0")},
      {"no segments", {}, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(LineOf([&] { return CheckDomainBoundariesClosed(c.segments); }), c.line);
  }
}

std::string OuterSideLine(const char* domain, const char* area) {
  return std::string("[meshing] BuildPlanarMesh: domain ") + domain +
         " lies on the outer side of its boundary (signed area " + area +
         " in the meshing plane) \xE2\x80\x94 refusing as degenerate; returning empty";
}

std::string NoAreaLine(const char* domain, const char* area = "0") {
  return std::string("[meshing] BuildPlanarMesh: domain ") + domain +
         " encloses (near-)zero area (signed area " + area +
         " in the meshing plane) \xE2\x80\x94 refusing as degenerate; returning empty";
}

TEST(DomainOrientationTest, DomainsMustLieInsideTheirBoundary) {
  MeshRequest with_hole = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&with_hole, Reversed(Square(0.5, 0.5, 1)), 1, 0);
  // Domain 2 fills the hole of domain 1, on the right of its segments.
  MeshRequest filled_hole = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&filled_hole, Reversed(Square(0.5, 0.5, 1)), 1, 2);
  MeshRequest inner_only_domain = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&inner_only_domain, {{0.5, 0.5, 0}, {1.5, 1.5, 0}}, 3, 3);
  // Domains 2 and 3 both lie outside their loops; 2 is named.
  MeshRequest two_outside = Loop(Reversed(Square(0, 0, 1)), 3, 0);
  AddLoop(&two_outside, Reversed(Square(5, 0, 2)), 2, 0);
  AddLoop(&two_outside, Square(10, 0, 1), 1, 0);
  struct {
    const char* name;
    MeshRequest request;
    std::string line;
  } const cases[] = {
      {"counter-clockwise, domain on the left", Loop(Square(0, 0, 1), 1, 0), ""},
      {"clockwise, domain on the left", Loop(Reversed(Square(0, 0, 1)), 1, 0),
       OuterSideLine("1", "-1")},
      {"counter-clockwise, domain on the right", Loop(Square(0, 0, 1), 0, 1),
       OuterSideLine("1", "-1")},
      {"clockwise, domain on the right", Loop(Reversed(Square(0, 0, 1)), 0, 1), ""},
      {"outline with a hole", with_hole, ""},
      {"hole filled by a second domain", filled_hole, ""},
      // Netgen would mesh outwards from both sides of the segment forever.
      {"domain with only inner segments", inner_only_domain, NoAreaLine("3")},
      {"domain on both sides of its outline", Loop(Square(0, 0, 1), 1, 1), NoAreaLine("1")},
      // A 1 m x 0.1 nm sliver, as a square becomes in a plane nearly at right
      // angles to its own; 1 m x 1 mm is thin but fine.
      {"sliver", Loop({{0, 0, 0}, {1, 0, 0}, {1, 1e-10, 0}, {0, 1e-10, 0}}, 1, 0),
       NoAreaLine("1", "1e-10")},
      {"thin strip", Loop({{0, 0, 0}, {1, 0, 0}, {1, 1e-3, 0}, {0, 1e-3, 0}}, 1, 0), ""},
      {"lowest domain first", two_outside, OuterSideLine("2", "-4")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const std::vector<PlanePoint> plane_points = FlatPlanePoints(c.request.points);
    EXPECT_EQ(LineOf([&] {
                return CheckDomainOrientation(c.request.segments, plane_points);
              }),
              c.line);
  }
}

}  // namespace
}  // namespace mesh

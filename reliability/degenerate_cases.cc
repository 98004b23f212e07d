#include "reliability/degenerate_cases.h"

#include <cmath>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include "testing/loops.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Corners;
using test::RegularPolygon;

MeshRequest Loop(const Corners& corners, double target_size, int32_t left = 1,
                 int32_t right = 0) {
  MeshRequest request;
  AddLoop(&request, corners, left, right);
  request.target_size = target_size;
  return request;
}

const Corners kUnitSquare = test::Square(0, 0, 1);

// Adds segments between existing points, in order, as one closed loop.
void AddIndexLoop(MeshRequest* request, const std::vector<int32_t>& indices, int32_t left,
                  int32_t right) {
  for (size_t i = 0; i < indices.size(); ++i) {
    request->segments.push_back({indices[i], indices[(i + 1) % indices.size()], left, right});
  }
}

int32_t AddPoint(MeshRequest* request, double x, double y, double z = 0) {
  request->points.push_back({x, y, z});
  return static_cast<int32_t>(request->points.size() - 1);
}

int32_t AddInteriorPoint(MeshRequest* request, double x, double y) {
  const int32_t index = AddPoint(request, x, y);
  request->interior_only.push_back(index);
  return index;
}

double Ulp(double x) { return std::nextafter(x, INFINITY) - x; }

const DegenerateCase kCases[] = {
    // --- Near-collinear points, 1 ulp off a line ---------------------------
    {"SliverTriangleOneUlpHigh",
     [] { return Loop({{0, 0}, {1, 0}, {0.5, Ulp(0.0)}}, 0.25); }},
    {"SliverTriangleOneUlpAtScale1000",
     [] { return Loop({{0, 0}, {1000, 0}, {500, Ulp(0.0)}}, 100); }},
    {"SquareWithEdgePointOneUlpOut",
     [] { return Loop({{0, 0}, {1, 0}, {1, 1}, {0.5, 1 + Ulp(1.0)}, {0, 1}}, 0.25); }},
    {"SquareWithEdgePointOneUlpIn",
     [] { return Loop({{0, 0}, {1, 0}, {1, 1}, {0.5, std::nextafter(1.0, 0.0)}, {0, 1}}, 0.25); }},
    {"SquareWithManyEdgePointsOneUlpOff",
     [] {
       Corners corners = {{0, 0}, {1, 0}, {1, 1}};
       for (int i = 1; i < 20; ++i) {
         const double y = i % 2 ? 1 + Ulp(1.0) : std::nextafter(1.0, 0.0);
         corners.push_back({1 - i / 20.0, y});
       }
       corners.push_back({0, 1});
       return Loop(corners, 0.2);
     }},
    {"CollinearOutlineWithinOneUlp",
     [] { return Loop({{0, 0}, {1, Ulp(0.0)}, {2, 0}, {1, -Ulp(0.0)}}, 0.25); }},

    // --- Edges of 1e-12 of the bounding box --------------------------------
    {"OutlineEdgeOf1e-12",
     [] { return Loop({{0, 0}, {1, 0}, {1, 1}, {1e-12, 1}, {0, 1}}, 0.25); }},
    {"OutlineEdgeOf1e-12AtScale1000",
     [] { return Loop({{0, 0}, {1000, 0}, {1000, 1000}, {1e-9, 1000}, {0, 1000}}, 100); }},
    {"InteriorPoint1e-12FromCorner",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddInteriorPoint(&r, 1e-12, 1e-12);
       return r;
     }},
    {"InteriorPoint1e-12FromEdge",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddInteriorPoint(&r, 0.5, 1e-12);
       return r;
     }},
    {"NotchTip1e-12FromOppositeEdge",
     [] {
       // A wedge cut down from the top whose tip stops 1e-12 above the
       // bottom edge: two boundary parts nearly meet.
       return Loop({{0, 0}, {1, 0}, {1, 1}, {0.55, 1}, {0.5, 1e-12}, {0.45, 1}, {0, 1}}, 0.25);
     }},
    {"TwoPointsOfTheOutline1e-12Apart",
     [] {
       // The outline passes twice by the same spot, 1e-12 apart.
       return Loop({{0, 0}, {2, 0}, {2, 2}, {1, 2}, {1, 1}, {1 + 1e-12, 1}, {1.5, 1.5},
                    {1.5, 0.5}, {0.5, 0.5}, {0.5, 2}, {0, 2}},
                   0.25);
     }},

    // --- Coordinates of 1e15 ----------------------------------------------
    {"UnitSquareAt1e15",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       for (Point3& p : r.points) {
         p.x += 1e15;
         p.y -= 1e15;
         p.z = 1e15;
       }
       return r;
     }},
    {"SquareOfSide1e15",
     [] { return Loop({{0, 0}, {1e15, 0}, {1e15, 1e15}, {0, 1e15}}, 2.5e14); }},
    {"SquareOfSide1e15FarOut",
     [] { return Loop({{1e15, 1e15}, {2e15, 1e15}, {2e15, 2e15}, {1e15, 2e15}}, 2.5e14); }},
    {"NormalAlongOneSideOfTheSquare",
     [] {
       // The given normal lies nearly in the square's plane, so two sides
       // shrink to 1e-9 m in the meshing plane.
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.plane_normal = {1, 0, 1e-9};
       return r;
     }},
    {"NormalAlongTheSquaresDiagonal",
     [] {
       // No side shrinks, but the whole square squashes to a sliver.
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.plane_normal = {1, 1, 1e-9};
       return r;
     }},
    {"SquareOfSide1e12WithSmallElements",
     [] { return Loop({{0, 0}, {1e12, 0}, {1e12, 1e12}, {0, 1e12}}, 1e10); }},
    {"SquareOfSide1e40",
     [] { return Loop({{0, 0}, {1e40, 0}, {1e40, 1e40}, {0, 1e40}}, 2.5e39); }},
    {"UnitSquareWithAnUnusedPointAt1e300",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddPoint(&r, 1e300, 0);
       return r;
     }},
    {"SquareOfSide1e-15",
     [] { return Loop({{0, 0}, {1e-15, 0}, {1e-15, 1e-15}, {0, 1e-15}}, 2.5e-16); }},
    {"TiltedSquareAt1e15WithNormal",
     [] {
       MeshRequest r;
       r.points = {{1e15, 0, 0}, {1e15 + 1, 0, 1}, {1e15 + 1, 1, 1}, {1e15, 1, 0}};
       AddIndexLoop(&r, {0, 1, 2, 3}, 1, 0);
       r.plane_normal = {-1, 0, 1};
       r.target_size = 0.3;
       return r;
     }},

    // --- Holes touching the outline at one point ---------------------------
    {"HoleVertexOnOutlineEdge",
     [] {
       MeshRequest r = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 0.25);
       AddLoop(&r, {{1, 0}, {1.5, 0.5}, {1, 1}, {0.5, 0.5}}, 0, 1);
       return r;
     }},
    {"HoleSharingAnOutlineCornerIndex",
     [] {
       MeshRequest r = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 0.25);
       const int32_t a = AddPoint(&r, 1, 0.5);
       const int32_t b = AddPoint(&r, 1, 1);
       const int32_t c = AddPoint(&r, 0.5, 1);
       AddIndexLoop(&r, {0, a, b, c}, 0, 1);
       return r;
     }},
    {"HoleCornerAtOutlineCornerOtherIndex",
     [] {
       MeshRequest r = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 0.25);
       AddLoop(&r, {{0, 0}, {1, 0.5}, {1, 1}, {0.5, 1}}, 0, 1);
       return r;
     }},
    {"TwoHolesTouchingEachOther",
     [] {
       MeshRequest r = Loop({{0, 0}, {3, 0}, {3, 2}, {0, 2}}, 0.25);
       AddLoop(&r, {{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}}, 0, 1);
       AddLoop(&r, {{1.5, 1}, {2.5, 0.5}, {2.5, 1.5}}, 0, 1);
       return r;
     }},

    // --- An outline touching itself ----------------------------------------
    {"FigureEightThroughOneIndex",
     [] {
       MeshRequest r;
       for (const Point3& p : Corners{{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {0, 1}}) {
         AddPoint(&r, p.x, p.y);
       }
       // Both squares meet at point 2, (1, 1).
       AddIndexLoop(&r, {0, 1, 2, 3, 4, 5, 2, 6}, 1, 0);
       r.target_size = 0.25;
       return r;
     }},
    {"FigureEightThroughTwoIndicesAtOneSpot",
     [] {
       return Loop({{0, 0}, {1, 0}, {1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}, {0, 1}}, 0.25);
     }},
    {"OutlineVertexOnItsOwnEdge",
     [] {
       // A wedge cut down from the top whose tip lands on the bottom edge.
       return Loop({{0, 0}, {1, 0}, {1, 1}, {0.55, 1}, {0.5, 0}, {0.45, 1}, {0, 1}}, 0.25);
     }},
    {"OutlineRunningBackAlongItself",
     [] { return Loop({{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 0.5}, {1, 1}, {0, 1}}, 0.25); }},

    // --- Duplicated points and segments -------------------------------------
    {"UnusedDuplicatePoint",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddPoint(&r, 1, 1);
       return r;
     }},
    {"DuplicatePointOnTheOutline",
     [] { return Loop({{0, 0}, {1, 0}, {1, 0}, {1, 1}, {0, 1}}, 0.25); }},
    {"OutlineClosingOnADuplicateOfItsFirstPoint",
     [] {
       MeshRequest r;
       for (const Point3& p : Corners{{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}) {
         AddPoint(&r, p.x, p.y);
       }
       r.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 4, 1, 0}};
       r.target_size = 0.25;
       return r;
     }},
    {"DuplicatedSegment",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.segments.push_back(r.segments[1]);
       return r;
     }},
    {"DuplicatedOutline",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddIndexLoop(&r, {0, 1, 2, 3}, 1, 0);
       return r;
     }},
    {"SegmentAndItsReverse",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.segments.push_back({2, 1, 0, 1});
       return r;
     }},
    {"SecondOutlineOverTheFirstWithOtherIndices",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddLoop(&r, kUnitSquare, 2, 0);
       return r;
     }},

    // --- An interior-only point on a boundary segment ---------------------
    {"InteriorPointMidEdge",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddInteriorPoint(&r, 0.5, 0);
       return r;
     }},
    {"InteriorPointOneUlpInsideEdge",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddInteriorPoint(&r, 0.3, Ulp(0.0));
       return r;
     }},
    {"InteriorPointOnACorner",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       AddInteriorPoint(&r, 1, 1);
       return r;
     }},
    {"OutlineCornerMarkedInteriorOnly",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.interior_only = {2};
       return r;
     }},
    {"InteriorPointOnTheSharedEdgeOfTwoDomains",
     [] {
       MeshRequest r;
       r.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
       r.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                     {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
       r.target_size = 0.25;
       AddInteriorPoint(&r, 1, 0.4);
       return r;
     }},

    // --- Open domain boundaries --------------------------------------------
    {"OutlineWithASegmentMissing",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.segments.pop_back();
       return r;
     }},
    {"OutlineWithOneSegmentReversed",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       std::swap(r.segments[1].point_a, r.segments[1].point_b);
       return r;
     }},
    {"OutlineWithOneSideSwapped",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       std::swap(r.segments[1].left_domain, r.segments[1].right_domain);
       return r;
     }},
    {"OutlineWithAGeometricGap",
     [] {
       MeshRequest r = Loop({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 1e-6}}, 0.25);
       r.segments.pop_back();
       return r;
     }},
    {"TwoDomainsWithoutTheirSharedEdge",
     [] {
       MeshRequest r;
       r.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
       r.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0},
                     {3, 4, 2, 0}, {4, 5, 1, 0}, {5, 0, 1, 0}};
       r.target_size = 0.25;
       return r;
     }},
    {"SharedEdgeNamingOnlyOneDomain",
     [] {
       MeshRequest r;
       r.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
       r.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                     {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 0}};
       r.target_size = 0.25;
       return r;
     }},
    {"DomainOutsideItsLoop",
     [] { return Loop(kUnitSquare, 0.25, 0, 1); }},
    {"HoleLoopRunTheWrongWay",
     [] {
       // The hole says domain 1 lies inside it, the outline that the ring
       // around it is domain 1 too: closed and positive, but contradictory.
       MeshRequest r = Loop({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 0.25);
       AddLoop(&r, {{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}}, 1, 0);
       return r;
     }},
    {"SlitBesideTheOutline",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       const int32_t a = AddPoint(&r, 2, 0);
       const int32_t b = AddPoint(&r, 3, 0);
       r.segments.push_back({a, b, 1, 0});
       r.segments.push_back({b, a, 1, 0});
       return r;
     }},
    {"SlitsHiddenByAHoleThatTurnsThePlane",
     [] {
       // Found by the mesh-job fuzzer: an "outline" of two slits from the
       // origin (points 0 and 2 lie 1e-280 apart) and a clockwise hole,
       // whose area alone sets the plane's normal, so the hole passes for an
       // outline and the slits for extra boundary of its domain.
       MeshRequest r;
       for (const Point3& p : Corners{{0, 8.8e-280}, {2, 0}, {0, 3.5e-310}, {0, 2.03}}) {
         AddPoint(&r, p.x, p.y);
       }
       AddIndexLoop(&r, {0, 1, 2, 3}, 1, 0);
       AddLoop(&r, {{0.5, 0.5}, {0.5, 1.5}, {1.5, 1.5}, {1.5, 0.5}}, 1, 0);
       r.target_size = 0.4;
       return r;
     }},
    {"DanglingSegmentIntoTheDomain",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       const int32_t tip = AddPoint(&r, 0.5, 0.5);
       r.segments.push_back({0, tip, 1, 0});
       return r;
     }},
    {"DanglingSegmentInsideOneDomain",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       const int32_t tip = AddPoint(&r, 0.5, 0.5);
       r.segments.push_back({0, tip, 1, 1});
       return r;
     }},
    {"FreeSegmentInsideTheDomain",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       const int32_t a = AddPoint(&r, 0.3, 0.5);
       const int32_t b = AddPoint(&r, 0.7, 0.5);
       r.segments.push_back({a, b, 1, 1});
       return r;
     }},
    {"NoDomainOnEitherSide",
     [] { return Loop(kUnitSquare, 0.25, 0, 0); }},
    {"NoSegmentsAtAll",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25);
       r.segments.clear();
       return r;
     }},
    {"DomainOnBothSidesOfItsOutline",
     [] { return Loop(kUnitSquare, 0.25, 1, 1); }},

    // --- Domains with negative numbers --------------------------------------
    {"NegativeDomainInside",
     [] { return Loop(kUnitSquare, 0.25, -1, 0); }},
    {"NegativeDomainOutside",
     [] { return Loop(kUnitSquare, 0.25, 1, -1); }},
    {"NegativeAndPositiveDomainsSideBySide",
     [] {
       MeshRequest r;
       r.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
       r.segments = {{0, 1, -2, 0}, {1, 2, 3, 0}, {2, 3, 3, 0}, {3, 4, 3, 0},
                     {4, 5, -2, 0}, {5, 0, -2, 0}, {1, 4, -2, 3}};
       r.target_size = 0.25;
       return r;
     }},
    {"MinimumInt32Domain",
     [] { return Loop(kUnitSquare, 0.25, std::numeric_limits<int32_t>::min(), 0); }},
    {"MaximumInt32Domain",
     [] { return Loop(kUnitSquare, 0.25, std::numeric_limits<int32_t>::max(), 0); }},
    {"LargeDomainWithItsOwnSize",
     [] {
       MeshRequest r = Loop(kUnitSquare, 0.25, 1000, 0);
       r.domain_target_sizes.assign(1000, 0.0);
       r.domain_target_sizes[999] = 0.1;
       return r;
     }},

    // --- 2000 tiny segments ------------------------------------------------
    {"Circle2000TinySegments",
     [] { return Loop(RegularPolygon(2000, 1e-3), 2e-4); }, kLongBoundaryDeadlineMs},
    {"Circle2000SegmentsJustOverTheSnapTolerance",
     [] {
       // Segments of about 3.1e-9, over the 1e-9 floor, under a target of
       // 1e-3 that is 300 times the whole circle.
       return Loop(RegularPolygon(2000, 1e-6), 1e-3);
     }, kLongBoundaryDeadlineMs},
    {"SquareEdgeSplitInto1997TinySegments",
     [] {
       // 2000 segments in all; the tiny ones crowd one corner.
       Corners corners;
       for (int i = 0; i < 1997; ++i) corners.push_back({i * 1e-4, 0});
       corners.push_back({1, 0});
       corners.push_back({1, 1});
       corners.push_back({0, 1});
       return Loop(corners, 0.25);
     }, kLongBoundaryDeadlineMs},
    {"Zigzag2000Segments",
     [] {
       Corners corners;
       for (int i = 0; i < 999; ++i) corners.push_back({i * 1e-3, (i % 2) * 1e-3});
       for (int i = 998; i >= 0; --i) corners.push_back({i * 1e-3, 0.1 + (i % 2) * 1e-3});
       corners.push_back({-1e-3, 0.05});
       corners.push_back({-1e-3, 0.04});
       return Loop(corners, 0.02);
     }, kLongBoundaryDeadlineMs},
    {"Circle2001Segments",
     [] { return Loop(RegularPolygon(2001, 1), 0.1); }},
};

}  // namespace

const std::vector<DegenerateCase>& DegenerateCases() {
  static const std::vector<DegenerateCase> cases(std::begin(kCases), std::end(kCases));
  return cases;
}

}  // namespace mesh

// Degenerate geometry through the worker binary, one request per worker
// with a 10 s deadline each: every case must end in an answer that holds
// every answer invariant, or in a failure frame with its diagnostic line.
// A hang, a crash or a wrong answer fails the case. The cases are the traps
// of planar meshing: near-collinear points, tiny edges, huge coordinates,
// boundaries that touch themselves, duplicates, interior points on the
// boundary, open and inside-out domains, odd domain numbers, and very many
// tiny segments.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/mesh_invariants.h"
#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/worker_contract.h"
#include "reliability/request_mix.h"
#include "testing/loops.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Corners;
using test::RegularPolygon;

constexpr int kDeadlineMs = 10000;
// Boundaries of about 2000 segments are work, not a hang: Netgen samples
// every segment 10,000 times to partition the boundary, and its quad front
// then places some 17,000 quads at about 1,000 a second, 10 to 25 s in all on
// a two-core machine, and twice that when the tests run side by side under
// the sanitizers. No check can shorten it, so these cases get a wider limit
// that still catches a hang.
constexpr int kLongBoundaryDeadlineMs = 120000;

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


struct Case {
  const char* name;
  std::function<MeshRequest()> make;
  int deadline_ms = kDeadlineMs;
};

// For test listings: the case's name, not its bytes.
void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

const Case kCases[] = {
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

struct Outcome {
  std::string kind;  // "answer", "refused" or what went wrong
  std::string detail;
  double seconds = 0;
  std::string frame;  // the answer as it came, header and payload
};

std::string LastLine(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == '\n') --end;
  const size_t newline = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(start, end - start);
}

// The diagnostic lines among everything the worker wrote to standard error.
std::string DiagnosticLines(const std::string& err) {
  std::string lines;
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(at, end - at);
    if (line.rfind("[meshing] ", 0) == 0) lines += line + "\n";
    at = end + 1;
  }
  return lines;
}

Outcome RunCase(const MeshRequest& request, int deadline_ms) {
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  TestProcess worker;
  Outcome outcome;
  if (!worker.Start(MESH_WORKER_PATH, {}, options)) {
    outcome.kind = "no worker";
    return outcome;
  }
  const auto start = std::chrono::steady_clock::now();
  worker.WriteInput(EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request)));
  const std::string header = worker.ReadOutput(kFrameHeaderSize, deadline_ms);
  std::string payload;
  if (header.size() == kFrameHeaderSize) {
    const FrameHeader decoded = DecodeFrameHeader(reinterpret_cast<const unsigned char*>(header.data()));
    const int left = deadline_ms - static_cast<int>(std::chrono::duration<double, std::milli>(
                                                       std::chrono::steady_clock::now() - start)
                                                       .count());
    payload = worker.ReadOutput(static_cast<size_t>(decoded.payload_length), left > 0 ? left : 0);
    if (!decoded.magic_ok || payload.size() != decoded.payload_length) {
      outcome.kind = "broken answer";
    } else if (decoded.kind == kKindFailure) {
      outcome.kind = "refused";
    } else {
      outcome.kind = "answer";
    }
  }
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (outcome.kind.empty()) {
    ExitStatus status;
    if (worker.Wait(0, &status) || worker.Wait(200, &status)) {
      outcome.kind = status.exited ? "exit " + std::to_string(status.code) + " without answer"
                                   : "killed by signal " + std::to_string(status.signal);
    } else {
      outcome.kind = "hang";
      worker.Kill();
    }
    outcome.detail = LastLine(worker.DrainError());
    return outcome;
  }
  outcome.frame = header + payload;
  worker.CloseInput();
  ExitStatus status;
  const bool ended = worker.Wait(10000, &status);
  const std::string err = worker.DrainError();
  if (!ended || !status.exited || status.code != 0) {
    outcome.kind += ", then no clean exit";
    if (!ended) worker.Kill();
  }
  if (outcome.kind == "refused") {
    outcome.detail = DiagnosticLines(err);
    const std::string reason = LastLine(outcome.detail);
    const std::string ending = "; returning empty";
    if (reason.size() < ending.size() ||
        reason.compare(reason.size() - ending.size(), ending.size(), ending) != 0) {
      outcome.kind = "refused without a diagnostic line";
    }
  } else if (outcome.kind == "answer") {
    PlanarComplexMesh answer;
    if (!DecodePlanarComplexMesh(payload.data(), payload.size(), &answer)) {
      outcome.kind = "undecodable answer";
    } else {
      const std::vector<std::string> problems = CheckMeshInvariants(request, answer);
      for (const std::string& problem : problems) outcome.detail += problem + "\n";
      if (!problems.empty()) outcome.kind = "answer breaking invariants";
      char counts[128];
      snprintf(counts, sizeof counts, "%zu vertices, %zu quads, %zu triangles",
               answer.vertices.size(), answer.quads.size(), answer.triangles.size());
      if (problems.empty()) outcome.detail = counts;
    }
  }
  return outcome;
}

class DegenerateGeometryTest : public ::testing::TestWithParam<Case> {};

TEST_P(DegenerateGeometryTest, AnswersOrRefusesWithinTheDeadline) {
  const Outcome outcome = RunCase(GetParam().make(), GetParam().deadline_ms);
  // One line per case, for the table of outcomes.
  std::string detail = outcome.detail;
  while (!detail.empty() && detail.back() == '\n') detail.pop_back();
  printf("[ outcome  ] %-44s %-8s %6.2fs  %s\n", GetParam().name, outcome.kind.c_str(),
         outcome.seconds, detail.c_str());
  RecordProperty("outcome", outcome.kind);
  RecordProperty("seconds", std::to_string(outcome.seconds));
  EXPECT_TRUE(outcome.kind == "answer" || outcome.kind == "refused")
      << outcome.kind << "\n" << outcome.detail;
  EXPECT_LT(outcome.seconds * 1000, GetParam().deadline_ms);
}

// Whatever a degenerate request did to the mesher (an exception, a pass
// given up, a refused build), the next request in the same worker gets
// exactly the answer a fresh worker gives it.
TEST(DegenerateGeometrySequenceTest, OneWorkerAnswersEveryCaseAsFreshOnesDo) {
  std::string input;
  std::string expected;
  for (const Case& c : kCases) {
    if (c.deadline_ms != kDeadlineMs) continue;  // the long ones are covered above
    const MeshRequest request = c.make();
    const Outcome fresh = RunCase(request, c.deadline_ms);
    ASSERT_FALSE(fresh.frame.empty()) << c.name << ": " << fresh.kind;
    input += EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request));
    expected += fresh.frame;
  }
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  const ProcessOutput run = RunProcess(MESH_WORKER_PATH, input, options, 120000);
  EXPECT_TRUE(run.status.exited && run.status.code == 0) << run.status.signal;
  EXPECT_EQ(run.out.size(), expected.size());
  EXPECT_TRUE(run.out == expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DegenerateGeometryTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace mesh

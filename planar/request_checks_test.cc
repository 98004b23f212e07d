#include "planar/request_checks.h"

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "testing/loops.h"

namespace mesh {
namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// The unit square with an extra point at its centre and one just above it,
// target size 1 (snap tolerance 1e-6).
MeshRequest SquareWithCentre() {
  MeshRequest request = test::Loop(test::Square(0, 0, 1), 1, 0);
  request.target_size = 1.0;
  request.points.push_back({0.5, 0.5, 0});
  request.points.push_back({0.5, 0.5, 1e-9});
  return request;
}

// Returns the one line written, or "" when the request passed silently.
std::string CheckLine(const MeshRequest& request) {
  const std::optional<StageRefusal> refusal = CheckRequest(request);
  return refusal.has_value() ? refusal->line : std::string();
}

struct RequestCase {
  const char* name;
  std::function<void(MeshRequest*)> edit;
  std::string line;  // empty: the request passes
};

TEST(CheckRequestTest, FirstFailingCheckDecidesTheLine) {
  const RequestCase cases[] = {
      {"unchanged", [](MeshRequest*) {}, ""},
      {"three points and size 1",
       [](MeshRequest* r) {
         r->points.resize(3);
         r->segments.clear();
       },
       ""},
      {"two points", [](MeshRequest* r) { r->points.resize(2); },
       "[meshing] BuildPlanarMesh: bad input (points=2, target_size=1); returning empty"},
      {"zero size", [](MeshRequest* r) { r->target_size = 0; },
       "[meshing] BuildPlanarMesh: bad input (points=6, target_size=0); returning empty"},
      {"negative size", [](MeshRequest* r) { r->target_size = -2.5; },
       "[meshing] BuildPlanarMesh: bad input (points=6, target_size=-2.5); returning empty"},
      {"NaN size, whatever else is wrong",
       [](MeshRequest* r) {
         r->target_size = kNaN;
         r->points[0].x = kNaN;
         r->segments[0].point_b = 99;
       },
       "[meshing] BuildPlanarMesh: bad input (points=6, target_size=nan); returning empty"},
      {"infinite size", [](MeshRequest* r) { r->target_size = kInf; },
       "[meshing] BuildPlanarMesh: bad input (points=6, target_size=inf); returning empty"},
      {"domain size before point",
       [](MeshRequest* r) {
         r->domain_target_sizes = {0.5, kNaN};
         r->points[2].y = kNaN;
       },
       "[meshing] BuildPlanarMesh: domain 1 target size is not finite (nan); returning "
       "empty"},
      {"infinite domain size",
       [](MeshRequest* r) { r->domain_target_sizes = {-kInf}; },
       "[meshing] BuildPlanarMesh: domain 0 target size is not finite (-inf); returning "
       "empty"},
      {"zero, negative and tiny domain sizes",
       [](MeshRequest* r) { r->domain_target_sizes = {0.0, -1.0, 1e-300}; }, ""},
      {"point before normal",
       [](MeshRequest* r) {
         r->points[3].z = kInf;
         r->plane_normal.x = kNaN;
       },
       "[meshing] BuildPlanarMesh: point 3 is not finite (0, 1, inf); returning empty"},
      {"normal", [](MeshRequest* r) { r->plane_normal = {0, kNaN, 1}; },
       "[meshing] BuildPlanarMesh: plane_normal is not finite (0, nan, 1); returning "
       "empty"},
      {"zero normal", [](MeshRequest* r) { r->plane_normal = {0, 0, 0}; }, ""},
      {"range of segment 5 before length of segment 1",
       [](MeshRequest* r) {
         r->segments.insert(r->segments.begin() + 1, {4, 5, 1, 1});
         r->segments.push_back({0, 6, 1, 1});
       },
       "[meshing] BuildPlanarMesh: segment 5 endpoint out of range; returning empty"},
      {"negative endpoint", [](MeshRequest* r) { r->segments[2].point_a = -1; },
       "[meshing] BuildPlanarMesh: segment 2 endpoint out of range; returning empty"},
      {"short segment",
       [](MeshRequest* r) { r->segments.insert(r->segments.begin() + 1, {4, 5, 1, 1}); },
       "[meshing] BuildPlanarMesh: boundary segment 1 (points 4 and 5) is 1e-09 m long, "
       "under the 1e-06 m snap tolerance \xE2\x80\x94 refusing as degenerate; returning "
       "empty"},
      {"segment from a point to itself", [](MeshRequest* r) { r->segments[3] = {2, 2, 1, 0}; },
       "[meshing] BuildPlanarMesh: boundary segment 3 (points 2 and 2) is 0 m long, "
       "under the 1e-06 m snap tolerance \xE2\x80\x94 refusing as degenerate; returning "
       "empty"},
      {"interior-only index equal to the count",
       [](MeshRequest* r) { r->interior_only = {4, 6, -1}; },
       "[meshing] BuildPlanarMesh: interior-only index 6 out of range; returning empty"},
      {"negative interior-only index", [](MeshRequest* r) { r->interior_only = {-7}; },
       "[meshing] BuildPlanarMesh: interior-only index -7 out of range; returning empty"},
      {"interior-only without segments",
       [](MeshRequest* r) {
         r->segments.clear();
         r->interior_only = {2147483647};
       },
       "[meshing] BuildPlanarMesh: interior-only index 2147483647 out of range; "
       "returning empty"},
      {"unsupported option before anything else",
       [](MeshRequest* r) {
         r->options = kAllQuads | 0x100;
         r->target_size = 0;
       },
       "[meshing] BuildPlanarMesh: options 0x102 has bits this worker does not support "
       "(0x100); returning empty"},
      {"keep_boundary beside an unknown bit",
       [](MeshRequest* r) { r->options = kKeepBoundary | 0x80000000u; },
       "[meshing] BuildPlanarMesh: options 0x80000001 has bits this worker does not support "
       "(0x80000000); returning empty"},
      {"keep_boundary with segments as long as the size",
       [](MeshRequest* r) { r->options = kKeepBoundary; }, ""},
      {"kept segments exactly twice the size",
       [](MeshRequest* r) {
         r->options = kKeepBoundary;
         r->target_size = 0.5;
       },
       ""},
      {"kept segments longer than twice the size",
       [](MeshRequest* r) {
         r->options = kKeepBoundary;
         r->target_size = 0.4;
       },
       "[meshing] BuildPlanarMesh: boundary segment 0 is 1 m long, more than 2 times the 0.4 m "
       "target size; it cannot be kept as one edge; returning empty"},
      {"the smaller size beside a kept segment decides",
       [](MeshRequest* r) {
         r->options = kKeepBoundary;
         r->segments[2].right_domain = 2;
         r->domain_target_sizes = {0, 0.45};
       },
       "[meshing] BuildPlanarMesh: boundary segment 2 is 1 m long, more than 2 times the 0.45 m "
       "target size; it cannot be kept as one edge; returning empty"},
      {"a kept segment with no domain beside it has no size to keep to",
       [](MeshRequest* r) {
         r->options = kKeepBoundary;
         r->target_size = 0.1;
         for (BoundarySegment& segment : r->segments) segment.left_domain = 0;
       },
       ""},
      {"long segments not kept", [](MeshRequest* r) { r->target_size = 0.1; }, ""},
      {"interior-only index before a kept segment's length",
       [](MeshRequest* r) {
         r->options = kKeepBoundary;
         r->target_size = 0.1;
         r->interior_only = {9};
       },
       "[meshing] BuildPlanarMesh: interior-only index 9 out of range; returning empty"},
  };
  for (const RequestCase& c : cases) {
    SCOPED_TRACE(c.name);
    MeshRequest request = SquareWithCentre();
    c.edit(&request);
    EXPECT_EQ(CheckLine(request), c.line);
  }
}

TEST(SnapToleranceTest, FloorAndALengthExactlyAtTheTolerance) {
  struct {
    double target_size;
    double tolerance;
  } const cases[] = {
      {0.0005, 1e-9}, {0.001, 1e-9}, {1.0, 1e-6}, {10.0, 10.0 * 1e-6},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.target_size);
    const double tolerance = SnapTolerance(c.target_size);
    EXPECT_EQ(tolerance, c.tolerance);

    MeshRequest request;
    request.target_size = c.target_size;
    request.points = {{0, 0, 0}, {tolerance, 0, 0}, {0, 1, 0}};
    request.segments = {{0, 1, 1, 0}};
    EXPECT_EQ(CheckLine(request), "");

    request.points[1].x = std::nextafter(tolerance, 0.0);
    const std::string line = CheckLine(request);
    EXPECT_EQ(line.rfind("[meshing] BuildPlanarMesh: boundary segment 0 (points 0 and 1) is ", 0),
              0u)
        << line;
  }
}

}  // namespace
}  // namespace mesh

#include "netgen/spline_geometry.h"

#include <gtest/gtest.h>

#include <optional>

#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::FlatPlanePoints;
using test::UnitSquareRequest;

// Checks that building never refuses the requests of these tests.
std::shared_ptr<QuadMeshingGeometry> Build(const MeshRequest& request) {
  std::optional<StageRefusal> refusal;
  auto geometry = BuildSplineGeometry(request, FlatPlanePoints(request.points),
                                      DomainNumbering(request.segments), &refusal);
  EXPECT_FALSE(refusal.has_value());
  return geometry;
}

TEST(SplineGeometryTest, EveryRequestPointAndSegmentKeepsItsIndex) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.points.push_back({0.5, 0.5, 0});  // interior-only
  request.points.push_back({3, 3, 0});      // named by no segment
  request.interior_only = {4};
  request.segments.push_back(request.segments[0]);  // the same edge twice

  auto geometry = Build(request);
  ASSERT_NE(geometry, nullptr);

  ASSERT_EQ(geometry->GetNP(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(geometry->GetPoint(i)(0), request.points[i].x) << i;
    EXPECT_EQ(geometry->GetPoint(i)(1), request.points[i].y) << i;
    EXPECT_EQ(geometry->GetPoint(i).refatpoint, 1.0);
    EXPECT_EQ(geometry->GetPoint(i).hpref, 0.0);
  }
  ASSERT_EQ(geometry->GetNSplines(), 5);
  for (int i = 0; i < 5; ++i) {
    const BoundarySegment& segment = request.segments[i];
    const netgen::SplineSegExt& spline = geometry->GetSpline(i);
    EXPECT_EQ(spline.StartPI()(0), request.points[segment.point_a].x) << i;
    EXPECT_EQ(spline.StartPI()(1), request.points[segment.point_a].y) << i;
    EXPECT_EQ(spline.EndPI()(0), request.points[segment.point_b].x) << i;
    EXPECT_EQ(spline.EndPI()(1), request.points[segment.point_b].y) << i;
    EXPECT_EQ(spline.GetType(), "line");
    EXPECT_EQ(spline.leftdom, 1);
    EXPECT_EQ(spline.rightdom, 0);
    EXPECT_EQ(spline.reffak, 1.0);
    EXPECT_EQ(spline.hmax, 1e99);
    EXPECT_EQ(spline.bc, 1);
    EXPECT_EQ(spline.copyfrom, -1);
    EXPECT_EQ(spline.hpref_left, 0.0);
    EXPECT_EQ(spline.hpref_right, 0.0);
    EXPECT_EQ(spline.layer, 1);
  }
}

TEST(SplineGeometryTest, EachDomainGetsItsSizeAndTheQuadChoice) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.target_size = 0.1;
  request.domain_target_sizes = {0.05, 0.0, -1.0};
  // Domains 1 to 4 as Netgen numbers them; -2 is the caller's own marker.
  request.segments = {{0, 1, 1, 0}, {1, 2, 2, -2}, {2, 3, 3, 0}, {3, 0, 4, 1}};

  for (bool prefer_quads : {true, false}) {
    request.prefer_quads = prefer_quads;
    auto geometry = Build(request);
    ASSERT_NE(geometry, nullptr);
    EXPECT_EQ(geometry->GetDomainMaxh(1), 0.05);
    EXPECT_EQ(geometry->GetDomainMaxh(2), 0.1);  // entry 0.0
    EXPECT_EQ(geometry->GetDomainMaxh(3), 0.1);  // entry -1.0
    EXPECT_EQ(geometry->GetDomainMaxh(4), 0.1);  // beyond the list
    EXPECT_EQ(geometry->GetDomainMaxh(5), -1);   // never configured
    for (int domain = 1; domain <= 4; ++domain) {
      EXPECT_EQ(geometry->GetDomainQuadMeshing(domain), prefer_quads) << domain;
    }
    EXPECT_EQ(geometry->GetSpline(1).rightdom, -2);
  }
}

TEST(SplineGeometryTest, CallerDomainNumbersReachNetgenDenseAndInOrder) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.domain_target_sizes = {0.2, 0.3, 0.4, 0.5, 0.6, 0.7, 0.8};
  request.segments = {{0, 1, 7, 0}, {1, 2, 2000000000, -5}, {2, 3, 3, 7}, {3, 0, 3, 0}};
  DomainNumbering numbering(request.segments);
  EXPECT_EQ(numbering.caller_domains(), (std::vector<int32_t>{3, 7, 2000000000}));
  EXPECT_EQ(numbering.ToNetgen(3), 1);
  EXPECT_EQ(numbering.ToNetgen(7), 2);
  EXPECT_EQ(numbering.ToNetgen(2000000000), 3);
  EXPECT_EQ(numbering.ToNetgen(0), 0);
  EXPECT_EQ(numbering.ToNetgen(-5), -5);
  EXPECT_EQ(numbering.ToCaller(3), 2000000000);
  EXPECT_EQ(numbering.ToCaller(0), 0);

  auto geometry = Build(request);
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->GetSpline(0).leftdom, 2);
  EXPECT_EQ(geometry->GetSpline(1).leftdom, 3);
  EXPECT_EQ(geometry->GetSpline(1).rightdom, -5);
  EXPECT_EQ(geometry->GetSpline(2).rightdom, 2);
  // Sizes follow the caller's numbers, not Netgen's.
  EXPECT_EQ(geometry->GetDomainMaxh(1), 0.4);
  EXPECT_EQ(geometry->GetDomainMaxh(2), 0.8);
  EXPECT_EQ(geometry->GetDomainMaxh(3), request.target_size);
}

TEST(SplineGeometryTest, QuadFlagsGrowWithTheDomainNumber) {
  QuadMeshingGeometry geometry;
  EXPECT_FALSE(geometry.GetDomainQuadMeshing(1));  // nothing set yet
  geometry.SetDomainQuadMeshing(3, true);
  EXPECT_FALSE(geometry.GetDomainQuadMeshing(1));
  EXPECT_FALSE(geometry.GetDomainQuadMeshing(2));
  EXPECT_TRUE(geometry.GetDomainQuadMeshing(3));
  geometry.SetDomainQuadMeshing(1, true);
  geometry.SetDomainQuadMeshing(3, false);
  geometry.SetDomainQuadMeshing(40, true);
  EXPECT_TRUE(geometry.GetDomainQuadMeshing(1));
  EXPECT_FALSE(geometry.GetDomainQuadMeshing(3));
  EXPECT_FALSE(geometry.GetDomainQuadMeshing(39));
  EXPECT_TRUE(geometry.GetDomainQuadMeshing(40));
  EXPECT_THROW(geometry.SetDomainQuadMeshing(0, true), std::exception);
}

TEST(SplineGeometryTest, RequestWithoutSegmentsHasPointsOnly) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.segments.clear();
  auto geometry = Build(request);
  ASSERT_NE(geometry, nullptr);
  EXPECT_EQ(geometry->GetNP(), 4);
  EXPECT_EQ(geometry->GetNSplines(), 0);
  EXPECT_EQ(geometry->GetDomainMaxh(1), -1);
}

}  // namespace
}  // namespace mesh

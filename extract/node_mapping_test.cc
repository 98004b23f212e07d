#include "extract/node_mapping.h"

#include <cmath>

#include <gtest/gtest.h>

namespace mesh {
namespace {

MeshRequest RequestWithSizes(double target_size, std::vector<double> domain_sizes) {
  MeshRequest request;
  request.target_size = target_size;
  request.domain_target_sizes = std::move(domain_sizes);
  return request;
}

TEST(ExtractTolerancesTest, FollowTheFinestSizeAndTheirFloors) {
  struct Case {
    double target_size;
    std::vector<double> domain_sizes;
    double snap, smallest, interior;
  } cases[] = {
      {0.1, {}, 0.1 * 1e-6, 0.1, 0.0015},
      {0.0005, {}, 1e-9, 0.0005, 0.0015},
      {10.0, {}, 10.0 * 1e-6, 10.0, 0.01},
      // Zero and negative entries mean "use target_size" and never lower it.
      {2.0, {0.0, 0.5, -1.0}, 2.0 * 1e-6, 0.5, 0.0015},
      // A coarser domain never raises it.
      {2.0, {3.0}, 2.0 * 1e-6, 2.0, 0.002},
      {4.0, {3.0, 2.5, 0.0, 3.5}, 4.0 * 1e-6, 2.5, 0.0025},
  };
  for (const Case& c : cases) {
    const ExtractTolerances t = ComputeExtractTolerances(RequestWithSizes(c.target_size, c.domain_sizes));
    EXPECT_EQ(t.snap, c.snap) << c.target_size;
    EXPECT_EQ(t.smallest_target_size, c.smallest) << c.target_size;
    EXPECT_DOUBLE_EQ(t.interior_match, c.interior) << c.target_size;
  }
}

TEST(FindNearestNodeTest, TiesGoToTheLowestIndex) {
  const std::vector<PlanePoint> nodes = {{3, 3}, {0, 1}, {1, 0}, {-1, 0}, {0, 1}};
  const NearestNode nearest = FindNearestNode(nodes, {0, 0});
  EXPECT_EQ(nearest.index, 1);
  EXPECT_EQ(nearest.distance_squared, 1.0);
  EXPECT_EQ(FindNearestNode({}, {0, 0}).index, -1);
}

TEST(InteriorOnlyFlagsTest, DuplicatesCountOnce) {
  MeshRequest request;
  request.points.resize(4);
  request.interior_only = {2, 0, 2};
  EXPECT_EQ(InteriorOnlyFlags(request), (std::vector<bool>{true, false, true, false}));
}

// One node per point at the given offset from it; the point is matched or
// not with the ordinary or the interior tolerance.
struct MatchCase {
  const char* name;
  double target_size;
  bool interior;
  double offset;
  enum { kMatched, kPending, kLost } outcome;
};

TEST(MatchRequestPointsTest, DistanceExactlyAtTheToleranceIsMatched) {
  const double snap = 1e-6;  // target_size 1
  const MatchCase cases[] = {
      {"ordinary at the snap tolerance", 1.0, false, snap, MatchCase::kMatched},
      {"ordinary just past it", 1.0, false, std::nextafter(snap, 1.0), MatchCase::kLost},
      {"interior at the interior tolerance", 1.0, true, 0.0015, MatchCase::kMatched},
      {"interior just past it", 1.0, true, std::nextafter(0.0015, 1.0), MatchCase::kPending},
      {"interior far away", 1.0, true, 0.5, MatchCase::kPending},
  };
  for (const MatchCase& c : cases) {
    SCOPED_TRACE(c.name);
    const MeshRequest request = RequestWithSizes(c.target_size, {});
    const std::vector<PlanePoint> plane_points = {{0, 0}};
    const std::vector<PlanePoint> nodes = {{4, 4}, {c.offset, 0}};
    std::vector<int32_t> point_vertex;
    std::vector<size_t> pending;
    const bool ok = !MatchRequestPoints(nodes, plane_points, {c.interior},
                                        ComputeExtractTolerances(request), &point_vertex, &pending)
                         .has_value();
    switch (c.outcome) {
      case MatchCase::kMatched:
        EXPECT_TRUE(ok);
        EXPECT_EQ(point_vertex, std::vector<int32_t>{1});
        EXPECT_TRUE(pending.empty());
        break;
      case MatchCase::kPending:
        EXPECT_TRUE(ok);
        EXPECT_EQ(point_vertex, std::vector<int32_t>{-1});
        EXPECT_EQ(pending, std::vector<size_t>{0});
        break;
      case MatchCase::kLost:
        EXPECT_FALSE(ok);
        break;
    }
  }
}

TEST(MatchRequestPointsTest, LostPointLineCarriesSquaredDistances) {
  // target_size 0.1: snap tolerance 1e-7; the point is 1e-6 from its node.
  const MeshRequest request = RequestWithSizes(0.1, {});
  const std::vector<PlanePoint> plane_points = {{0, 0}, {1, 0}, {2, 0}, {3, 0}};
  const std::vector<PlanePoint> nodes = {{0, 0}, {1, 0}, {2 + 1e-6, 0}, {3, 0}};
  std::vector<int32_t> point_vertex;
  std::vector<size_t> pending;
  const std::optional<StageRefusal> refusal =
      MatchRequestPoints(nodes, plane_points, {false, true, false, false},
                         ComputeExtractTolerances(request), &point_vertex, &pending);
  ASSERT_TRUE(refusal.has_value());
  EXPECT_EQ(refusal->line,
            "[meshing] ExtractToPlanarComplexMesh: input point 2 not preserved by Netgen "
            "(closest mesh node dist\xC2\xB2=1e-12, tol\xC2\xB2=1e-14); returning empty");
}

TEST(MatchRequestPointsTest, InteriorOnlyPointsUseTheirOwnToleranceAndWait) {
  // Points 1 and 3 are interior-only (1 twice); point 0 is a segment end
  // that is listed too and so gets the wider tolerance.
  MeshRequest request = RequestWithSizes(1.0, {});
  request.points.resize(4);
  request.interior_only = {1, 3, 1, 0};
  const std::vector<PlanePoint> plane_points = {{0, 0}, {0.5, 0.5}, {1, 0}, {0.2, 0.2}};
  const std::vector<PlanePoint> nodes = {{0.001, 0}, {1, 0}, {0.5, 0.5005}, {0.7, 0.7}};
  std::vector<int32_t> point_vertex;
  std::vector<size_t> pending;
  ASSERT_FALSE(MatchRequestPoints(nodes, plane_points, InteriorOnlyFlags(request),
                                  ComputeExtractTolerances(request), &point_vertex, &pending)
                   .has_value());
  EXPECT_EQ(point_vertex, (std::vector<int32_t>{0, 2, 1, -1}));
  EXPECT_EQ(pending, std::vector<size_t>{3});
}

TEST(MatchRequestPointsTest, SeveralPointsMayShareOneNode) {
  const MeshRequest request = RequestWithSizes(1.0, {});
  const std::vector<PlanePoint> plane_points = {{0, 0}, {0, 5e-7}, {1, 1}};
  const std::vector<PlanePoint> nodes = {{1, 1}, {0, 2.5e-7}};
  std::vector<int32_t> point_vertex;
  std::vector<size_t> pending;
  ASSERT_FALSE(MatchRequestPoints(nodes, plane_points, {}, ComputeExtractTolerances(request),
                                  &point_vertex, &pending)
                   .has_value());
  EXPECT_EQ(point_vertex, (std::vector<int32_t>{1, 1, 0}));
}

}  // namespace
}  // namespace mesh

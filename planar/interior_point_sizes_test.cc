#include "planar/interior_point_sizes.h"

#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

// The unit square, domain 1 inside, with the given interior-only points.
MeshRequest SquareWith(const std::vector<PlanePoint>& points, double target) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int32_t i = 0; i < 4; ++i) request.segments.push_back({i, (i + 1) % 4, 1, 0});
  for (const PlanePoint& p : points) {
    request.interior_only.push_back(static_cast<int32_t>(request.points.size()));
    request.points.push_back({p.u, p.v, 0});
  }
  request.target_size = target;
  return request;
}

std::vector<PlanePoint> Flat(const MeshRequest& request) {
  std::vector<PlanePoint> plane;
  for (const Point3& p : request.points) plane.push_back({p.x, p.y});
  return plane;
}

TEST(InteriorPointSizesTest, HalfTheGapToTheNearestPointOrSegmentAndNeverAboveTheTarget) {
  MeshRequest request = SquareWith({{0.5, 0.5}, {0.5, 0.6}, {0.9, 0.3}}, 0.2);
  // The finest domain size counts, a listed point counts once, and an
  // index out of range is left to the request checks.
  request.domain_target_sizes = {0.15};
  request.interior_only.push_back(5);
  request.interior_only.push_back(99);
  const std::vector<PointSize> sizes = InteriorPointSizes(request, Flat(request));
  ASSERT_EQ(sizes.size(), 3u);
  EXPECT_DOUBLE_EQ(sizes[0].at.v, 0.5);
  EXPECT_NEAR(sizes[0].size, 0.05, 1e-12);  // 0.1 to the point above
  EXPECT_NEAR(sizes[1].size, 0.05, 1e-12);
  EXPECT_NEAR(sizes[2].size, 0.05, 1e-12);  // 0.1 to the right side
  request.target_size = 0.06;
  request.domain_target_sizes = {0.04};
  for (const PointSize& s : InteriorPointSizes(request, Flat(request))) {
    EXPECT_DOUBLE_EQ(s.size, 0.04);
  }
}

TEST(InteriorPointSizesTest, APointOnAnotherKeepsTheTargetSize) {
  const MeshRequest request = SquareWith({{0.5, 0.5}, {0.5, 0.5}}, 0.2);
  for (const PointSize& s : InteriorPointSizes(request, Flat(request))) {
    EXPECT_DOUBLE_EQ(s.size, 0.2);
  }
}

}  // namespace
}  // namespace mesh

#include "extract/poor_element_repair.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "extract/mesh_invariants.h"

namespace mesh {
namespace {

// A plane tilted out of every axis, far from the origin as surveyed
// buildings are.
Point3 At(double u, double v) {
  return Point3{4424710.0 + 0.6 * u - 0.64 * v, 5482775.0 + 0.6 * v, 322.0 + 0.8 * u + 0.48 * v};
}

struct Case {
  MeshRequest request;
  PlanarComplexMesh answer;

  PlanarFrame Frame() const {
    PlanarFrame frame;
    EXPECT_TRUE(BuildFrame(request.points, nullptr, &frame));
    return frame;
  }
};

double WorstQuality(const Case& c, const PlanarComplexMesh& mesh) {
  return WorstQuality(c.Frame(), mesh);
}

// The pentagon of a roof outline whose bottom edge has a vertex 3 mm off
// the straight line, and a mesh with a quad across that vertex:
//   4 ----------- 3
//   |  \   5   /  |
//   |    .   .    |
//   0 ---- 1 ---- 2
Case FlatCornerQuad() {
  Case c;
  c.request.points = {At(0, 0), At(1, -0.003), At(2, 0), At(2, 1.2), At(0, 1.2)};
  c.request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 4, 1, 0}, {4, 0, 1, 0}};
  c.request.target_size = 1.0;
  c.answer.vertices = c.request.points;
  c.answer.vertices.push_back(At(1, 0.9));
  c.answer.quads = {{0, 1, 2, 5}};
  c.answer.quad_domains = {1};
  c.answer.triangles = {{2, 3, 5}, {3, 4, 5}, {4, 0, 5}};
  c.answer.triangle_domains = {1, 1, 1};
  c.answer.point_vertex = {0, 1, 2, 3, 4};
  c.answer.segment_chains = {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 0}};
  return c;
}

// Four quads of a 2 x 2 square, their middle vertex pushed towards the
// diagonal of the bottom right one, which at (1.45, 0.55) has a corner of
// 169 degrees there.
Case PushedMiddleVertex(double u, double v) {
  Case c;
  c.request.points = {At(0, 0), At(1, 0), At(2, 0), At(2, 1), At(2, 2),
                      At(1, 2), At(0, 2), At(0, 1)};
  for (int32_t i = 0; i < 8; ++i) c.request.segments.push_back({i, (i + 1) % 8, 1, 0});
  c.request.target_size = 1.0;
  c.answer.vertices = c.request.points;
  c.answer.vertices.push_back(At(u, v));
  c.answer.quads = {{0, 1, 8, 7}, {1, 2, 3, 8}, {8, 3, 4, 5}, {7, 8, 5, 6}};
  c.answer.quad_domains = {1, 1, 1, 1};
  c.answer.point_vertex = {0, 1, 2, 3, 4, 5, 6, 7};
  for (int32_t i = 0; i < 8; ++i) c.answer.segment_chains.push_back({i, (i + 1) % 8});
  return c;
}

void ExpectSameVertices(const PlanarComplexMesh& a, const PlanarComplexMesh& b, size_t count) {
  for (size_t k = 0; k < count; ++k) {
    EXPECT_EQ(a.vertices[k].x, b.vertices[k].x) << k;
    EXPECT_EQ(a.vertices[k].y, b.vertices[k].y) << k;
    EXPECT_EQ(a.vertices[k].z, b.vertices[k].z) << k;
  }
}

TEST(PoorElementRepairTest, MeasuresAgreeWithTheirDefinitions) {
  const PlanePoint o{0, 0}, x{1, 0}, y{0, 1}, xy{1, 1};
  EXPECT_NEAR(PlaneQuadQuality(o, x, xy, y), 1.0, 1e-15);
  EXPECT_NEAR(PlaneQuadQuality(o, PlanePoint{3, 0}, PlanePoint{3, 1}, y), 1.0, 1e-15);
  const PlanePoint r1{std::cos(M_PI / 3), std::sin(M_PI / 3)};
  EXPECT_NEAR(PlaneQuadQuality(o, x, PlanePoint{1 + r1.u, r1.v}, r1), std::sqrt(3.0) / 2, 1e-15);
  EXPECT_NEAR(PlaneTriangleQuality(o, x, r1), 1.0, 1e-15);
  // Turned clockwise, both read negative.
  EXPECT_LT(PlaneQuadQuality(o, y, xy, x), 0);
  EXPECT_LT(PlaneTriangleQuality(o, r1, x), 0);
  // A quad with a straight corner scores 0 however good the rest.
  EXPECT_NEAR(PlaneQuadQuality(o, x, PlanePoint{2, 0}, PlanePoint{1, 1}), 0.0, 1e-15);
}

TEST(PoorElementRepairTest, QuadAcrossAStraightBoundaryVertexIsSplitThroughIt) {
  const Case c = FlatCornerQuad();
  ASSERT_TRUE(CheckMeshInvariants(c.request, c.answer).empty());
  ASSERT_LT(WorstQuality(c, c.answer), 0.01);
  EXPECT_EQ(CountPoorElements(c.Frame(), c.answer), 1u);

  PlanarComplexMesh repaired;
  const RepairCounts counts = RepairPoorElements(c.Frame(), c.answer, &repaired);
  EXPECT_EQ(counts.poor_before, 1u);
  EXPECT_EQ(counts.poor_after, 0u);
  EXPECT_EQ(counts.quads_split, 1u);
  EXPECT_TRUE(CheckMeshInvariants(c.request, repaired).empty());
  EXPECT_GE(WorstQuality(c, repaired), kRepairQuality);
  EXPECT_TRUE(repaired.quads.empty());
  // The old triangles first, in their order, then the two halves, split
  // along the diagonal from the straight corner.
  ASSERT_EQ(repaired.triangles.size(), 5u);
  for (size_t t = 0; t < 3; ++t) EXPECT_EQ(repaired.triangles[t], c.answer.triangles[t]);
  for (size_t t = 3; t < 5; ++t) {
    EXPECT_NE(std::find(repaired.triangles[t].begin(), repaired.triangles[t].end(), 1),
              repaired.triangles[t].end());
    EXPECT_NE(std::find(repaired.triangles[t].begin(), repaired.triangles[t].end(), 5),
              repaired.triangles[t].end());
  }
  EXPECT_EQ(repaired.triangle_domains, std::vector<int32_t>(5, 1));
  ExpectSameVertices(repaired, c.answer, c.answer.vertices.size());
  EXPECT_EQ(repaired.point_vertex, c.answer.point_vertex);
  EXPECT_EQ(repaired.segment_chains, c.answer.segment_chains);
}

TEST(PoorElementRepairTest, FreeVertexMovesWhereItsQuadsAreGoodAgain) {
  const Case c = PushedMiddleVertex(1.45, 0.55);
  ASSERT_TRUE(CheckMeshInvariants(c.request, c.answer).empty());
  ASSERT_LT(WorstQuality(c, c.answer), 0.25);

  PlanarComplexMesh repaired;
  const RepairCounts counts = RepairPoorElements(c.Frame(), c.answer, &repaired);
  EXPECT_GT(counts.vertices_moved, 0u);
  EXPECT_EQ(counts.quads_split, 0u);
  EXPECT_EQ(counts.poor_after, 0u);
  EXPECT_TRUE(CheckMeshInvariants(c.request, repaired).empty());
  EXPECT_GT(WorstQuality(c, repaired), 0.9);
  EXPECT_EQ(repaired.quads, c.answer.quads);
  EXPECT_TRUE(repaired.triangles.empty());
  // Only the middle vertex moved, and it stays in the plane.
  ExpectSameVertices(repaired, c.answer, 8);
  const PlanarFrame frame = c.Frame();
  const Point3 moved = repaired.vertices[8];
  EXPECT_NEAR(moved.x, frame.FromPlane(frame.ToPlane(moved)).x, 1e-8);
  EXPECT_NEAR(moved.z, frame.FromPlane(frame.ToPlane(moved)).z, 1e-8);
}

TEST(PoorElementRepairTest, RequestPointsVerticesStayWhereTheCallerPutThem) {
  Case c = PushedMiddleVertex(1.45, 0.55);
  // The middle vertex is now an interior-only point of the caller's.
  c.request.points.push_back(c.answer.vertices[8]);
  c.request.interior_only = {8};
  c.answer.point_vertex.push_back(8);
  ASSERT_TRUE(CheckMeshInvariants(c.request, c.answer).empty());
  const double before = WorstQuality(c, c.answer);

  PlanarComplexMesh repaired;
  const RepairCounts counts = RepairPoorElements(c.Frame(), c.answer, &repaired);
  EXPECT_EQ(counts.vertices_moved, 0u);
  ExpectSameVertices(repaired, c.answer, c.answer.vertices.size());
  EXPECT_TRUE(CheckMeshInvariants(c.request, repaired).empty());
  // What splitting could mend, it did; nothing got worse.
  EXPECT_GT(counts.quads_split, 0u);
  EXPECT_GT(WorstQuality(c, repaired), before);
}

TEST(PoorElementRepairTest, MeshWithoutPoorElementsIsLeftExactlyAsItWas) {
  const Case c = PushedMiddleVertex(1.1, 0.95);
  ASSERT_GT(WorstQuality(c, c.answer), kRepairQuality);
  EXPECT_EQ(CountPoorElements(c.Frame(), c.answer), 0u);
  PlanarComplexMesh repaired;
  const RepairCounts counts = RepairPoorElements(c.Frame(), c.answer, &repaired);
  EXPECT_EQ(counts.poor_before, 0u);
  EXPECT_EQ(counts.vertices_moved + counts.quads_split, 0u);
  ExpectSameVertices(repaired, c.answer, c.answer.vertices.size());
  EXPECT_EQ(repaired.quads, c.answer.quads);
  EXPECT_EQ(repaired.segment_chains, c.answer.segment_chains);

  // A record the check will refuse is not walked at all.
  PlanarComplexMesh broken = c.answer;
  broken.quads[0][2] = 99;
  EXPECT_EQ(CountPoorElements(c.Frame(), broken), 0u);
  RepairPoorElements(c.Frame(), broken, &repaired);
  EXPECT_EQ(repaired.quads, broken.quads);
}

}  // namespace
}  // namespace mesh

#include "extract/segment_chains.h"

#include <gtest/gtest.h>

namespace mesh {
namespace {

// One segment from request point 0 at (0, 0) to request point 1 at (1, 0),
// with a snap tolerance of 1e-6. Vertex 0 stands for point 0 and vertex 1
// for point 1; the mesher's edges are given per case, with node numbers
// counted from 1.
struct ChainFixture {
  std::vector<BoundarySegment> segments = {{0, 1, 1, 0}};
  std::vector<PlanePoint> plane_points = {{0, 0}, {1, 0}};
  std::vector<int32_t> point_vertex = {0, 1};
  std::vector<BoundaryEdge> edges;

  ChainInputs Inputs() const {
    ChainInputs inputs;
    inputs.segments = &segments;
    inputs.plane_points = &plane_points;
    inputs.point_vertex = &point_vertex;
    inputs.boundary_edges = &edges;
    inputs.snap_tolerance = 1e-6;
    return inputs;
  }
};

TEST(SegmentChainTest, TheMeshersEdgesInOrderAlongTheSegment) {
  struct Case {
    const char* name;
    std::vector<BoundaryEdge> edges;
    std::vector<int32_t> chain;
  } cases[] = {
      {"one edge", {{0, {1, 2}, {0, 1}}}, {0, 1}},
      {"stored out of order",
       {{0, {4, 2}, {0.5, 1}}, {0, {1, 3}, {0, 0.25}}, {0, {3, 4}, {0.25, 0.5}}},
       {0, 2, 3, 1}},
      {"an edge stored backwards", {{0, {5, 1}, {0.5, 0}}, {0, {5, 2}, {0.5, 1}}}, {0, 4, 1}},
      {"edges of other segments and of none are left alone",
       {{1, {1, 7}, {0, 1}}, {-1, {1, 8}, {0, 1}}, {0, {1, 2}, {0, 1}}, {7, {1, 9}, {0, 1}}},
       {0, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ChainFixture f;
    f.segments.push_back({1, 0, 0, 1});
    f.edges = c.edges;
    std::vector<std::vector<int32_t>> chains;
    // Segment 1 (the way back) gets edge (1, 7) in the first case only;
    // stop it from failing elsewhere by giving it its ends.
    f.edges.push_back({1, {2, 1}, {0, 1}});
    if (c.edges[0].spline == 1) f.edges.erase(f.edges.begin());
    const std::optional<StageRefusal> refusal = BuildSegmentChains(f.Inputs(), &chains);
    ASSERT_FALSE(refusal.has_value()) << refusal->line;
    EXPECT_EQ(chains[0], c.chain);
    EXPECT_EQ(chains[1], (std::vector<int32_t>{1, 0}));
  }
}

TEST(SegmentChainTest, NodesNearTheSegmentButNotOnItsEdgesStayOut) {
  // However close node 3 lies, only the mesher says what is on the segment.
  ChainFixture f;
  f.edges = {{0, {1, 2}, {0, 1}}};
  std::vector<int32_t> chain;
  ASSERT_FALSE(BuildSegmentChain(0, f.Inputs(), {0}, &chain).has_value());
  EXPECT_EQ(chain, (std::vector<int32_t>{0, 1}));
}

TEST(SegmentChainTest, ShortSegmentIsItsTwoEndsUnchecked) {
  // Shorter than the snap tolerance once in the plane; both ends on one
  // vertex, and the edges are not looked at.
  ChainFixture f;
  f.plane_points[1] = {5e-7, 0};
  f.point_vertex = {0, 0};
  f.edges = {{0, {3, 4}, {0, 1}}};
  std::vector<int32_t> chain;
  ASSERT_FALSE(BuildSegmentChain(0, f.Inputs(), {0}, &chain).has_value());
  EXPECT_EQ(chain, (std::vector<int32_t>{0, 0}));
}

TEST(SegmentChainTest, MismatchedEndsGiveOneLineAndStopTheChains) {
  struct Case {
    const char* name;
    std::vector<BoundaryEdge> edges;
    std::vector<int32_t> point_vertex;
    const char* line;
  } cases[] = {
      {"front is not point_a's vertex", {{0, {3, 3}, {0, 1}}, {1, {1, 2}, {0, 1}}}, {2, 1, 2},
       "[meshing] ExtractToPlanarComplexMesh: segment 1 chain endpoints mismatch "
       "(got front=0 back=1, expected 2 \xE2\x86\x94 1); returning empty"},
      {"no edge on the segment", {{0, {1, 1}, {0, 1}}}, {0, 1, 0},
       "[meshing] ExtractToPlanarComplexMesh: segment 1 chain endpoints mismatch "
       "(got front=-1 back=-1, expected 0 \xE2\x86\x94 1); returning empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    // Segment 0 runs from point 2 back to itself and is fine; segment 2
    // would fail too but is never reached.
    ChainFixture f;
    f.plane_points.push_back({0.5, 0.5});
    f.segments = {{2, 2, 1, 0}, {0, 1, 1, 0}, {1, 0, 0, 1}};
    f.edges = c.edges;
    f.point_vertex = c.point_vertex;
    std::vector<std::vector<int32_t>> chains;
    const std::optional<StageRefusal> refusal = BuildSegmentChains(f.Inputs(), &chains);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->key, RefusalKey::kChainMismatch);
    EXPECT_EQ(refusal->line, c.line);
  }
}

}  // namespace
}  // namespace mesh

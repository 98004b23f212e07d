#include "extract/quad_subdivision.h"
#include "extract/poor_element_repair.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "extract/mesh_invariants.h"
#include "planar/coarse_request.h"

namespace mesh {
namespace {

// A house in the z = 0 plane: the unit square as one quad (vertices 0 to
// 3) under a roof triangle with its apex, vertex 4, at (0.5, 1.5). The
// request's points are the vertices; its segments run round the outline.
struct House {
  MeshRequest request;
  PlanarComplexMesh record;
  PlanarFrame frame;

  explicit House(uint32_t options) {
    request.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 1.5, 0}};
    request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 4, 1, 0}, {4, 3, 1, 0}, {3, 0, 1, 0}};
    request.target_size = 0.5;
    request.options = options;
    record.vertices = request.points;
    record.quads = {{0, 1, 2, 3}};
    record.quad_domains = {1};
    record.triangles = {{3, 2, 4}};
    record.triangle_domains = {1};
    record.point_vertex = {0, 1, 2, 3, 4};
    record.segment_chains = {{0, 1}, {1, 2}, {2, 4}, {4, 3}, {3, 0}};
    const Point3 up{0, 0, 1};
    EXPECT_TRUE(BuildFrame(request.points, &up, &frame));
  }
};

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

TEST(QuadSubdivisionTest, EveryElementBecomesQuadsAndEveryChainGainsItsMidpoints) {
  House house(kKeepBoundary | kAllQuads);
  SubdivideIntoQuads(house.frame, &house.record);
  const PlanarComplexMesh& r = house.record;
  EXPECT_TRUE(r.triangles.empty());
  EXPECT_TRUE(r.triangle_domains.empty());
  ASSERT_EQ(r.quads.size(), 4u + 3u);
  EXPECT_EQ(r.quad_domains, std::vector<int32_t>(7, 1));
  // Six element edges, the one under the roof shared, and two centres.
  EXPECT_EQ(r.vertices.size(), 5u + 6u + 2u);
  for (size_t s = 0; s < r.segment_chains.size(); ++s) {
    const std::vector<int32_t>& chain = r.segment_chains[s];
    ASSERT_EQ(chain.size(), 3u) << "segment " << s;
    const Point3& a = r.vertices[chain[0]];
    const Point3& b = r.vertices[chain[2]];
    const Point3& m = r.vertices[chain[1]];
    EXPECT_DOUBLE_EQ(m.x, 0.5 * (a.x + b.x)) << "segment " << s;
    EXPECT_DOUBLE_EQ(m.y, 0.5 * (a.y + b.y)) << "segment " << s;
  }
  EXPECT_EQ(Joined(CheckMeshInvariants(house.request, r)), "");
  for (const auto& quad : r.quads) {
    const PlanePoint a = house.frame.ToPlane(r.vertices[quad[0]]);
    const PlanePoint b = house.frame.ToPlane(r.vertices[quad[1]]);
    const PlanePoint c = house.frame.ToPlane(r.vertices[quad[2]]);
    const PlanePoint d = house.frame.ToPlane(r.vertices[quad[3]]);
    // Seen along the normal given, the house turns counter-clockwise; the
    // roof's corner quads have the triangle's 45- and 90-degree corners.
    EXPECT_GT(PlaneQuadQuality(a, b, c, d), 0.5);
  }
}

// Smoothing moves only what lies inside: request points, chain vertices
// and the boundary keep their exact bits, so neighbours sharing an edge
// still meet.
TEST(QuadSubdivisionTest, SmoothingHoldsEveryVertexOnTheBoundary) {
  House house(kAllQuads);
  // A bent square: the inside vertex is no longer at its neighbours' mean,
  // so smoothing has something to do.
  house.request.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {0.5, 1.5, 0}, {0.8, 0.7, 0}};
  house.record.vertices = house.request.points;
  house.record.quads = {{0, 1, 5, 3}};
  house.record.triangles = {{1, 2, 5}, {5, 2, 3}, {3, 2, 4}};
  house.record.triangle_domains = {1, 1, 1};
  house.request.interior_only = {5};
  house.record.point_vertex = {0, 1, 2, 3, 4, 5};
  const std::vector<Point3> before = house.record.vertices;
  SubdivideIntoQuads(house.frame, &house.record);
  for (size_t v = 0; v < before.size(); ++v) {
    EXPECT_EQ(house.record.vertices[v].x, before[v].x) << "vertex " << v;
    EXPECT_EQ(house.record.vertices[v].y, before[v].y) << "vertex " << v;
  }
  for (const auto& chain : house.record.segment_chains) {
    const Point3& m = house.record.vertices[chain[1]];
    const Point3& a = house.record.vertices[chain[0]];
    const Point3& b = house.record.vertices[chain[2]];
    EXPECT_EQ(m.x, 0.5 * (a.x + b.x));
    EXPECT_EQ(m.y, 0.5 * (a.y + b.y));
  }
  EXPECT_EQ(Joined(CheckMeshInvariants(house.request, house.record)), "");
}

// An interior-only point on the bottom edge splits it; the chain, which
// stepped over it, now runs through it and both halves' midpoints.
TEST(QuadSubdivisionTest, AChainStepSplitByAnInteriorPointGoesThroughIt) {
  for (uint32_t options : {kAllQuads, kAllQuads | kKeepBoundary}) {
    House house(options);
    house.request.points.push_back({0.5, 0, 0});
    house.request.interior_only = {5};
    house.record.vertices = house.request.points;
    house.record.quads.clear();
    house.record.quad_domains.clear();
    house.record.triangles = {{0, 5, 3}, {5, 1, 2}, {5, 2, 3}, {3, 2, 4}};
    house.record.triangle_domains = {1, 1, 1, 1};
    house.record.point_vertex = {0, 1, 2, 3, 4, 5};
    SubdivideIntoQuads(house.frame, &house.record);
    const std::vector<int32_t>& chain = house.record.segment_chains[0];
    ASSERT_EQ(chain.size(), 5u);
    EXPECT_EQ(chain[2], 5);
    EXPECT_EQ(house.record.vertices[chain[1]].x, 0.25);
    EXPECT_EQ(house.record.vertices[chain[3]].x, 0.75);
    EXPECT_EQ(Joined(CheckMeshInvariants(house.request, house.record)), "") << options;
  }
}

TEST(QuadSubdivisionTest, TheCheckerRefusesWhatAnAllQuadAnswerMustNotHold) {
  struct Case {
    const char* name;
    void (*spoil)(PlanarComplexMesh*);
    const char* expected;
  } cases[] = {
      {"a triangle left",
       [](PlanarComplexMesh* r) {
         r->triangles.push_back({0, 1, 2});
         r->triangle_domains.push_back(1);
       },
       "1 triangles in an answer that asked for quads only"},
      {"a kept segment without its midpoint",
       [](PlanarComplexMesh* r) { r->segment_chains[0] = {0, 1}; },
       "chain 0 entry 1 (vertex 1) is not the midpoint of a kept piece"},
      {"a midpoint slid along its segment",
       [](PlanarComplexMesh* r) { r->vertices[r->segment_chains[0][1]].x += 0.1; },
       "chain 0 entry 1 (vertex 5) is not the midpoint of a kept piece"},
  };
  for (const Case& c : cases) {
    House house(kKeepBoundary | kAllQuads);
    SubdivideIntoQuads(house.frame, &house.record);
    c.spoil(&house.record);
    const std::string problems = Joined(CheckMeshInvariants(house.request, house.record));
    EXPECT_NE(problems.find(c.expected), std::string::npos) << c.name << ":\n" << problems;
  }
}

TEST(QuadSubdivisionTest, TheCoarseRequestDoublesEverySizeAndAsksForQuads) {
  MeshRequest request;
  request.target_size = 0.5;
  request.domain_target_sizes = {0.25, 0, -1};
  request.prefer_quads = false;
  request.options = kKeepBoundary | kAllQuads;
  const MeshRequest coarse = CoarseRequestForAllQuads(request);
  EXPECT_EQ(coarse.target_size, 1.0);
  EXPECT_EQ(coarse.domain_target_sizes, (std::vector<double>{0.5, 0, -2}));
  EXPECT_TRUE(coarse.prefer_quads);
  EXPECT_EQ(coarse.options, kKeepBoundary);

  request.options = kKeepBoundary;
  EXPECT_EQ(CoarseRequestForAllQuads(request).target_size, 0.5);
  EXPECT_FALSE(CoarseRequestForAllQuads(request).prefer_quads);
}

}  // namespace
}  // namespace mesh

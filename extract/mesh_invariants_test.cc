#include "extract/mesh_invariants.h"

#include <functional>

#include <gtest/gtest.h>

namespace mesh {
namespace {

// Two unit squares side by side in a tilted plane: domain 1 on the left,
// domain 2 on the right, sharing segment 1 (points 1-4). A hand-made
// answer with a node in the middle of the bottom-right edge.
struct TwoSquares {
  MeshRequest request;
  PlanarComplexMesh answer;

  TwoSquares() {
    // Plane spanned by (0.6, 0, 0.8) and (0, 1, 0) through (10, 20, 30).
    auto at = [](double u, double v) {
      return Point3{10 + 0.6 * u, 20 + v, 30 + 0.8 * u};
    };
    //  3 --- 4 --- 5
    //  |  1  |  2  |
    //  0 --- 1 -6- 2
    request.points = {at(0, 0), at(1, 0), at(2, 0), at(0, 1), at(1, 1), at(2, 1)};
    request.segments = {{0, 1, 1, 0}, {1, 4, 1, 2}, {4, 3, 1, 0}, {3, 0, 1, 0},
                        {1, 2, 2, 0}, {2, 5, 2, 0}, {5, 4, 2, 0}};
    request.target_size = 1.0;
    answer.vertices = request.points;
    answer.vertices.push_back(at(1.5, 0));
    answer.quads = {{0, 1, 4, 3}};
    answer.quad_domains = {1};
    answer.triangles = {{1, 6, 4}, {6, 2, 5}, {6, 5, 4}};
    answer.triangle_domains = {2, 2, 2};
    answer.point_vertex = {0, 1, 2, 3, 4, 5};
    answer.segment_chains = {{0, 1}, {1, 4}, {4, 3}, {3, 0}, {1, 6, 2}, {2, 5}, {5, 4}};
  }
};

TEST(MeshInvariantsTest, SoundAnswerHasNoProblems) {
  const TwoSquares t;
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer), std::vector<std::string>{});
}

TEST(MeshInvariantsTest, EachBrokenInvariantIsNamed) {
  struct Case {
    const char* name;
    std::function<void(MeshRequest*, PlanarComplexMesh*)> spoil;
    const char* problem;  // a substring of one of the problems
  } cases[] = {
      {"failed job", [](MeshRequest*, PlanarComplexMesh* a) { *a = PlanarComplexMesh(); },
       "no vertices"},
      {"domains out of step",
       [](MeshRequest*, PlanarComplexMesh* a) { a->triangle_domains.pop_back(); },
       "2 triangle domains for 3 triangles"},
      {"corner out of range", [](MeshRequest*, PlanarComplexMesh* a) { a->quads[0][2] = 7; },
       "quad 0 corner 2 is 7, outside the 7 vertices"},
      {"negative point_vertex", [](MeshRequest*, PlanarComplexMesh* a) { a->point_vertex[3] = -1; },
       "point_vertex[3] is -1"},
      {"chain entry out of range",
       [](MeshRequest*, PlanarComplexMesh* a) { a->segment_chains[4][1] = 70; },
       "chain 4 entry 1 is 70"},
      {"vertex off the plane", [](MeshRequest*, PlanarComplexMesh* a) { a->vertices[6].z += 1e-6; },
       "off the plane of the mesh"},
      {"point tied to the wrong vertex",
       [](MeshRequest*, PlanarComplexMesh* a) { a->point_vertex[2] = 6; },
       "point_vertex[2] = 6 lies 0.5 m"},
      {"point a hair beyond the snap tolerance",
       [](MeshRequest* r, PlanarComplexMesh*) { r->points[0].y += 1.01e-6; },
       "point_vertex[0] = 0 lies"},
      {"chain not starting at point_a's vertex",
       [](MeshRequest*, PlanarComplexMesh* a) { a->segment_chains[4] = {6, 2}; },
       "chain 4 runs 6..2, not point_vertex 1..2"},
      {"chain entry off the segment",
       [](MeshRequest*, PlanarComplexMesh* a) { a->segment_chains[0] = {0, 6, 1}; },
       "past the segment's ends"},
      {"chain out of order",
       [](MeshRequest*, PlanarComplexMesh* a) { a->segment_chains[4] = {1, 2, 6, 2}; },
       "steps back along the segment"},
      {"element in an unnamed domain",
       [](MeshRequest*, PlanarComplexMesh* a) { a->triangle_domains[1] = 3; },
       "triangle 1 lies in domain 3, which no request segment names"},
      {"element in the wrong named domain",
       [](MeshRequest*, PlanarComplexMesh* a) { a->triangle_domains[1] = 1; },
       "domain 1: elements cover"},
      {"element missing",
       [](MeshRequest*, PlanarComplexMesh* a) {
         a->triangles.pop_back();
         a->triangle_domains.pop_back();
       },
       "elements cover"},
      {"element turned over",
       [](MeshRequest*, PlanarComplexMesh* a) { a->triangles[0] = {1, 4, 6}; },
       "triangle 0 has no area: it is collapsed, folded or turned over"},
      {"element collapsed", [](MeshRequest*, PlanarComplexMesh* a) { a->triangles[2] = {6, 5, 5}; },
       "triangle 2 has no area"},
      {"quad folded over", [](MeshRequest*, PlanarComplexMesh* a) { a->quads[0] = {0, 1, 3, 4}; },
       "quad 0 has no area"},
      {"chain entry beside the segment, but within any target-sized band",
       [](MeshRequest*, PlanarComplexMesh* a) {
         a->vertices.push_back(a->vertices[6]);
         a->vertices.back().y += 1e-4;
         a->segment_chains[4] = {1, 7, 2};
       },
       "chain 4 entry 1 (vertex 7) lies 0.0001 m off the segment"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TwoSquares t;
    c.spoil(&t.request, &t.answer);
    const std::vector<std::string> problems = CheckMeshInvariants(t.request, t.answer);
    bool named = false;
    for (const std::string& line : problems) named = named || line.find(c.problem) != std::string::npos;
    EXPECT_TRUE(named) << ::testing::PrintToString(problems);
  }
}

// An interior-only point put on the bottom edge of domain 2 splits it, and
// the chain of segment 4 steps over the point's vertex. At the point's foot
// on the edge that is sound; a step through a vertex away from the edge
// dents the boundary, however the areas add up.
TEST(MeshInvariantsTest, AChainStepsOverAnInteriorPointOnlyAlongItsSegment) {
  auto with_point_at = [](double v) {
    TwoSquares t;
    const Point3 point{10 + 0.6 * 1.5, 20 + v, 30 + 0.8 * 1.5};
    t.request.points.push_back(point);
    t.request.interior_only = {6};
    t.answer.vertices[6] = point;
    t.answer.point_vertex.push_back(6);
    t.answer.segment_chains[4] = {1, 2};
    return t;
  };
  const TwoSquares on_edge = with_point_at(0.0);
  EXPECT_EQ(CheckMeshInvariants(on_edge.request, on_edge.answer), std::vector<std::string>{});

  const TwoSquares inside = with_point_at(0.3);
  const std::vector<std::string> problems = CheckMeshInvariants(inside.request, inside.answer);
  bool named = false;
  for (const std::string& line : problems) {
    named = named || line.find("chain 4: vertex 6, between 1 and 2, lies 0.3 m off the segment") !=
                         std::string::npos;
  }
  EXPECT_TRUE(named) << ::testing::PrintToString(problems);
}

TEST(MeshInvariantsTest, DomainsBelowOneAreOutside) {
  // Domain 2 renumbered -2: the mesher leaves it empty, as it does domain 0.
  TwoSquares t;
  for (BoundarySegment& s : t.request.segments) {
    if (s.left_domain == 2) s.left_domain = -2;
    if (s.right_domain == 2) s.right_domain = -2;
  }
  t.answer.triangles.clear();
  t.answer.triangle_domains.clear();
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer), std::vector<std::string>{});

  t.answer.triangles = {{1, 6, 4}};
  t.answer.triangle_domains = {-2};
  const std::vector<std::string> problems = CheckMeshInvariants(t.request, t.answer);
  ASSERT_FALSE(problems.empty());
  EXPECT_EQ(problems[0], "triangle 0 lies in domain -2, outside every domain");
}

TEST(MeshInvariantsTest, ChainLinksMustBeEdges) {
  TwoSquares t;
  // Vertex 6 left out of the bottom-right chain: still along the segment,
  // but 1-2 is no element edge.
  t.answer.segment_chains[4] = {1, 2};
  const std::vector<std::string> problems = CheckMeshInvariants(t.request, t.answer);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "chain 4: vertices 1 and 2 are not joined by an element edge");

  // A segment with no domain on either side has no elements to join.
  t.request.segments[1].right_domain = 0;
  t.request.segments[4].left_domain = -1;
  t.request.segments[5].left_domain = -1;
  t.request.segments[6].left_domain = -1;
  t.answer.triangles.clear();
  t.answer.triangle_domains.clear();
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer), std::vector<std::string>{});
}

TEST(MeshInvariantsTest, InteriorPointsMaySplitABoundaryEdge) {
  // Interior-only point 6 at (1.5, 0.02), inserted on the bottom-right
  // edge 1-2 (chain 4 keeps stepping from 1 to 2): the triangles end at it,
  // leaving a sliver of 0.01 m^2 between them and the segment.
  TwoSquares t;
  t.request.points.push_back({10 + 0.6 * 1.5, 20.02, 30 + 0.8 * 1.5});
  t.request.interior_only = {6};
  t.answer.vertices[6] = t.request.points[6];
  t.answer.point_vertex.push_back(6);
  t.answer.segment_chains[4] = {1, 2};
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer), std::vector<std::string>{});

  // Not an interior-only point: the chain is broken, and the sliver missing.
  t.request.interior_only.clear();
  const std::vector<std::string> problems = CheckMeshInvariants(t.request, t.answer);
  ASSERT_EQ(problems.size(), 3u);
  EXPECT_EQ(problems[0], "chain 4: vertices 1 and 2 are not joined by an element edge");
  EXPECT_NE(problems[1].find("elements cover"), std::string::npos);
  EXPECT_NE(problems[2].find("domain 2: elements cover"), std::string::npos);
}

TEST(MeshInvariantsTest, KeptSegmentsAreSplitOnlyByInteriorPoints) {
  TwoSquares t;
  t.request.options = kKeepBoundary;
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer),
            std::vector<std::string>{"chain 4 entry 1 (vertex 6) splits a segment kept as one edge"});

  // The caller's own interior-only point on the segment may split it.
  t.request.points.push_back(t.answer.vertices[6]);
  t.request.interior_only = {6};
  t.answer.point_vertex.push_back(6);
  EXPECT_EQ(CheckMeshInvariants(t.request, t.answer), std::vector<std::string>{});
}

TEST(MeshInvariantsTest, LongListsAreCutShort) {
  TwoSquares t;
  for (auto& chain : t.answer.segment_chains) chain.assign(30, -1);
  const std::vector<std::string> problems = CheckMeshInvariants(t.request, t.answer);
  ASSERT_GT(problems.size(), 1u);
  EXPECT_LT(problems.size(), 50u);
  EXPECT_NE(problems.back().find("more problems not listed"), std::string::npos);
}

}  // namespace
}  // namespace mesh

#include "extract/interior_insertion.h"

#include <cmath>

#include <gtest/gtest.h>

#include "extract/plain_interior_insertion_testing.h"

namespace mesh {
namespace {

using Triangles = std::vector<std::array<int32_t, 3>>;
using Quads = std::vector<std::array<int32_t, 4>>;

// A frame that moves plane coordinates well away from the 3-D origin, so a
// vertex written without FromPlane would show.
PlanarFrame TiltedFrame() {
  PlanarFrame frame;
  frame.origin = {100, -200, 300};
  frame.u_axis = {0.6, 0.8, 0};
  frame.v_axis = {0, 0, 1};
  return frame;
}

//   3 ----- 4 ----- 5      quad 0 (0,1,4,3) in domain 1;
//   |       |     / |      triangles 0 (1,2,5) and 1 (1,5,4) in domain 2.
//   |   q   |  t1/  |      Edge 1-4 is shared by the quad and triangle 1.
//   |       |  / t0 |
//   0 ----- 1 ----- 2
// Smallest target size 0.05: capture tolerances at their floors, 0.005 for
// vertices and 0.002 for edges.
struct InsertionFixture {
  PlanarFrame frame = TiltedFrame();
  std::vector<PlanePoint> nodes = {{0, 0}, {1, 0}, {2, 0}, {0, 1}, {1, 1}, {2, 1}};
  PlanarComplexMesh record;

  InsertionFixture() {
    for (const PlanePoint& p : nodes) record.vertices.push_back(frame.FromPlane(p));
    record.quads = {{0, 1, 4, 3}};
    record.quad_domains = {1};
    record.triangles = {{1, 2, 5}, {1, 5, 4}};
    record.triangle_domains = {2, 2};
  }
  int32_t Insert(PlanePoint p) { return InsertInteriorPoint(p, frame, 0.05, &nodes, &record); }

  double TotalArea() const {
    double twice = 0.0;
    auto add = [&](const int32_t* c, size_t n) {
      for (size_t j = 0; j < n; ++j) {
        const PlanePoint& a = nodes[c[j]];
        const PlanePoint& b = nodes[c[(j + 1) % n]];
        twice += a.u * b.v - a.v * b.u;
      }
    };
    for (const auto& q : record.quads) add(q.data(), 4);
    for (const auto& t : record.triangles) add(t.data(), 3);
    return 0.5 * twice;
  }
};

TEST(CaptureTolerancesTest, ScaleWithTheSmallestSizeAboveTheirFloors) {
  EXPECT_DOUBLE_EQ(InteriorCaptureTolerances(1.0).node, 0.05);
  EXPECT_DOUBLE_EQ(InteriorCaptureTolerances(1.0).edge, 0.02);
  EXPECT_EQ(InteriorCaptureTolerances(0.05).node, 0.005);
  EXPECT_EQ(InteriorCaptureTolerances(0.05).edge, 0.002);
}

TEST(TriangleContainsTest, EdgesAndEitherTurnCount) {
  const PlanePoint a{0, 0}, b{1, 0}, c{0, 1};
  struct Case {
    const char* name;
    PlanePoint p;
    bool inside;
  } cases[] = {
      {"inside", {0.25, 0.25}, true},
      {"on an edge", {0.5, 0}, true},
      {"on a corner", {1, 0}, true},
      {"a hair outside the long edge", {0.5 + 1e-12, 0.5}, true},
      {"outside", {0.6, 0.6}, false},
      {"beyond a corner", {-0.01, -0.01}, false},
  };
  for (const Case& k : cases) {
    EXPECT_EQ(TriangleContains(a, b, c, k.p), k.inside) << k.name;
    EXPECT_EQ(TriangleContains(a, c, b, k.p), k.inside) << k.name << ", clockwise";
  }
  EXPECT_FALSE(TriangleContains(a, b, {2, 0}, {0.5, 0})) << "zero area";
}

TEST(InsertInteriorPointTest, NearbyVertexIsReused) {
  InsertionFixture f;
  const PlanarComplexMesh before = f.record;
  // 0.004 from vertex 1 and right on two edges: the vertex wins.
  EXPECT_EQ(f.Insert({1.0, 0.004}), 1);
  EXPECT_EQ(f.nodes.size(), 6u);
  EXPECT_EQ(f.record.vertices.size(), 6u);
  EXPECT_EQ(f.record.quads, before.quads);
  EXPECT_EQ(f.record.triangles, before.triangles);
}

TEST(InsertInteriorPointTest, SharedInnerEdgeSplitsBothElements) {
  InsertionFixture f;
  f.record.triangle_domains = {1, 1};  // edge 1-4 now lies inside domain 1
  const PlanePoint p{1.001, 0.5};
  ASSERT_EQ(f.Insert(p), 6);
  // Inside one domain the vertex stays at the point, off the edge.
  ASSERT_EQ(f.nodes.size(), 7u);
  EXPECT_EQ(f.nodes[6].u, p.u);
  EXPECT_EQ(f.nodes[6].v, p.v);
  ASSERT_EQ(f.record.vertices.size(), 7u);
  const Point3 expected = f.frame.FromPlane(p);
  EXPECT_EQ(f.record.vertices[6].x, expected.x);
  EXPECT_EQ(f.record.vertices[6].y, expected.y);
  EXPECT_EQ(f.record.vertices[6].z, expected.z);
  // One quad fewer, four triangles more: the quad's fan from edge 1-4
  // (its position 1), then triangle 1's (position 2), after the survivor.
  EXPECT_TRUE(f.record.quads.empty());
  EXPECT_TRUE(f.record.quad_domains.empty());
  EXPECT_EQ(f.record.triangles,
            (Triangles{{1, 2, 5}, {6, 4, 3}, {6, 3, 0}, {6, 0, 1}, {6, 1, 5}, {6, 5, 4}}));
  EXPECT_EQ(f.record.triangle_domains, (std::vector<int32_t>{1, 1, 1, 1, 1, 1}));
  EXPECT_DOUBLE_EQ(f.TotalArea(), 2.0);
}

// Edges the caller drew (between two domains, or with the outside) must not
// move: the vertex goes onto the edge at the point's foot, so no domain gains
// or loses area and the boundary stays where the caller put it.
TEST(InsertInteriorPointTest, EdgesOnTheCallersBoundaryKeepTheirPlace) {
  struct Case {
    const char* name;
    PlanePoint p;
    PlanePoint vertex;
    Triangles triangles;
    std::vector<int32_t> domains;
  } cases[] = {
      {"between domains 1 and 2", {1.001, 0.5}, {1.0, 0.5},
       {{1, 2, 5}, {6, 4, 3}, {6, 3, 0}, {6, 0, 1}, {6, 1, 5}, {6, 5, 4}}, {2, 1, 1, 1, 2, 2}},
      {"outer boundary, point outside", {0.5, -0.001}, {0.5, 0.0},
       {{1, 2, 5}, {1, 5, 4}, {6, 1, 4}, {6, 4, 3}, {6, 3, 0}}, {2, 2, 1, 1, 1}},
      {"outer boundary, point inside", {0.5, 0.001}, {0.5, 0.0},
       {{1, 2, 5}, {1, 5, 4}, {6, 1, 4}, {6, 4, 3}, {6, 3, 0}}, {2, 2, 1, 1, 1}},
  };
  for (const Case& c : cases) {
    InsertionFixture f;
    ASSERT_EQ(f.Insert(c.p), 6) << c.name;
    EXPECT_EQ(f.nodes[6].u, c.vertex.u) << c.name;
    EXPECT_EQ(f.nodes[6].v, c.vertex.v) << c.name;
    EXPECT_TRUE(f.record.quads.empty()) << c.name;
    EXPECT_EQ(f.record.triangles, c.triangles) << c.name;
    EXPECT_EQ(f.record.triangle_domains, c.domains) << c.name;
    EXPECT_DOUBLE_EQ(f.TotalArea(), 2.0) << c.name;
  }
}

TEST(InsertInteriorPointTest, EdgeSharedByTwoQuadsSplitsBoth) {
  InsertionFixture f;
  f.record.quads = {{0, 1, 4, 3}, {1, 2, 5, 4}};
  f.record.quad_domains = {1, 2};
  f.record.triangles.clear();
  f.record.triangle_domains.clear();
  ASSERT_EQ(f.Insert({1.0, 0.5}), 6);
  EXPECT_TRUE(f.record.quads.empty());
  EXPECT_TRUE(f.record.quad_domains.empty());
  EXPECT_EQ(f.record.triangles,
            (Triangles{{6, 4, 3}, {6, 3, 0}, {6, 0, 1}, {6, 1, 2}, {6, 2, 5}, {6, 5, 4}}));
  EXPECT_EQ(f.record.triangle_domains, (std::vector<int32_t>{1, 1, 1, 2, 2, 2}));
  EXPECT_DOUBLE_EQ(f.TotalArea(), 2.0);
}

TEST(InsertInteriorPointTest, EquallyNearEdgesGoToTheFirst) {
  // A quad 3 mm thin with a triangle on top: the point lies halfway between
  // the quad's bottom edge (its first) and its top edge (shared with the
  // triangle). The first wins, so the triangle stays whole.
  InsertionFixture f;
  f.nodes = {{0, 0}, {1, 0}, {1, 0.003}, {0, 0.003}, {0.5, 1}};
  f.record.vertices.resize(5);
  f.record.quads = {{0, 1, 2, 3}};
  f.record.quad_domains = {1};
  f.record.triangles = {{3, 2, 4}};
  f.record.triangle_domains = {1};
  ASSERT_EQ(f.Insert({0.5, 0.0015}), 5);
  EXPECT_EQ(f.record.triangles, (Triangles{{3, 2, 4}, {5, 1, 2}, {5, 2, 3}, {5, 3, 0}}));
}

TEST(InsertInteriorPointTest, PointInsideAnElementSplitsIt) {
  struct Case {
    const char* name;
    PlanePoint p;
    Quads quads;
    Triangles triangles;
    std::vector<int32_t> triangle_domains;
  } cases[] = {
      {"quad into four", {0.3, 0.6}, {},
       {{1, 2, 5}, {1, 5, 4}, {0, 1, 6}, {1, 4, 6}, {4, 3, 6}, {3, 0, 6}}, {2, 2, 1, 1, 1, 1}},
      {"triangle into three", {1.8, 0.3}, {{0, 1, 4, 3}},
       {{1, 5, 4}, {1, 2, 6}, {2, 5, 6}, {5, 1, 6}}, {2, 2, 2, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    InsertionFixture f;
    ASSERT_EQ(f.Insert(c.p), 6);
    EXPECT_EQ(f.record.quads, c.quads);
    EXPECT_EQ(f.record.quad_domains.size(), c.quads.size());
    EXPECT_EQ(f.record.triangles, c.triangles);
    EXPECT_EQ(f.record.triangle_domains, c.triangle_domains);
    EXPECT_DOUBLE_EQ(f.TotalArea(), 2.0);
  }
}

TEST(InsertInteriorPointTest, LaterPointsSeeEarlierInsertions) {
  InsertionFixture f;
  ASSERT_EQ(f.Insert({0.5, 0.5}), 6);
  // 3 mm from the vertex just added: reused.
  EXPECT_EQ(f.Insert({0.503, 0.5}), 6);
  // Inside one of the quad's replacement triangles, which splits in turn.
  EXPECT_EQ(f.Insert({0.5, 0.2}), 7);
  EXPECT_EQ(f.record.triangles.size(), 2u + 4u - 1u + 3u);
  EXPECT_DOUBLE_EQ(f.TotalArea(), 2.0);
}

TEST(InsertInteriorPointTest, PointOutsideTheMeshChangesNothing) {
  InsertionFixture f;
  EXPECT_EQ(f.Insert({3, 3}), -1);
  EXPECT_EQ(f.nodes.size(), 6u);
  EXPECT_EQ(f.record.vertices.size(), 6u);
  EXPECT_EQ(f.record.quads.size(), 1u);
  EXPECT_EQ(f.record.triangles.size(), 2u);

  // Without elements only a vertex close by can take a point.
  f.record.quads.clear();
  f.record.quad_domains.clear();
  f.record.triangles.clear();
  f.record.triangle_domains.clear();
  EXPECT_EQ(f.Insert({0.5, 0.5}), -1);
  EXPECT_EQ(f.Insert({2.003, 1.0}), 5);
}

}  // namespace
}  // namespace mesh

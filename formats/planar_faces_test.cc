#include "formats/planar_faces.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

// Vertex i comes from line i + 1, segment i from line 101 + i, so that a
// message's numbers say which record it blames.
struct Graph {
  std::vector<GraphVertex> vertices;
  std::vector<GraphSegment> segments;
};

Graph MakeGraph(const std::vector<std::pair<double, double>>& points,
                const std::vector<std::pair<int, int>>& ends) {
  Graph graph;
  for (const auto& p : points) {
    graph.vertices.push_back(
        GraphVertex{p.first, p.second, static_cast<int>(graph.vertices.size()) + 1});
  }
  for (const auto& e : ends) {
    graph.segments.push_back(
        GraphSegment{e.first, e.second, static_cast<int>(graph.segments.size()) + 101});
  }
  return graph;
}

std::string CheckError(const Graph& graph, long long base = 0) {
  std::string error;
  if (CheckGraph("g", graph.vertices, graph.segments, base, &error)) return "(clean)";
  return error;
}

TEST(CheckGraphTest, RefusesContactsAwayFromSharedEnds) {
  const std::vector<std::pair<double, double>> line = {{0, 0}, {2, 0}, {1, 0}};
  struct Case {
    Graph graph;
    long long base;
    std::string error;
  } cases[] = {
      {MakeGraph({{0, 0}, {1, 0}}, {{0, 1}, {1, 1}}), 0,
       "g:102: segment 1 (line 102) joins a vertex to itself"},
      // Repeated the other way round, numbered from 1 as the file does.
      {MakeGraph({{0, 0}, {1, 0}, {0, 1}}, {{0, 1}, {1, 2}, {1, 0}}), 1,
       "g:103: segment 3 (line 103) repeats segment 1 (line 101)"},
      {MakeGraph({{0, 0}, {1, 0}, {0, 0}}, {{0, 1}, {2, 1}}), 0,
       "g:3: vertex 2 (line 3) is at the same place as vertex 0 (line 1)"},
      {MakeGraph({{0, 0}, {2, 2}, {0, 2}, {2, 0}}, {{0, 1}, {2, 3}}), 0,
       "g:101: segment 0 (line 101) and segment 1 (line 102) cross or touch away from a shared "
       "vertex; split them where they meet"},
      // One segment's end on the other's inside: a T, not a crossing.
      {MakeGraph({{0, 0}, {2, 0}, {1, 0}, {1, 1}}, {{0, 1}, {2, 3}}), 0,
       "g:101: segment 0 (line 101) and segment 1 (line 102) cross or touch away from a shared "
       "vertex; split them where they meet"},
      // Two segments from one vertex along one line overlap.
      {MakeGraph(line, {{0, 1}, {0, 2}}), 0,
       "g:101: segment 0 (line 101) and segment 1 (line 102) cross or touch away from a shared "
       "vertex; split them where they meet"},
      {MakeGraph(line, {{0, 1}}), 0,
       "g:3: vertex 2 (line 3) lies on segment 0 (line 101); split the segment there"},
      {MakeGraph({{0, 0}, {2, 0}, {2, 2}, {0, 2}}, {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {1, 0}}), 0,
       "g:105: segment 4 (line 105) repeats segment 0 (line 101)"},
  };
  for (const Case& c : cases) EXPECT_EQ(CheckError(c.graph, c.base), c.error);

  // Collinear segments end to end, and segments meeting at a shared end at
  // any angle, are clean.
  EXPECT_EQ(CheckError(MakeGraph({{0, 0}, {1, 0}, {2, 0}, {1, 1e-9}}, {{0, 1}, {1, 2}, {1, 3}})),
            "(clean)");
}

// The three nested squares below: 0-3 a 4 x 4 square, 4-7 a 2 x 2 one
// inside it (listed clockwise), 8-11 a 1 x 1 island inside that.
Graph NestedSquares() {
  return MakeGraph({{0, 0}, {4, 0}, {4, 4}, {0, 4},
                    {1, 1}, {1, 3}, {3, 3}, {3, 1},
                    {1.5, 1.5}, {2.5, 1.5}, {2.5, 2.5}, {1.5, 2.5}},
                   {{0, 1}, {1, 2}, {2, 3}, {3, 0},
                    {4, 5}, {5, 6}, {6, 7}, {7, 4},
                    {8, 9}, {9, 10}, {10, 11}, {11, 8}});
}

TEST(PlanarFacesTest, APieceInsideAFaceBelongsToTheSmallestFaceAroundIt) {
  const Graph graph = NestedSquares();
  ASSERT_EQ(CheckError(graph), "(clean)");
  const PlanarFaces faces(graph.vertices, graph.segments);
  const int ring = faces.FaceOf(0.5, 0.5);
  const int inner_ring = faces.FaceOf(1.2, 1.2);
  const int island = faces.FaceOf(2, 2);
  EXPECT_NE(ring, PlanarFaces::kOutside);
  EXPECT_NE(inner_ring, PlanarFaces::kOutside);
  EXPECT_NE(island, PlanarFaces::kOutside);
  EXPECT_NE(ring, inner_ring);
  EXPECT_NE(inner_ring, island);
  EXPECT_NE(ring, island);
  EXPECT_EQ(faces.FaceOf(5, 5), PlanarFaces::kOutside);

  // Half-edge 2s runs from a to b, 2s + 1 back. The outer square runs
  // counter-clockwise, so its inside is on the left; the middle square runs
  // clockwise, so its inside is on the right and the outer ring on the left.
  for (size_t s = 0; s < 4; ++s) {
    EXPECT_EQ(faces.FaceLeftOf(2 * s), ring) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * s + 1), PlanarFaces::kOutside) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * (4 + s)), ring) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * (4 + s) + 1), inner_ring) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * (8 + s)), island) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * (8 + s) + 1), inner_ring) << s;
  }
}

TEST(PlanarFacesTest, ADanglingSegmentHasTheSameFaceOnBothSides) {
  // A 2 x 2 square with one segment from a corner into it and one from the
  // same corner out of it.
  const Graph graph = MakeGraph({{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0.5}, {-1, -0.5}},
                                {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {0, 4}, {0, 5}});
  ASSERT_EQ(CheckError(graph), "(clean)");
  const PlanarFaces faces(graph.vertices, graph.segments);
  const int square = faces.FaceOf(1.5, 1.5);
  ASSERT_NE(square, PlanarFaces::kOutside);
  EXPECT_EQ(faces.FaceOf(1, 0.2), square);
  for (size_t s = 0; s < 4; ++s) {
    EXPECT_EQ(faces.FaceLeftOf(2 * s), square) << s;
    EXPECT_EQ(faces.FaceLeftOf(2 * s + 1), PlanarFaces::kOutside) << s;
  }
  EXPECT_EQ(faces.FaceLeftOf(2 * 4), square);
  EXPECT_EQ(faces.FaceLeftOf(2 * 4 + 1), square);
  EXPECT_EQ(faces.FaceLeftOf(2 * 5), PlanarFaces::kOutside);
  EXPECT_EQ(faces.FaceLeftOf(2 * 5 + 1), PlanarFaces::kOutside);
}

TEST(PlanarFacesTest, AVertexOfDegreeFourSeparatesItsFaces) {
  // A 2 x 2 square cut into quarters by a cross through its centre (vertex
  // 8), each side split at its middle (4 to 7).
  const Graph cross = MakeGraph(
      {{0, 0}, {2, 0}, {2, 2}, {0, 2}, {1, 0}, {2, 1}, {1, 2}, {0, 1}, {1, 1}},
      {{0, 4}, {4, 1}, {1, 5}, {5, 2}, {2, 6}, {6, 3}, {3, 7}, {7, 0},
       {8, 5}, {8, 6}, {8, 7}, {8, 4}});
  ASSERT_EQ(CheckError(cross), "(clean)");
  const PlanarFaces faces(cross.vertices, cross.segments);
  const int south_west = faces.FaceOf(0.5, 0.5), south_east = faces.FaceOf(1.5, 0.5);
  const int north_east = faces.FaceOf(1.5, 1.5), north_west = faces.FaceOf(0.5, 1.5);
  const std::vector<int> quarters = {south_west, south_east, north_east, north_west};
  for (size_t i = 0; i < quarters.size(); ++i) {
    EXPECT_NE(quarters[i], PlanarFaces::kOutside) << i;
    for (size_t j = 0; j < i; ++j) EXPECT_NE(quarters[i], quarters[j]) << i << " " << j;
  }
  // The spokes from the centre: east, north, west, south.
  EXPECT_EQ(faces.FaceLeftOf(2 * 8), north_east);
  EXPECT_EQ(faces.FaceLeftOf(2 * 8 + 1), south_east);
  EXPECT_EQ(faces.FaceLeftOf(2 * 9), north_west);
  EXPECT_EQ(faces.FaceLeftOf(2 * 9 + 1), north_east);
  EXPECT_EQ(faces.FaceLeftOf(2 * 10), south_west);
  EXPECT_EQ(faces.FaceLeftOf(2 * 10 + 1), north_west);
  EXPECT_EQ(faces.FaceLeftOf(2 * 11), south_east);
  EXPECT_EQ(faces.FaceLeftOf(2 * 11 + 1), south_west);

  // Two squares touching at one corner: around that corner the outside
  // comes between them twice, and the squares stay two faces.
  const Graph bow_tie = MakeGraph({{0, 0}, {1, 0}, {1, 1}, {0, 1}, {2, 1}, {2, 2}, {1, 2}},
                                  {{0, 1}, {1, 2}, {2, 3}, {3, 0}, {2, 4}, {4, 5}, {5, 6}, {6, 2}});
  ASSERT_EQ(CheckError(bow_tie), "(clean)");
  const PlanarFaces tie(bow_tie.vertices, bow_tie.segments);
  const int lower = tie.FaceOf(0.5, 0.5), upper = tie.FaceOf(1.5, 1.5);
  EXPECT_NE(lower, PlanarFaces::kOutside);
  EXPECT_NE(upper, PlanarFaces::kOutside);
  EXPECT_NE(lower, upper);
  EXPECT_EQ(tie.FaceOf(1.5, 0.5), PlanarFaces::kOutside);
  EXPECT_EQ(tie.FaceOf(0.5, 1.5), PlanarFaces::kOutside);
  for (size_t s = 0; s < 8; ++s) {
    EXPECT_EQ(tie.FaceLeftOf(2 * s), s < 4 ? lower : upper) << s;
    EXPECT_EQ(tie.FaceLeftOf(2 * s + 1), PlanarFaces::kOutside) << s;
  }
}

}  // namespace
}  // namespace mesh

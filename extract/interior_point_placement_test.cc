#include "extract/interior_point_placement.h"

#include <cmath>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(ShapeQualityTest, BestShapesScoreOneAndTurnedOrCollapsedOnesNothing) {
  const PlanePoint a{0, 0}, b{1, 0}, c{0.5, std::sqrt(3.0) / 2}, d{0, 1}, e{1, 1};
  EXPECT_NEAR(TriangleShapeQuality(a, b, c, 1.0), 1.0, 1e-12);
  EXPECT_LT(TriangleShapeQuality(a, c, b, 1.0), 0.0);
  EXPECT_GT(TriangleShapeQuality(a, c, b, -1.0), 0.99);
  EXPECT_LE(TriangleShapeQuality(a, b, b, 1.0), 0.0);
  // 20 degrees at the sharpest corner.
  const PlanePoint far{std::cos(20 * M_PI / 180) * 3, std::sin(20 * M_PI / 180) * 3};
  EXPECT_NEAR(TriangleShapeQuality(a, {3, 0}, far, 1.0),
              std::sin(20 * M_PI / 180) / std::sin(M_PI / 3), 1e-12);
  EXPECT_NEAR(QuadShapeQuality(a, b, e, d, 1.0), 1.0, 1e-12);
  // A corner of nearly 180 degrees is a triangle in disguise.
  EXPECT_LT(QuadShapeQuality(a, b, {1, 0.01}, {0.5, 0.005}, 1.0), 0.02);
  // Not convex: the reflex corner's sine is negative.
  EXPECT_LT(QuadShapeQuality(a, {2, 0}, {1, 0.3}, {0, 2}, 1.0), 0.0);
}

// A square of n x n cells, each cut into two triangles, counter-clockwise;
// the boundary as the mesher would report it.
struct GridMesh {
  std::vector<PlanePoint> nodes;
  PlanarComplexMesh record;
  std::vector<BoundaryEdge> boundary;
  int n;

  explicit GridMesh(int cells) : n(cells) {
    for (int r = 0; r <= n; ++r) {
      for (int c = 0; c <= n; ++c) {
        nodes.push_back({static_cast<double>(c), static_cast<double>(r)});
      }
    }
    record.vertices.resize(nodes.size());
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        const int32_t a = At(r, c), b = At(r, c + 1), d = At(r + 1, c + 1), e = At(r + 1, c);
        record.triangles.push_back({a, b, d});
        record.triangles.push_back({a, d, e});
        record.triangle_domains.insert(record.triangle_domains.end(), 2, 1);
      }
    }
    for (int k = 0; k < n; ++k) {
      for (auto [p, q] : {std::pair{At(0, k), At(0, k + 1)}, {At(k, n), At(k + 1, n)},
                          {At(n, k), At(n, k + 1)}, {At(k, 0), At(k + 1, 0)}}) {
        BoundaryEdge edge;
        edge.nodes = {p + 1, q + 1};
        boundary.push_back(edge);
      }
    }
  }
  int32_t At(int r, int c) const { return r * (n + 1) + c; }
  bool OnBoundary(int32_t v) const {
    const int r = v / (n + 1), c = v % (n + 1);
    return r == 0 || c == 0 || r == n || c == n;
  }
  double WorstQuality() const {
    double worst = 2;
    for (const auto& t : record.triangles) {
      worst = std::min(worst, TriangleShapeQuality(nodes[t[0]], nodes[t[1]], nodes[t[2]], 1.0));
    }
    return worst;
  }
  double Area() const {
    double twice = 0;
    for (const auto& t : record.triangles) {
      const PlanePoint &p = nodes[t[0]], &q = nodes[t[1]], &s = nodes[t[2]];
      twice += (q.u - p.u) * (s.v - p.v) - (q.v - p.v) * (s.u - p.u);
    }
    return twice / 2;
  }
};

TEST(LocalMeshShaperTest, MovesOnlyAFreeVertexAndOnlyWhereNothingFolds) {
  GridMesh grid(4);
  LocalMeshShaper shaper(&grid.nodes, &grid.record, std::vector<char>(grid.nodes.size(), 0),
                         grid.boundary);
  // Next to the boundary vertex (1, 0), but the free vertex (1, 1) is the
  // only one in reach that can stand for it.
  const int32_t moved = shaper.MoveFreeVertexOnto({1.0, 0.45}, 0.9);
  ASSERT_EQ(moved, grid.At(1, 1));
  EXPECT_EQ(grid.nodes[moved].u, 1.0);
  EXPECT_EQ(grid.nodes[moved].v, 0.45);
  // Held now, it is not taken again; nothing free is in reach.
  EXPECT_EQ(shaper.MoveFreeVertexOnto({1.0, 0.55}, 0.6), -1);
  // Only a boundary vertex is in reach: nothing moves.
  EXPECT_EQ(shaper.MoveFreeVertexOnto({4.0, 2.1}, 0.5), -1);
  EXPECT_EQ(grid.nodes[grid.At(2, 4)].v, 2.0);
}

TEST(LocalMeshShaperTest, EveningOutLiftsTheWorstAndHoldsBoundaryPointsAndArea) {
  GridMesh grid(6);
  // A point's vertex pulled close to a neighbour, as a moved vertex is.
  const int32_t point = grid.At(3, 3);
  grid.nodes[point] = {3.4, 3.35};
  grid.nodes[grid.At(2, 2)] = {2.6, 2.3};
  const double area = grid.Area();
  const double worst_before = grid.WorstQuality();
  const std::vector<PlanePoint> before = grid.nodes;
  std::vector<char> held(grid.nodes.size(), 0);
  held[point] = 1;
  LocalMeshShaper shaper(&grid.nodes, &grid.record, held, grid.boundary);
  shaper.EvenOutAround({point}, 3, 8);
  PlanarFrame frame;
  shaper.Finish(frame);

  EXPECT_GT(grid.WorstQuality(), worst_before + 0.1);
  EXPECT_GT(grid.WorstQuality(), std::sin(20 * M_PI / 180) / std::sin(M_PI / 3));
  EXPECT_NEAR(grid.Area(), area, 1e-9);
  EXPECT_EQ(grid.record.triangles.size(), 72u);
  for (size_t v = 0; v < grid.nodes.size(); ++v) {
    if (grid.OnBoundary(static_cast<int32_t>(v)) || static_cast<int32_t>(v) == point) {
      EXPECT_EQ(grid.nodes[v].u, before[v].u) << v;
      EXPECT_EQ(grid.nodes[v].v, before[v].v) << v;
    }
  }
  // Moved vertices are lifted into 3-D where the frame puts them.
  const Point3 lifted = frame.FromPlane(grid.nodes[grid.At(2, 2)]);
  EXPECT_EQ(grid.record.vertices[grid.At(2, 2)].x, lifted.x);
  // No boundary edge was flipped away: every one is still an element edge.
  for (const BoundaryEdge& edge : grid.boundary) {
    const int32_t a = edge.nodes[0] - 1, b = edge.nodes[1] - 1;
    bool found = false;
    for (const auto& t : grid.record.triangles) {
      for (int j = 0; j < 3; ++j) {
        if ((t[j] == a && t[(j + 1) % 3] == b) || (t[j] == b && t[(j + 1) % 3] == a)) found = true;
      }
    }
    EXPECT_TRUE(found) << a << "-" << b;
  }
}

TEST(LocalMeshShaperTest, PoorQuadAtAPointBecomesTwoBetterTriangles) {
  std::vector<PlanePoint> nodes = {{0, 0}, {1, 0}, {0.5, 0.52}, {0, 1}, {3, 3}};
  PlanarComplexMesh record;
  record.vertices.resize(nodes.size());
  record.quads = {{0, 1, 2, 3}, {1, 4, 4, 2}};
  record.quad_domains = {7, 7};
  record.point_vertex = {2};
  SplitPoorQuadsAtPoints(nodes, 0.3, &record);
  // The first quad's corner at 2 is nearly straight; the second quad has no
  // better split and stays.
  ASSERT_EQ(record.quads.size(), 1u);
  EXPECT_EQ(record.quads[0][1], 4);
  ASSERT_EQ(record.triangles.size(), 2u);
  EXPECT_EQ(record.triangle_domains, (std::vector<int32_t>{7, 7}));
}

}  // namespace
}  // namespace mesh

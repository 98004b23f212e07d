// The grid searches against the plain scans they replace, on many seeded
// random cases built to hit the scans' tie rules: nodes on a coarse lattice
// (equal distances everywhere), duplicates, nodes exactly at a tolerance,
// points on shared edges and corners, flat elements, and node sets squeezed
// onto a line or far from the origin.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <optional>
#include <string>
#include <vector>

#include "extract/extract.h"
#include "extract/interior_insertion.h"
#include "extract/node_mapping.h"
#include "extract/plain_interior_insertion_testing.h"
#include "extract/point_grid.h"
#include "extract/segment_chains.h"
#include "planar/interior_point_sizes.h"
#include "testing/surface_mesh.h"

namespace mesh {
namespace {

using test::TestSurfaceMesh;
using Random = std::mt19937;

double Uniform(Random& random, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(random);
}
int Pick(Random& random, int lo, int hi) {
  return std::uniform_int_distribution<int>(lo, hi)(random);
}

// Where a case's nodes lie: a square, a flat strip, a single line, one
// spot, or a square far from the origin.
PlanePoint Place(Random& random, int layout, double spread) {
  // Half of all coordinates on a lattice, so that distances tie.
  auto coordinate = [&](double lo, double hi) {
    if (Pick(random, 0, 1) == 0) return lo + (hi - lo) * Pick(random, 0, 8) / 8.0;
    return Uniform(random, lo, hi);
  };
  switch (layout) {
    case 0:
      return {coordinate(-spread, spread), coordinate(-spread, spread)};
    case 1:
      return {coordinate(-spread, spread), coordinate(-spread * 1e-3, spread * 1e-3)};
    case 2:
      return {0.25, coordinate(-spread, spread)};
    case 3:
      return {0.5, -0.5};
    default:
      return {12345.0 + coordinate(0, spread), -6789.0 + coordinate(0, spread)};
  }
}

std::vector<PlanePoint> RandomNodes(Random& random, int layout, double spread, int count) {
  std::vector<PlanePoint> nodes;
  for (int i = 0; i < count; ++i) {
    if (!nodes.empty() && Pick(random, 0, 9) == 0) {
      nodes.push_back(nodes[Pick(random, 0, static_cast<int>(nodes.size()) - 1)]);
    } else {
      nodes.push_back(Place(random, layout, spread));
    }
  }
  return nodes;
}

// A point near a node: on it, at exactly `radius` along an axis, just
// inside or outside, or anywhere.
PlanePoint NearNode(Random& random, const PlanePoint& node, double radius) {
  switch (Pick(random, 0, 5)) {
    case 0:
      return node;
    case 1:
      return {node.u + radius, node.v};
    case 2:
      return {node.u, node.v - radius};
    case 3:
      return {node.u + radius * 0.999, node.v + radius * 0.01};
    case 4:
      return {node.u - radius * 1.001, node.v};
    default:
      return {node.u + Uniform(random, -3, 3) * radius, node.v + Uniform(random, -3, 3) * radius};
  }
}

TEST(GridSearchTest, NearestNodeWithinARadiusIsTheScansNode) {
  Random random(1);
  for (int trial = 0; trial < 3000; ++trial) {
    const int layout = trial % 5;
    const double spread = std::pow(10.0, Pick(random, -3, 2));
    const std::vector<PlanePoint> nodes = RandomNodes(random, layout, spread, Pick(random, 1, 300));
    const PointGrid grid(nodes, nodes.size());
    const double radius = spread * std::pow(10.0, Pick(random, -4, 0));
    for (int q = 0; q < 20; ++q) {
      const PlanePoint p =
          NearNode(random, nodes[Pick(random, 0, static_cast<int>(nodes.size()) - 1)], radius);
      const NearestNode plain = FindNearestNode(nodes, p);
      const NearestNode fast = FindNearestNodeWithin(grid, nodes, p, radius);
      if (plain.distance_squared <= radius * radius) {
        ASSERT_EQ(fast.index, plain.index) << "trial " << trial;
        ASSERT_EQ(fast.distance_squared, plain.distance_squared) << "trial " << trial;
      } else {
        ASSERT_EQ(fast.index, -1) << "trial " << trial;
      }
    }
  }
}

TEST(GridSearchTest, MatchingRequestPointsGivesTheScansOutcome) {
  Random random(2);
  for (int trial = 0; trial < 1500; ++trial) {
    const int layout = trial % 5;
    const double spread = std::pow(10.0, Pick(random, -2, 1));
    const std::vector<PlanePoint> nodes = RandomNodes(random, layout, spread, Pick(random, 1, 200));
    ExtractTolerances tolerances;
    tolerances.snap = spread * std::pow(10.0, Pick(random, -6, -1));
    tolerances.interior_match = tolerances.snap * Pick(random, 1, 50);
    std::vector<PlanePoint> points;
    std::vector<bool> interior;
    const int point_count = Pick(random, 1, 30);
    for (int i = 0; i < point_count; ++i) {
      interior.push_back(Pick(random, 0, 2) == 0);
      const PlanePoint& node = nodes[Pick(random, 0, static_cast<int>(nodes.size()) - 1)];
      // Mostly matched points, so that a refusal does not end every case
      // at its first point.
      points.push_back(
          Pick(random, 0, 9) == 0
              ? NearNode(random, node,
                         interior.back() ? tolerances.interior_match : tolerances.snap)
              : node);
    }
    const PointGrid grid(nodes, nodes.size());
    std::vector<int32_t> plain_vertex, fast_vertex;
    std::vector<size_t> plain_pending, fast_pending;
    const std::optional<StageRefusal> plain =
        MatchRequestPoints(nodes, points, interior, tolerances, &plain_vertex, &plain_pending);
    const std::optional<StageRefusal> fast =
        MatchRequestPoints(nodes, points, interior, tolerances, &fast_vertex, &fast_pending, &grid);
    ASSERT_EQ(fast.has_value(), plain.has_value()) << "trial " << trial;
    ASSERT_EQ(fast_vertex, plain_vertex) << "trial " << trial;
    ASSERT_EQ(fast_pending, plain_pending) << "trial " << trial;
    if (plain.has_value()) ASSERT_EQ(fast->line, plain->line) << "trial " << trial;
  }
}

// --- Interior points -------------------------------------------------------

// A rows x columns patch of jittered quads, some cut into triangles (either
// diagonal), some left flat or folded, in a few domains.
struct RandomMesh {
  std::vector<PlanePoint> nodes;
  PlanarComplexMesh record;
};

RandomMesh MakeRandomMesh(Random& random, double cell, bool far_away) {
  RandomMesh mesh;
  const int rows = Pick(random, 1, 12), columns = Pick(random, 1, 12);
  const double jitter = Pick(random, 0, 2) == 0 ? 0.0 : 0.2 * cell;
  const double u0 = far_away ? 5000.0 : 0.0;
  for (int r = 0; r <= rows; ++r) {
    for (int c = 0; c <= columns; ++c) {
      mesh.nodes.push_back({u0 + c * cell + Uniform(random, -jitter, jitter),
                            r * cell + Uniform(random, -jitter, jitter)});
    }
  }
  auto at = [columns](int r, int c) { return static_cast<int32_t>(r * (columns + 1) + c); };
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < columns; ++c) {
      const int32_t a = at(r, c), b = at(r, c + 1), d = at(r + 1, c + 1), e = at(r + 1, c);
      const int32_t domain = Pick(random, 1, 3);
      switch (Pick(random, 0, 5)) {
        case 0:
          mesh.record.triangles.push_back({a, b, d});
          mesh.record.triangles.push_back({a, d, e});
          mesh.record.triangle_domains.insert(mesh.record.triangle_domains.end(), 2, domain);
          break;
        case 1:
          mesh.record.triangles.push_back({b, d, e});
          mesh.record.triangles.push_back({e, a, b});
          mesh.record.triangle_domains.insert(mesh.record.triangle_domains.end(), 2, domain);
          break;
        case 2:
          // Clockwise, and a flat one beside it.
          mesh.record.quads.push_back({a, e, d, b});
          mesh.record.quad_domains.push_back(domain);
          mesh.record.triangles.push_back({a, b, b});
          mesh.record.triangle_domains.push_back(domain);
          break;
        default:
          mesh.record.quads.push_back({a, b, d, e});
          mesh.record.quad_domains.push_back(domain);
      }
    }
  }
  std::shuffle(mesh.record.quads.begin(), mesh.record.quads.end(), random);
  std::shuffle(mesh.record.triangles.begin(), mesh.record.triangles.end(), random);
  return mesh;
}

void ExpectSameRecord(const PlanarComplexMesh& fast, const PlanarComplexMesh& plain,
                      const std::string& where) {
  ASSERT_EQ(fast.vertices.size(), plain.vertices.size()) << where;
  for (size_t i = 0; i < fast.vertices.size(); ++i) {
    ASSERT_EQ(fast.vertices[i].x, plain.vertices[i].x) << where;
    ASSERT_EQ(fast.vertices[i].y, plain.vertices[i].y) << where;
    ASSERT_EQ(fast.vertices[i].z, plain.vertices[i].z) << where;
  }
  ASSERT_EQ(fast.quads, plain.quads) << where;
  ASSERT_EQ(fast.quad_domains, plain.quad_domains) << where;
  ASSERT_EQ(fast.triangles, plain.triangles) << where;
  ASSERT_EQ(fast.triangle_domains, plain.triangle_domains) << where;
  ASSERT_EQ(fast.point_vertex, plain.point_vertex) << where;
  ASSERT_EQ(fast.segment_chains, plain.segment_chains) << where;
}

TEST(GridSearchTest, InsertingPointsLeavesTheScansMesh) {
  Random random(4);
  PlanarFrame frame;
  frame.origin = {1, 2, 3};
  frame.u_axis = {0, 1, 0};
  frame.v_axis = {0, 0, 1};
  int edge_splits = 0, element_splits = 0, reuses = 0, outside = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    // From elements far smaller than the 5 mm capture distance to ones far
    // larger, so every way of inserting comes up.
    const double cell = std::pow(10.0, Uniform(random, -2.7, -0.5));
    RandomMesh mesh = MakeRandomMesh(random, cell, trial % 7 == 0);
    for (const PlanePoint& p : mesh.nodes) mesh.record.vertices.push_back(frame.FromPlane(p));
    const double smallest_target_size = std::pow(10.0, Uniform(random, -2, 0));
    const CaptureTolerances tolerances = InteriorCaptureTolerances(smallest_target_size);

    std::vector<PlanePoint> points;
    for (int i = 0; i < Pick(random, 1, 25); ++i) {
      const PlanePoint& n1 = mesh.nodes[Pick(random, 0, static_cast<int>(mesh.nodes.size()) - 1)];
      const PlanePoint& n2 = mesh.nodes[Pick(random, 0, static_cast<int>(mesh.nodes.size()) - 1)];
      switch (Pick(random, 0, 5)) {
        case 0:
          points.push_back(NearNode(random, n1, tolerances.node));
          break;
        case 1: {  // on or beside the line between two nodes, often an edge
          const double t = Pick(random, 0, 1) == 0 ? 0.5 : Uniform(random, 0, 1);
          const double off =
              Pick(random, 0, 1) == 0 ? 0.0 : Uniform(random, -2, 2) * tolerances.edge;
          points.push_back({n1.u + t * (n2.u - n1.u) + off, n1.v + t * (n2.v - n1.v)});
          break;
        }
        case 2:  // close to the previous point
          if (!points.empty()) {
            points.push_back({points.back().u + tolerances.node * 0.6, points.back().v});
            break;
          }
          [[fallthrough]];
        default:
          points.push_back(
              {Uniform(random, mesh.nodes.front().u - cell, mesh.nodes.back().u + cell),
               Uniform(random, mesh.nodes.front().v - cell, mesh.nodes.back().v + cell)});
      }
    }

    std::vector<PlanePoint> plain_nodes = mesh.nodes, fast_nodes = mesh.nodes;
    PlanarComplexMesh plain = mesh.record, fast = mesh.record;
    const PointGrid grid(fast_nodes, fast_nodes.size());
    InteriorPointInserter inserter(grid, frame, smallest_target_size, &fast_nodes, &fast);
    for (size_t i = 0; i < points.size(); ++i) {
      const size_t before = plain_nodes.size();
      const size_t quads_before = plain.quads.size();
      const size_t triangles_before = plain.triangles.size();
      const int32_t expected =
          InsertInteriorPoint(points[i], frame, smallest_target_size, &plain_nodes, &plain);
      ASSERT_EQ(inserter.Insert(points[i]), expected) << "trial " << trial << " point " << i;
      // An element split adds three or four triangles for one element gone;
      // an edge split adds two or three for each of the (usually two).
      const size_t added =
          plain.triangles.size() + (quads_before - plain.quads.size()) - triangles_before;
      if (plain_nodes.size() > before) (added <= 4 ? element_splits : edge_splits) += 1;
      reuses += expected >= 0 && plain_nodes.size() == before;
      outside += expected < 0;
    }
    inserter.Finish();
    ExpectSameRecord(fast, plain, "trial " + std::to_string(trial));
    ASSERT_EQ(fast_nodes.size(), plain_nodes.size());
  }
  RecordProperty("edge_splits", edge_splits);
  RecordProperty("element_splits", element_splits);
  RecordProperty("reuses", reuses);
  RecordProperty("outside", outside);
  EXPECT_GT(edge_splits, 1000);
  EXPECT_GT(element_splits, 600);
  EXPECT_GT(reuses, 1000);
  EXPECT_GT(outside, 300);
}

// The whole extraction on a mesh large enough for it to use the grid,
// against the stage composed from the plain scans.
TEST(GridSearchTest, ExtractionOnALargeMeshIsThePlainOne) {
  // The plain scans stand for the split insertion alone.
  const ScopedSplitInsertion split;
  Random random(5);
  for (int trial = 0; trial < 6; ++trial) {
    const int n = 120;
    const double cell = 1.0 / n;
    TestSurfaceMesh mesh;
    for (int r = 0; r <= n; ++r) {
      for (int c = 0; c <= n; ++c) {
        const bool inner = r > 0 && r < n && c > 0 && c < n;
        const double jitter = inner ? 0.15 * cell : 0.0;
        mesh.nodes.push_back({c * cell + Uniform(random, -jitter, jitter),
                              r * cell + Uniform(random, -jitter, jitter)});
      }
    }
    auto number = [n](int r, int c) { return static_cast<int32_t>(r * (n + 1) + c + 1); };
    for (int r = 0; r < n; ++r) {
      for (int c = 0; c < n; ++c) {
        if (Pick(random, 0, 4) == 0) {
          mesh.AddTriangle(number(r, c), number(r, c + 1), number(r + 1, c + 1), 1);
          mesh.AddTriangle(number(r, c), number(r + 1, c + 1), number(r + 1, c), 1);
        } else {
          mesh.AddQuad(number(r, c), number(r, c + 1), number(r + 1, c + 1), number(r + 1, c), 1);
        }
      }
    }
    // The boundary in 4 x `per_side` segments through boundary nodes, and
    // interior-only points scattered inside.
    MeshRequest request;
    request.target_size = cell;
    const int per_side = 8;
    const int step = n / per_side;
    std::vector<std::pair<int, int>> corners;
    for (int i = 0; i < per_side; ++i) corners.push_back({0, i * step});
    for (int i = 0; i < per_side; ++i) corners.push_back({i * step, n});
    for (int i = 0; i < per_side; ++i) corners.push_back({n, n - i * step});
    for (int i = 0; i < per_side; ++i) corners.push_back({n - i * step, 0});
    for (const auto& [r, c] : corners) request.points.push_back({c * cell, r * cell, 0});
    const int32_t count = static_cast<int32_t>(corners.size());
    for (int32_t i = 0; i < count; ++i) {
      request.segments.push_back({i, (i + 1) % count, 1, 0});
      // The lattice nodes from this corner to the next, as the mesher would
      // have divided the segment.
      const auto [r0, c0] = corners[i];
      const auto [r1, c1] = corners[(i + 1) % count];
      std::vector<int32_t> along;
      for (int k = 0; k <= step; ++k) {
        along.push_back(number(r0 + (r1 - r0) / step * k, c0 + (c1 - c0) / step * k));
      }
      mesh.AddBoundaryChain(i, along);
    }
    for (int i = 0; i < 40; ++i) {
      request.interior_only.push_back(static_cast<int32_t>(request.points.size()));
      request.points.push_back({Uniform(random, 0.01, 0.99), Uniform(random, 0.01, 0.99), 0});
    }
    std::vector<PlanePoint> plane_points;
    for (const Point3& p : request.points) plane_points.push_back({p.x, p.y});
    PlanarFrame frame;
    frame.u_axis = {1, 0, 0};
    frame.v_axis = {0, 1, 0};

    const PlanarComplexMesh fast =
        ExtractToPlanarComplexMesh(mesh, frame, plane_points, request).record;
    ASSERT_FALSE(fast.vertices.empty());

    // The same stage, scan by scan.
    std::vector<PlanePoint> nodes = mesh.nodes;
    const ExtractTolerances tolerances = ComputeExtractTolerances(request);
    PlanarComplexMesh plain;
    std::vector<size_t> pending;
    ASSERT_FALSE(MatchRequestPoints(nodes, plane_points, InteriorOnlyFlags(request), tolerances,
                                    &plain.point_vertex, &pending)
                     .has_value());
    for (const PlanePoint& p : nodes) plain.vertices.push_back(frame.FromPlane(p));
    for (const SurfaceElement& e : mesh.elements) {
      if (e.node_count == 4) {
        plain.quads.push_back({e.nodes[0] - 1, e.nodes[1] - 1, e.nodes[2] - 1, e.nodes[3] - 1});
        plain.quad_domains.push_back(e.domain);
      } else {
        plain.triangles.push_back({e.nodes[0] - 1, e.nodes[1] - 1, e.nodes[2] - 1});
        plain.triangle_domains.push_back(e.domain);
      }
    }
    for (size_t i : pending) {
      plain.point_vertex[i] = InsertInteriorPoint(plane_points[i], frame,
                                                  tolerances.smallest_target_size, &nodes, &plain);
    }
    ChainInputs inputs;
    inputs.segments = &request.segments;
    inputs.plane_points = &plane_points;
    inputs.point_vertex = &plain.point_vertex;
    inputs.boundary_edges = &mesh.boundary_edges;
    inputs.snap_tolerance = tolerances.snap;
    ASSERT_FALSE(BuildSegmentChains(inputs, &plain.segment_chains).has_value());
    ASSERT_FALSE(pending.empty());
    ExpectSameRecord(fast, plain, "trial " + std::to_string(trial));
  }
}

}  // namespace
}  // namespace mesh

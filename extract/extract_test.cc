#include "extract/extract.h"

#include <functional>
#include <future>
#include <string>
#include <utility>

#include <gtest/gtest.h>

#include "extract/elements.h"
#include "extract/mesh_invariants.h"
#include "planar/interior_point_sizes.h"
#include "common/netgen_lock.h"
#include "testing/shapes.h"
#include "testing/surface_mesh.h"

namespace mesh {
namespace {

using test::TestSurfaceMesh;
using Triangles = std::vector<std::array<int32_t, 3>>;
using Quads = std::vector<std::array<int32_t, 4>>;
using Chains = std::vector<std::vector<int32_t>>;

// The unit square tilted out of the xy plane and moved far from the origin,
// as a request and the frame and plane coordinates the first stage would
// hand over. Request points 0-3 are the corners (segments 0-3, domain 1 on
// the left); point 4 at (0.25, 0.5) is interior-only.
struct SquareJob {
  MeshRequest request;
  PlanarFrame frame;
  std::vector<PlanePoint> plane_points;

  SquareJob() {
    frame.origin = {1000, 2000, -500};
    frame.u_axis = {0.6, 0, 0.8};
    frame.v_axis = {0, 1, 0};
    plane_points = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.25, 0.5}};
    request = test::UnitSquareRequest(0.5);
    // Its corners and the interior point where the tilted frame puts them.
    request.points.clear();
    for (const PlanePoint& p : plane_points) request.points.push_back(frame.FromPlane(p));
    request.interior_only = {4};
  }
  Extraction Run(const SurfaceMesh& mesh) const {
    return ExtractToPlanarComplexMesh(mesh, frame, plane_points, request);
  }
};

// The mesher's answer for SquareJob, numbered unlike the request, with
// second-order elements in between that must be skipped. Interior point 4
// is not a node; it lies inside the quad.
//   4 ---- 6 ---- 5     quad (1, 2, 6, 4) on the left half,
//   |  q   |    / |     triangles (2, 3, 5) and (2, 5, 6) on the right
//   |      |  /   |     (node numbers, from 1).
//   1 ---- 2 ---- 3
TestSurfaceMesh SquareMesh() {
  TestSurfaceMesh mesh;
  mesh.nodes = {{0, 0}, {0.5, 0}, {1, 0}, {0, 1}, {1, 1}, {0.5, 1}};
  mesh.AddQuad(1, 2, 6, 4, 1);
  mesh.elements.push_back({6, {2, 3, 5, 6}, 1});
  mesh.AddTriangle(2, 3, 5, 1);
  mesh.elements.push_back({8, {1, 2, 3, 4}, 1});
  mesh.AddTriangle(2, 5, 6, 1);
  mesh.AddBoundaryChain(0, {1, 2, 3});
  mesh.AddBoundaryChain(1, {3, 5});
  mesh.AddBoundaryChain(2, {5, 6, 4});
  mesh.AddBoundaryChain(3, {4, 1});
  return mesh;
}

TEST(ExtractTest, SquareMeshInTheCallersNumbering) {
  // The numbers below are the split's; the shaped placement has tests of
  // its own.
  const ScopedSplitInsertion split;
  const SquareJob job;
  const TestSurfaceMesh mesh = SquareMesh();
  const Extraction extraction = job.Run(mesh);
  EXPECT_FALSE(extraction.refusal.has_value());
  const PlanarComplexMesh& result = extraction.record;

  // Six vertices for the nodes, then the interior point, which fell into
  // the quad (split into four triangles).
  ASSERT_EQ(result.vertices.size(), 7u);
  for (size_t k = 0; k < mesh.nodes.size(); ++k) {
    const Point3 expected = job.frame.FromPlane(mesh.nodes[k]);
    EXPECT_EQ(result.vertices[k].x, expected.x) << k;
    EXPECT_EQ(result.vertices[k].y, expected.y) << k;
    EXPECT_EQ(result.vertices[k].z, expected.z) << k;
  }
  EXPECT_EQ(result.point_vertex, (std::vector<int32_t>{0, 2, 4, 3, 6}));
  EXPECT_EQ(result.quads, Quads{});
  EXPECT_EQ(result.triangles, (Triangles{{1, 2, 4}, {1, 4, 5}, {0, 1, 6}, {1, 5, 6},
                                         {5, 3, 6}, {3, 0, 6}}));
  EXPECT_EQ(result.triangle_domains, std::vector<int32_t>(6, 1));
  EXPECT_EQ(result.segment_chains, (Chains{{0, 1, 2}, {2, 4}, {4, 5, 3}, {3, 0}}));
  EXPECT_EQ(CheckMeshInvariants(job.request, result), std::vector<std::string>{});
}

TEST(ExtractTest, ElementsKeepTheirOrderCornersAndDomains) {
  TestSurfaceMesh mesh = SquareMesh();
  mesh.elements[0].domain = 7;
  mesh.elements[2].domain = 7;
  PlanarComplexMesh result;
  AppendSurfaceElements(mesh, &result);
  EXPECT_EQ(result.quads, (Quads{{0, 1, 5, 3}}));
  EXPECT_EQ(result.quad_domains, std::vector<int32_t>{7});
  EXPECT_EQ(result.triangles, (Triangles{{1, 2, 4}, {1, 4, 5}}));
  EXPECT_EQ(result.triangle_domains, (std::vector<int32_t>{7, 1}));
}

TEST(ExtractTest, ChainsAreTheMeshersDivisionOfEachSegment) {
  // Node 7 lies a hair inside segment 0's line, nearer than any band would
  // tell apart from rounding, but the mesher did not put it on the segment:
  // it is an interior node (of the quad, now split around it).
  const SquareJob job;
  TestSurfaceMesh mesh = SquareMesh();
  mesh.nodes.push_back({0.25, 1e-12});
  mesh.elements[0] = {4, {1, 2, 6, 4}, 1};
  MeshRequest request = job.request;
  request.interior_only.clear();
  request.points.pop_back();
  std::vector<PlanePoint> plane_points = job.plane_points;
  plane_points.pop_back();
  // The edges of one segment may come in any order and either way round.
  std::swap(mesh.boundary_edges[0], mesh.boundary_edges[1]);
  std::swap(mesh.boundary_edges[0].nodes[0], mesh.boundary_edges[0].nodes[1]);
  std::swap(mesh.boundary_edges[0].positions[0], mesh.boundary_edges[0].positions[1]);
  const Extraction result = ExtractToPlanarComplexMesh(mesh, job.frame, plane_points, request);
  EXPECT_FALSE(result.refusal.has_value());
  EXPECT_EQ(result.record.segment_chains, (Chains{{0, 1, 2}, {2, 4}, {4, 5, 3}, {3, 0}}));
}

TEST(ExtractTest, NoAnswerFailingItsOwnCheckGoesOut) {
  // Spoilt meshes whose boundary disagrees with their elements: the check is
  // what is tested, on what the split leaves.
  const ScopedSplitInsertion split;
  struct Case {
    const char* name;
    std::function<void(TestSurfaceMesh*)> spoil;
    const char* line;
  } cases[] = {
      {"a chain stepping over a node",
       [](TestSurfaceMesh* m) {
         m->boundary_edges.erase(m->boundary_edges.begin(), m->boundary_edges.begin() + 2);
         m->AddBoundaryChain(0, {1, 3});
       },
       "chain 0: vertices 0 and 2 are not joined by an element edge"},
      {"an element collapsed",
       [](TestSurfaceMesh* m) { m->AddTriangle(2, 2, 6, 1); },
       "triangle 2 has no area: it is collapsed, folded or turned over (perimeter 2 m)"},
      {"an area missing",
       [](TestSurfaceMesh* m) {
         // Triangle 2-5-6 cut down to two around node 7 inside it, leaving
         // out 2-7-6 (0.05 m^2) and keeping every boundary edge.
         m->nodes.push_back({0.6, 0.8});
         m->elements.pop_back();
         m->AddTriangle(2, 5, 7, 1);
         m->AddTriangle(5, 6, 7, 1);
       },
       "elements cover 0.95 m^2, the region 1 m^2 (relative difference -0.05)"},
      {"no elements at all",
       [](TestSurfaceMesh* m) {
         m->elements.clear();
         m->nodes.push_back({0.25, 0.5});  // Netgen kept the interior point
       },
       "chain 0: vertices 0 and 1 are not joined by an element edge"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TestSurfaceMesh mesh = SquareMesh();
    c.spoil(&mesh);
    const Extraction result = SquareJob().Run(mesh);
    EXPECT_EQ(EncodePlanarComplexMesh(result.record), EncodePlanarComplexMesh(PlanarComplexMesh()));
    ASSERT_TRUE(result.refusal.has_value());
    EXPECT_EQ(result.refusal->key, RefusalKey::kSelfCheckFailed);
    EXPECT_EQ(result.refusal->line, std::string("[meshing] ExtractToPlanarComplexMesh: answer "
                                                "failed its own check: ") +
                                        c.line + "; returning empty");
  }
}

TEST(ExtractTest, FailuresGiveTheEmptyRecordAndOneLine) {
  struct Case {
    const char* name;
    TestSurfaceMesh mesh;
    const char* line;
  } cases[] = {
      {"no nodes", TestSurfaceMesh(),
       "[meshing] ExtractToPlanarComplexMesh: Netgen returned 0 mesh nodes; returning empty"},
      {"a corner moved", SquareMesh(),
       "[meshing] ExtractToPlanarComplexMesh: input point 1 not preserved by Netgen "
       "(closest mesh node dist\xC2\xB2=0.0001, tol\xC2\xB2=2.5e-13); returning empty"},
      {"interior point outside every element", SquareMesh(),
       "[meshing] ExtractToPlanarComplexMesh: interior input point 4 dropped by Netgen and "
       "outside every mesh element; returning empty"},
      {"a node clamped in front of point 0's", SquareMesh(),
       "[meshing] ExtractToPlanarComplexMesh: segment 0 chain endpoints mismatch "
       "(got front=0 back=2, expected 6 \xE2\x86\x94 2); returning empty"},
  };
  cases[1].mesh.nodes[2] = {1.01, 0};
  cases[2].mesh.elements = {cases[2].mesh.elements[2]};
  // Point 0 goes to a new node at its exact place, while node 1, a hair
  // past the start of segment 0, clamps onto the same end and comes first.
  cases[3].mesh.nodes[0] = {-3e-7, 0};
  cases[3].mesh.nodes.push_back({0, 0});
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Extraction result = SquareJob().Run(c.mesh);
    // All seven arrays empty, nothing half-built left behind.
    EXPECT_EQ(EncodePlanarComplexMesh(result.record), EncodePlanarComplexMesh(PlanarComplexMesh()));
    ASSERT_TRUE(result.refusal.has_value());
    EXPECT_EQ(result.refusal->stage, MeshingStage::kExtractToPlanarComplexMesh);
    EXPECT_EQ(result.refusal->line, c.line);
  }
}

// Reads the lock's state from another thread, where try_lock is defined
// even while this thread holds it.
bool NetgenLockHeldElsewhere() {
  return std::async(std::launch::async, [] {
           if (!netgen_lock.try_lock()) return true;
           netgen_lock.unlock();
           return false;
         }).get();
}

class LockWatchingMesh : public TestSurfaceMesh {
 public:
  mutable bool always_locked = true;
  int32_t NodeCount() const override {
    always_locked = always_locked && NetgenLockHeldElsewhere();
    return TestSurfaceMesh::NodeCount();
  }
  SurfaceElement Element(size_t index) const override {
    always_locked = always_locked && NetgenLockHeldElsewhere();
    return TestSurfaceMesh::Element(index);
  }
};

TEST(ExtractTest, ReadsTheMeshUnderTheLockAndReleasesIt) {
  LockWatchingMesh mesh;
  static_cast<TestSurfaceMesh&>(mesh) = SquareMesh();
  EXPECT_FALSE(SquareJob().Run(mesh).record.vertices.empty());
  EXPECT_TRUE(mesh.always_locked);
  EXPECT_FALSE(NetgenLockHeldElsewhere());

  LockWatchingMesh empty;
  EXPECT_TRUE(SquareJob().Run(empty).refusal.has_value());
  EXPECT_TRUE(empty.always_locked);
  EXPECT_FALSE(NetgenLockHeldElsewhere());
}

}  // namespace
}  // namespace mesh

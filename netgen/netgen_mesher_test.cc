// These tests run the real Netgen in this process.
#include "netgen/netgen_mesher.h"

#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>

#include "netgen/meshing_passes.h"
#include "common/netgen_lock.h"
#include "netgen/netgen_start.h"
#include "netgen/runaway_watch.h"
#include "planar/build_planar_mesh.h"
#include "testing/loops.h"
#include "testing/plane_points.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::FlatPlanePoints;
using test::TwoDomainRectangleRequest;
using test::UnitSquareRequest;

struct Meshed {
  std::shared_ptr<SurfaceMesh> mesh;
  std::vector<std::string> lines;
  int passes = 0;
};

// Meshes with the real mesher, counting its passes.
Meshed MeshWithNetgen(const MeshRequest& request) {
  std::lock_guard<std::mutex> hold(netgen_lock);
  Meshed meshed;
  PlaneMeshing meshing = MeshPlaneWithNetgen(
      request, FlatPlanePoints(request.points),
      [&meshed](netgen::SplineGeometry2d& geometry, std::shared_ptr<netgen::Mesh>& mesh,
                netgen::MeshingParameters& parameters) {
        ++meshed.passes;
        return GenerateMeshWithNetgen(geometry, mesh, parameters);
      });
  meshed.mesh = meshing.mesh;
  meshed.lines = meshing.notes;
  if (meshing.refusal.has_value()) meshed.lines.push_back(meshing.refusal->line);
  return meshed;
}

double SignedArea(const SurfaceMesh& mesh, const SurfaceElement& element) {
  double twice = 0;
  for (int i = 0; i < element.node_count; ++i) {
    PlanePoint a = mesh.Node(element.nodes[i]);
    PlanePoint b = mesh.Node(element.nodes[(i + 1) % element.node_count]);
    twice += a.u * b.v - b.u * a.v;
  }
  return twice / 2;
}

struct DomainSummary {
  double area = 0;
  double min_u = INFINITY;
  double max_u = -INFINITY;
};

// Checks what holds for every well-formed mesh and sums it up per domain.
std::map<int32_t, DomainSummary> Summarize(const SurfaceMesh& mesh,
                                           std::set<int32_t>* node_counts) {
  std::map<int32_t, DomainSummary> domains;
  for (size_t i = 0; i < mesh.ElementCount(); ++i) {
    SurfaceElement element = mesh.Element(i);
    node_counts->insert(element.node_count);
    EXPECT_TRUE(element.node_count == 3 || element.node_count == 4) << i;
    for (int k = 0; k < element.node_count; ++k) {
      EXPECT_GE(element.nodes[k], 1);
      EXPECT_LE(element.nodes[k], mesh.NodeCount());
    }
    DomainSummary& summary = domains[element.domain];
    double area = SignedArea(mesh, element);
    EXPECT_GT(area, 0) << "element " << i << " is not counter-clockwise";
    summary.area += area;
    for (int k = 0; k < element.node_count; ++k) {
      summary.min_u = std::min(summary.min_u, mesh.Node(element.nodes[k]).u);
      summary.max_u = std::max(summary.max_u, mesh.Node(element.nodes[k]).u);
    }
  }
  return domains;
}

bool HasNode(const SurfaceMesh& mesh, double u, double v) {
  for (int32_t n = 1; n <= mesh.NodeCount(); ++n) {
    if (std::abs(mesh.Node(n).u - u) < 1e-12 && std::abs(mesh.Node(n).v - v) < 1e-12) {
      return true;
    }
  }
  return false;
}

TEST(NetgenMesherTest, UnitSquareMeshesInTheQuadPass) {
  Meshed meshed = MeshWithNetgen(UnitSquareRequest(0.25));
  ASSERT_NE(meshed.mesh, nullptr);
  EXPECT_TRUE(meshed.lines.empty());
  EXPECT_EQ(meshed.passes, 1);
  std::set<int32_t> node_counts;
  auto domains = Summarize(*meshed.mesh, &node_counts);
  EXPECT_EQ(node_counts, std::set<int32_t>{4});
  ASSERT_EQ(domains.size(), 1u);
  EXPECT_NEAR(domains[1].area, 1.0, 1e-12);
  for (PlanePoint corner : {PlanePoint{0, 0}, PlanePoint{1, 0}, PlanePoint{1, 1},
                            PlanePoint{0, 1}}) {
    EXPECT_TRUE(HasNode(*meshed.mesh, corner.u, corner.v)) << corner.u << " " << corner.v;
  }
  // 0.25 along a unit side: at least the 16 cells of a regular grid.
  EXPECT_GE(meshed.mesh->ElementCount(), 16u);
}

TEST(NetgenMesherTest, TrianglesOnlyWhenQuadsAreNotPreferred) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.prefer_quads = false;
  Meshed meshed = MeshWithNetgen(request);
  ASSERT_NE(meshed.mesh, nullptr);
  EXPECT_TRUE(meshed.lines.empty());
  std::set<int32_t> node_counts;
  auto domains = Summarize(*meshed.mesh, &node_counts);
  EXPECT_EQ(node_counts, std::set<int32_t>{3});
  EXPECT_NEAR(domains[1].area, 1.0, 1e-12);
}

TEST(NetgenMesherTest, TwoDomainsEachMeshTheirOwnSide) {
  Meshed meshed = MeshWithNetgen(TwoDomainRectangleRequest());
  ASSERT_NE(meshed.mesh, nullptr);
  EXPECT_TRUE(meshed.lines.empty());
  std::set<int32_t> node_counts;
  auto domains = Summarize(*meshed.mesh, &node_counts);
  ASSERT_EQ(domains.size(), 2u);
  EXPECT_NEAR(domains[1].area, 1.0, 1e-12);
  EXPECT_NEAR(domains[2].area, 1.0, 1e-12);
  EXPECT_LE(domains[1].max_u, 1.0 + 1e-12);
  EXPECT_GE(domains[2].min_u, 1.0 - 1e-12);
}

TEST(NetgenMesherTest, ElementsCarryTheCallersDomainNumbers) {
  // Netgen would keep arrays as long as the largest number and mesh every
  // number below it; these come back unchanged and in well under a second.
  MeshRequest request = TwoDomainRectangleRequest();
  for (BoundarySegment& segment : request.segments) {
    for (int32_t* domain : {&segment.left_domain, &segment.right_domain}) {
      if (*domain == 1) *domain = 2000000000;
      if (*domain == 2) *domain = 9;
    }
  }
  request.domain_target_sizes = {0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.1, 0.5};
  Meshed meshed = MeshWithNetgen(request);
  ASSERT_NE(meshed.mesh, nullptr);
  std::set<int32_t> node_counts;
  auto domains = Summarize(*meshed.mesh, &node_counts);
  ASSERT_EQ(domains.size(), 2u);
  EXPECT_NEAR(domains[2000000000].area, 1.0, 1e-12);
  EXPECT_NEAR(domains[9].area, 1.0, 1e-12);
  EXPECT_LE(domains[2000000000].max_u, 1.0 + 1e-12);
}

TEST(NetgenMesherTest, RequestWithoutSegmentsGivesAnEmptyMesh) {
  MeshRequest request = UnitSquareRequest(0.25);
  request.segments.clear();
  Meshed meshed = MeshWithNetgen(request);
  // Netgen meshes nothing and reports success; the extraction refuses the
  // empty mesh.
  ASSERT_NE(meshed.mesh, nullptr);
  EXPECT_EQ(meshed.passes, 1);
  EXPECT_TRUE(meshed.lines.empty());
  EXPECT_EQ(meshed.mesh->NodeCount(), 0);
  EXPECT_EQ(meshed.mesh->ElementCount(), 0u);
}

TEST(NetgenMesherTest, SliverFailsBothPasses) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {1, 2e-5, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 0, 1, 0}};
  request.target_size = 0.25;
  Meshed meshed = MeshWithNetgen(request);
  EXPECT_EQ(meshed.mesh, nullptr);
  EXPECT_EQ(meshed.passes, 2);
  EXPECT_EQ(meshed.lines,
            std::vector<std::string>{"[meshing] BuildPlanarMesh: GenerateMesh threw on both "
                                     "quad and triangle passes: meshing failed (Netgen wrote "
                                     "no warning or error; its front last had 12 faces open "
                                     "after 6000 trials); returning empty"});
}

// A right triangle whose upright side ends in a piece 7e-6 long (found by
// the fuzzer): the two sides meeting that piece must be graded down to it,
// or the front runs away.
TEST(NetgenMesherTest, EdgesMeetingAFarShorterOneAreGradedDownToIt) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {0, 1.0000076293945312, 0}, {0, 1.0000004768371582, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  request.target_size = 0.25;
  request.prefer_quads = true;
  Meshed meshed = MeshWithNetgen(request);
  ASSERT_NE(meshed.mesh, nullptr) << (meshed.lines.empty() ? "" : meshed.lines[0]);
  // Netgen's own partition puts some 30 nodes on each of the two sides.
  EXPECT_GT(meshed.mesh->BoundaryEdgeCount(), 50u);
}

// A sliver whose front Netgen never closes once the plane frame has moved it
// to its centroid: left alone, the mesher adds elements without end. It must
// be stopped, reported, and leave the library fit for the next mesh. (How
// thin a sliver runs away, rather than making Netgen give up, depends on
// where the partition puts the boundary nodes.)
TEST(NetgenMesherTest, RunawayMeshIsStoppedAndTheNextMeshIsNormal) {
  MeshRequest sliver;
  sliver.points = {{0, 0, 0}, {7.62939453125e-06, 0, 0}, {1, 0, 0}, {0, 7.62939453125e-06, 0}};
  sliver.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  sliver.target_size = 0.5;
  sliver.plane_normal = {0, 0, 1};
  // Triangles run away fastest; the quad pass does too, only more slowly.
  sliver.prefer_quads = false;
  NetgenMesher mesher;
  {
    // The stage's checks now refuse this sliver before meshing (its long
    // sides meet at 7.6e-6 rad and run along each other), so it goes to the
    // mesher directly, in the frame the stage would have given it: the
    // watch must still stop what no check foresees.
    PlanarFrame frame;
    ASSERT_TRUE(BuildFrame(sliver.points, &sliver.plane_normal, &frame));
    const std::vector<PlanePoint> plane_points = ToPlanePoints(frame, sliver.points);
    PlaneMeshing meshing;
    {
      std::lock_guard<std::mutex> hold(netgen_lock);
      meshing = mesher.MeshPlane(sliver, plane_points);
    }
    EXPECT_EQ(meshing.mesh, nullptr);
    EXPECT_TRUE(meshing.notes.empty());
    ASSERT_TRUE(meshing.refusal.has_value());
    const std::string& line = meshing.refusal->line;
    EXPECT_EQ(line.rfind("[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and "
                         "triangle passes: mesher ran away (", 0), 0u) << line;
    EXPECT_NE(line.find(" elements where its domains hold about "), std::string::npos) << line;
    EXPECT_NE(line.find(") and was stopped; returning empty"), std::string::npos) << line;
  }
  // An outline passing two of its corners twice around a hole that shares
  // its edges, from the field: Netgen's front churned for tens of seconds
  // towards 63,000 elements before a limit by boundary size stopped it.
  // Its domain holds about 300.
  MeshRequest pinched = test::FieldOutlinePinchedAroundAHole();
  pinched.plane_normal = {0, 0, 1};
  {
    PlanarFrame frame;
    ASSERT_TRUE(BuildFrame(pinched.points, &pinched.plane_normal, &frame));
    const std::vector<PlanePoint> plane_points = ToPlanePoints(frame, pinched.points);
    PlaneMeshing meshing;
    {
      std::lock_guard<std::mutex> hold(netgen_lock);
      meshing = mesher.MeshPlane(pinched, plane_points);
    }
    EXPECT_EQ(meshing.mesh, nullptr);
    ASSERT_TRUE(meshing.refusal.has_value());
    EXPECT_NE(meshing.refusal->line.find("mesher ran away ("), std::string::npos)
        << meshing.refusal->line;
  }
  // The stop flag must not outlive the runaway: a normal mesh afterwards is
  // whole, not cut short.
  Meshed square = MeshWithNetgen(UnitSquareRequest(0.25));
  ASSERT_NE(square.mesh, nullptr);
  EXPECT_TRUE(square.lines.empty());
  EXPECT_EQ(square.mesh->ElementCount(), 16u);
}

// An estimate the checks never make (NaN, negative) must not leave the
// mesher unwatched or stop it at once; none at all stands for the most any
// request may ask.
TEST(NetgenMesherTest, RunawayLimitHoldsForEveryEstimate) {
  EXPECT_GT(RunawayElementLimitFor(0), 100u);
  EXPECT_GE(RunawayElementLimitFor(1000), 3000u);
  EXPECT_EQ(RunawayElementLimitFor(std::nan("")), RunawayElementLimitFor(5e6));
  EXPECT_EQ(RunawayElementLimitFor(-1), RunawayElementLimitFor(5e6));
  EXPECT_EQ(RunawayElementLimitFor(1e300), RunawayElementLimitFor(5e6));
  EXPECT_EQ(CurrentElementEstimate(), 5e6);
  {
    ScopedElementEstimate outer(10);
    {
      ScopedElementEstimate inner(20);
      EXPECT_EQ(CurrentElementEstimate(), 20);
    }
    EXPECT_EQ(CurrentElementEstimate(), 10);
  }
  EXPECT_EQ(CurrentElementEstimate(), 5e6);
}

TEST(NetgenMesherTest, StartsTheLibraryOnceAndKeepsNoMesh) {
  NetgenMesher mesher;
  MeshRequest request = UnitSquareRequest(0.25);
  std::weak_ptr<SurfaceMesh> first;
  for (int i = 0; i < 3; ++i) {
    std::shared_ptr<SurfaceMesh> mesh;
    {
      std::lock_guard<std::mutex> hold(netgen_lock);
      mesh = mesher.MeshPlane(request, FlatPlanePoints(request.points)).mesh;
    }
    ASSERT_NE(mesh, nullptr);
    EXPECT_GT(mesh->ElementCount(), 0u);
    EXPECT_EQ(NetgenStartCount(), 1);
    if (i == 0) first = mesh;
  }
  EXPECT_TRUE(first.expired());
}

// The whole stage as the worker runs it: the checks, then Netgen.

MeshRequest RefusedBeforeTheLock() {
  MeshRequest request = UnitSquareRequest(0.25);
  request.target_size = 0;
  return request;
}

// Passes every request-only check, then crosses itself.
MeshRequest RefusedUnderTheLock() {
  MeshRequest request = UnitSquareRequest(0.25);
  request.points = {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}};
  return request;
}

// The real geometry and library, with scripted pass results.
class ScriptedNetgenMesher : public PlaneMesher {
 public:
  explicit ScriptedNetgenMesher(std::vector<int> results) : results_(std::move(results)) {}

  PlaneMeshing MeshPlane(const MeshRequest& request,
                         const std::vector<PlanePoint>& plane_points) override {
    size_t pass = 0;
    return MeshPlaneWithNetgen(request, plane_points,
                               [this, &pass](netgen::SplineGeometry2d& geometry,
                                             std::shared_ptr<netgen::Mesh>& mesh,
                                             netgen::MeshingParameters& parameters) {
                                 int result = results_.at(pass++);
                                 if (result != 0) return result;
                                 return GenerateMeshWithNetgen(geometry, mesh, parameters);
                               });
  }

 private:
  std::vector<int> results_;
};

TEST(BuildPlanarMeshWithNetgenTest, LockIsFreeAfterEveryOutcome) {
  NetgenMesher netgen;
  ScriptedNetgenMesher fallback({1, 0});
  ScriptedNetgenMesher both_fail({1, 5});
  MeshRequest no_segments = UnitSquareRequest(0.25);
  no_segments.segments.clear();
  struct Case {
    const char* name;
    MeshRequest request;
    PlaneMesher* mesher;
    bool ok;
    size_t lines;
  };
  const Case cases[] = {
      {"refused before the lock", RefusedBeforeTheLock(), &netgen, false, 1},
      {"refused under the lock", RefusedUnderTheLock(), &netgen, false, 1},
      {"meshed", UnitSquareRequest(0.25), &netgen, true, 0},
      {"meshed by the fallback", TwoDomainRectangleRequest(), &fallback, true, 1},
      {"both passes failed", UnitSquareRequest(0.25), &both_fail, false, 1},
      // Netgen meshes nothing and says so with success.
      {"no segments", no_segments, &netgen, true, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PlanarMeshBuild build = BuildPlanarMesh(c.request, *c.mesher);
    EXPECT_EQ(build.ok, c.ok);
    EXPECT_EQ(build.notes.size() + (build.refusal.has_value() ? 1 : 0), c.lines);
    ASSERT_TRUE(netgen_lock.try_lock());
    netgen_lock.unlock();
    if (!build.ok) continue;
    // The build holds the only share of the mesh, so dropping it frees the
    // mesh and its geometry.
    std::weak_ptr<SurfaceMesh> mesh = build.mesh;
    build = PlanarMeshBuild();
    EXPECT_TRUE(mesh.expired());
  }
}

TEST(BuildPlanarMeshWithNetgenTest, LibraryStartsOnceAndNeverForRefusedRequests) {
  // In a fresh copy of this binary, where no other test has started it yet.
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        NetgenMesher mesher;
        int code = 0;
        BuildPlanarMesh(RefusedBeforeTheLock(), mesher);
        BuildPlanarMesh(RefusedUnderTheLock(), mesher);
        if (NetgenStartCount() != 0) code |= 1;
        if (!BuildPlanarMesh(UnitSquareRequest(0.25), mesher).ok) code |= 2;
        if (NetgenStartCount() != 1) code |= 4;
        if (!BuildPlanarMesh(TwoDomainRectangleRequest(), mesher).ok) code |= 8;
        BuildPlanarMesh(RefusedUnderTheLock(), mesher);
        if (NetgenStartCount() != 1) code |= 16;
        exit(code);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace mesh

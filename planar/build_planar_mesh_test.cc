#include "planar/build_planar_mesh.h"

#include <chrono>
#include <cmath>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "common/netgen_lock.h"
#include "testing/loops.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Loop;
using test::Reversed;
using test::Square;

// Asked from another thread, because the caller may hold the lock itself and
// std::mutex may not be tried by its owner.
bool NetgenLockIsHeld() {
  bool acquired = false;
  std::thread([&] {
    if (netgen_lock.try_lock()) {
      acquired = true;
      netgen_lock.unlock();
    }
  }).join();
  return !acquired;
}

class OneTriangle : public SurfaceMesh {
 public:
  int32_t NodeCount() const override { return 3; }
  PlanePoint Node(int32_t number) const override {
    return {number == 2 ? 1.0 : 0.0, number == 3 ? 1.0 : 0.0};
  }
  size_t ElementCount() const override { return 1; }
  SurfaceElement Element(size_t) const override { return {3, {1, 2, 3, 0}, 1}; }
  size_t BoundaryEdgeCount() const override { return 0; }
  BoundaryEdge BoundaryEdgeAt(size_t) const override { return BoundaryEdge(); }
};

class FakeMesher : public PlaneMesher {
 public:
  explicit FakeMesher(bool succeeds = true) : succeeds_(succeeds) {}

  PlaneMeshing MeshPlane(const MeshRequest&, const std::vector<PlanePoint>& plane_points) override {
    ++calls;
    lock_held_while_meshing = NetgenLockIsHeld();
    received_point_count = plane_points.size();
    PlaneMeshing meshing;
    meshing.notes = {"first pass failed"};
    if (!succeeds_) {
      meshing.refusal = Refuse<RefusalKey::kMesherFailed>(int32_t{3}, "");
      return meshing;
    }
    mesh = std::make_shared<OneTriangle>();
    meshing.mesh = mesh;
    return meshing;
  }

  int calls = 0;
  bool lock_held_while_meshing = false;
  size_t received_point_count = 0;
  std::shared_ptr<SurfaceMesh> mesh;

 private:
  bool succeeds_;
};

struct Outcome {
  PlanarMeshBuild build;
  // The refusal's line, if any.
  std::vector<std::string> lines;
};

// Runs the stage and checks what must hold after every outcome: the lock is
// free again, and the build is refused exactly when it has no mesh.
Outcome RunStage(const MeshRequest& request, PlaneMesher& mesher) {
  Outcome outcome;
  outcome.build = BuildPlanarMesh(request, mesher);
  EXPECT_FALSE(NetgenLockIsHeld());
  EXPECT_EQ(outcome.build.ok, !outcome.build.refusal.has_value());
  if (outcome.build.refusal.has_value()) outcome.lines.push_back(outcome.build.refusal->line);
  return outcome;
}

// Holds netgen_lock on a thread of its own until destroyed.
class LockHeldByAnotherThread {
 public:
  LockHeldByAnotherThread() {
    std::promise<void> locked;
    std::future<void> is_locked = locked.get_future();
    std::future<void> release = release_.get_future();
    holder_ = std::thread([&locked, release = std::move(release)]() mutable {
      std::lock_guard<std::mutex> hold(netgen_lock);
      locked.set_value();
      release.wait();
    });
    is_locked.wait();
  }
  ~LockHeldByAnotherThread() {
    release_.set_value();
    holder_.join();
  }

 private:
  std::promise<void> release_;
  std::thread holder_;
};

// True when BuildPlanarMesh had to wait for the lock: it cannot finish while
// another thread holds it.
bool WaitsForTheLock(const MeshRequest& request) {
  FakeMesher mesher;
  std::future<PlanarMeshBuild> run;
  bool finished;
  {
    LockHeldByAnotherThread holder;
    run = std::async(std::launch::async, [&] { return BuildPlanarMesh(request, mesher); });
    // A stage that skips the lock finishes at once; one that takes it cannot
    // finish at all while it is held, so the short wait decides nothing by luck.
    finished = run.wait_for(std::chrono::milliseconds(100)) == std::future_status::ready;
  }
  run.get();
  return !finished;
}

std::vector<Point3> LShape() {
  return {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}};
}

std::string Degenerate(const std::string& what) {
  return "[meshing] BuildPlanarMesh: " + what +
         " \xE2\x80\x94 refusing as degenerate; returning empty";
}

TEST(BuildPlanarMeshTest, RefusalsWriteOneLineAndNeverReachTheMesher) {
  MeshRequest two_points = Loop(Square(0, 0, 1), 1, 0);
  two_points.points.resize(2);
  MeshRequest bad_domain_size = Loop(Square(0, 0, 1), 1, 0);
  bad_domain_size.domain_target_sizes = {NAN};
  MeshRequest bad_endpoint = Loop(Square(0, 0, 1), 1, 0);
  bad_endpoint.segments[3].point_b = 4;
  MeshRequest bad_interior = Loop(Square(0, 0, 1), 1, 0);
  bad_interior.interior_only = {4};
  // Collinear: the area check speaks before the frame could fail.
  MeshRequest collinear = Loop({{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, 1, 0);
  MeshRequest tiny_normal = Loop(Square(0, 0, 1), 1, 0);
  tiny_normal.plane_normal = {0, 0, 1e-13};
  MeshRequest collinear_no_outer = Loop({{0, 0, 0}, {1, 1, 0}, {2, 2, 0}}, 0, 1);
  MeshRequest too_many = Loop(test::RegularPolygon(2001, 1), 1, 0);
  // Diagonals that cross and leave domain 2 open: the crossing is named.
  MeshRequest crossing = Loop(Square(0, 0, 1), 1, 0);
  crossing.segments.push_back({0, 2, 2, 0});
  crossing.segments.push_back({1, 3, 2, 0});
  MeshRequest crossing_and_too_many = crossing;
  crossing_and_too_many.segments.resize(2001, crossing.segments[0]);
  MeshRequest open_square = Loop(Square(0, 0, 1), 1, 0);
  open_square.segments[0].left_domain = 0;
  // Open, and on the outer side of what is left of its boundary: the
  // opening is named.
  MeshRequest open_and_outside = Loop(Square(0, 0, 1), 0, 1);
  open_and_outside.segments[2].right_domain = 2;
  MeshRequest l_shape = Loop(LShape(), 0, 1);
  // A hole drawn the same way round as its outline: domain 1 on both sides
  // of it by nesting, so the mesher would run and fail.
  MeshRequest same_way_hole = Loop({{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 0}}, 1, 0);
  AddLoop(&same_way_hole, {{1, 0.5, 0}, {2, 0.5, 0}, {2, 1.5, 0}, {1, 1.5, 0}}, 1, 0);
  same_way_hole.target_size = 0.25;
  // Millimetres meant, metres sent: billions of elements.
  MeshRequest wall = Loop({{0, 0, 0}, {100, 0, 0}, {100, 30, 0}, {0, 30, 0}}, 1, 0);
  wall.target_size = 0.001;
  // Too large and, seen from the given normal, on the outer side: the
  // orientation is named.
  MeshRequest wall_outside = Loop(Reversed(Square(0, 0, 100)), 1, 0);
  wall_outside.target_size = 0.001;
  wall_outside.plane_normal = {0, 0, 1};

  const std::string frame_line =
      "[meshing] BuildPlanarMesh: BuildFrame failed (degenerate point set: collinear or "
      "zero-area); returning empty";
  struct {
    const char* name;
    const MeshRequest& request;
    std::string line;
    bool request_only;
  } const cases[] = {
      {"two points", two_points,
       "[meshing] BuildPlanarMesh: bad input (points=2, target_size=0.1); returning empty",
       true},
      {"domain size", bad_domain_size,
       "[meshing] BuildPlanarMesh: domain 0 target size is not finite (nan); returning "
       "empty",
       true},
      {"endpoint", bad_endpoint,
       "[meshing] BuildPlanarMesh: segment 3 endpoint out of range; returning empty", true},
      {"interior-only", bad_interior,
       "[meshing] BuildPlanarMesh: interior-only index 4 out of range; returning empty",
       true},
      {"collinear outline", collinear,
       Degenerate("boundary loops enclose (near-)zero area (collinear, a slit, or openings "
                  "consuming the outline)"),
       false},
      {"normal shorter than 1e-12", tiny_normal, frame_line, false},
      {"collinear, no outer segments", collinear_no_outer, frame_line, false},
      {"2001 segments", too_many, Degenerate("boundary has 2001 segments (cap 2000)"), false},
      {"2001 segments that also cross", crossing_and_too_many,
       Degenerate("boundary has 2001 segments (cap 2000)"), false},
      {"crossing diagonals", crossing,
       Degenerate("boundary self-intersects (segments 4 and 5 cross)"), false},
      {"open square", open_square, Degenerate("domain 1 boundary is not closed at point 0"),
       false},
      {"open and on the outer side", open_and_outside,
       Degenerate("domain 1 boundary is not closed at point 2"), false},
      {"L-shape on its outer side", l_shape,
       Degenerate("domain 1 lies on the outer side of its boundary (signed area -3 in the "
                  "meshing plane)"),
       false},
      {"hole the same way round as the outline", same_way_hole,
       Degenerate("boundary loop starting at segment 4 turns counter-clockwise with domain 1 "
                  "inside and domain 0 outside, but lies in domain 1; it must turn clockwise "
                  "seen from the plane normal"),
       false},
      {"100 m x 30 m wall at 1 mm", wall,
       "[meshing] BuildPlanarMesh: request asks for about 6.93e+09 elements (3000 m\xC2\xB2 at "
       "target size 0.001 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too large; "
       "returning empty",
       false},
      {"too large and on its outer side", wall_outside,
       Degenerate("domain 1 lies on the outer side of its boundary (signed area -10000 in the "
                  "meshing plane)"),
       false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMesher mesher;
    const Outcome outcome = RunStage(c.request, mesher);
    EXPECT_FALSE(outcome.build.ok);
    EXPECT_EQ(outcome.build.mesh, nullptr);
    EXPECT_EQ(outcome.lines, std::vector<std::string>{c.line});
    EXPECT_EQ(mesher.calls, 0);
    EXPECT_EQ(WaitsForTheLock(c.request), !c.request_only);
  }
}

TEST(BuildPlanarMeshTest, MesherFailureReleasesTheLock) {
  FakeMesher mesher(/*succeeds=*/false);
  const Outcome outcome = RunStage(Loop(Square(0, 0, 1), 1, 0), mesher);
  EXPECT_FALSE(outcome.build.ok);
  // The mesher's refusal and its notes are the stage's.
  EXPECT_EQ(outcome.build.refusal->key, RefusalKey::kMesherFailed);
  EXPECT_EQ(outcome.lines, std::vector<std::string>{
                               "[meshing] BuildPlanarMesh: GenerateMesh failed on both quad and "
                               "triangle passes (rc=3); returning empty"});
  EXPECT_EQ(outcome.build.notes, std::vector<std::string>{"first pass failed"});
  EXPECT_EQ(mesher.calls, 1);
  EXPECT_TRUE(mesher.lock_held_while_meshing);
}

TEST(BuildPlanarMeshTest, AcceptedLayoutsReachTheMesherUnderTheLock) {
  MeshRequest l_shape_seen_from_below = Loop(LShape(), 0, 1);
  l_shape_seen_from_below.plane_normal = {0, 0, -1};
  MeshRequest two_domains = Loop(
      {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}}, 1, 0);
  for (int k : {1, 2, 3}) two_domains.segments[k].left_domain = 2;
  two_domains.segments.push_back({1, 4, 1, 2});
  MeshRequest with_hole = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&with_hole, Reversed(Square(0.5, 0.5, 1)), 1, 0);
  MeshRequest with_inner_cut = Loop(Square(0, 0, 2), 1, 0);
  AddLoop(&with_inner_cut, {{0.5, 0.5, 0}, {1.5, 1, 0}}, 1, 1);
  with_inner_cut.interior_only = {5};
  // The points run counter-clockwise but the outline clockwise: the outline's
  // own area vector turns the plane over so that domain 1 lies inside.
  MeshRequest clockwise_outline = Loop(Square(0, 0, 1), 1, 0);
  for (BoundarySegment& s : clockwise_outline.segments) std::swap(s.point_a, s.point_b);

  struct {
    const char* name;
    const MeshRequest& request;
    Point3 v_axis;
  } const cases[] = {
      {"unit square", Loop(Square(0, 0, 1), 1, 0), {0, 1, 0}},
      {"L-shape with the normal against its point order", l_shape_seen_from_below,
       {0, -1, 0}},
      {"two domains sharing a segment", two_domains, {0, 1, 0}},
      {"outline with a hole", with_hole, {0, 1, 0}},
      {"inner cut with one domain on both sides", with_inner_cut, {0, 1, 0}},
      {"clockwise outline", clockwise_outline, {0, -1, 0}},
      {"2000 segments", Loop(test::RegularPolygon(2000, 1), 1, 0), {NAN, NAN, NAN}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    FakeMesher mesher;
    const Outcome outcome = RunStage(c.request, mesher);
    EXPECT_TRUE(outcome.lines.empty());
    ASSERT_TRUE(outcome.build.ok);
    EXPECT_EQ(outcome.build.notes, std::vector<std::string>{"first pass failed"});
    EXPECT_EQ(mesher.calls, 1);
    EXPECT_TRUE(mesher.lock_held_while_meshing);
    EXPECT_EQ(outcome.build.mesh, mesher.mesh);
    EXPECT_EQ(mesher.received_point_count, c.request.points.size());

    const PlanarMeshBuild& build = outcome.build;
    if (!std::isnan(c.v_axis.x)) {
      EXPECT_EQ(build.frame.v_axis.x, c.v_axis.x);
      EXPECT_EQ(build.frame.v_axis.y, c.v_axis.y);
      EXPECT_EQ(build.frame.v_axis.z, c.v_axis.z);
    }
    const std::vector<PlanePoint> expected = ToPlanePoints(build.frame, c.request.points);
    ASSERT_EQ(build.plane_points.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
      EXPECT_EQ(build.plane_points[i].u, expected[i].u);
      EXPECT_EQ(build.plane_points[i].v, expected[i].v);
    }
  }
}

// Two boundaries from the field that the mesher worked on for half a minute
// or failed on twice, now refused before it is called.
TEST(BuildPlanarMeshTest, BoundariesLyingOnThemselvesAreRefusedBeforeMeshing) {
  const MeshRequest roof = test::FieldRoofRunningBackAlongItself();
  const MeshRequest pinched = test::FieldOutlinePinchedAroundAHole();

  const std::string end = " \xE2\x80\x94 refusing as degenerate; returning empty";
  FakeMesher mesher;
  EXPECT_EQ(RunStage(roof, mesher).lines,
            std::vector<std::string>{"[meshing] BuildPlanarMesh: boundary overlaps itself "
                                     "(segments 0 and 1 run along each other)" + end});
  EXPECT_EQ(RunStage(pinched, mesher).lines,
            std::vector<std::string>{"[meshing] BuildPlanarMesh: boundary overlaps itself "
                                     "(segments 0 and 10 run along each other)" + end});
  EXPECT_EQ(mesher.calls, 0);
}

}  // namespace
}  // namespace mesh

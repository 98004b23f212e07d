// The worker binary from request to answer: real meshes of a few shapes,
// judged by the invariants every answer must hold rather than by fixed
// numbers, which the mesher is free to change.
#include <chrono>
#include <cmath>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/mesh_invariants.h"
#include "protocol/coding.h"
#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "testing/frames.h"
#include "testing/loops.h"
#include "testing/shapes.h"
#include "testing/test_process.h"
#include "worker/platform.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::Frame;
using test::RegularPolygon;

constexpr double kPi = 3.14159265358979323846;

struct WorkerRun {
  ProcessOutput process;
  std::vector<Frame> frames;
  double seconds = 0;
};

WorkerRun RunWorker(const std::vector<MeshRequest>& requests) {
  std::string input;
  for (const MeshRequest& r : requests) {
    input += EncodeFrame(kKindMeshRequest, EncodeMeshRequest(r));
  }
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  const auto start = std::chrono::steady_clock::now();
  WorkerRun run;
  run.process = RunProcess(MESH_WORKER_PATH, input, options, 300000);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(run.process.status.exited) << "signal " << run.process.status.signal;
  EXPECT_EQ(run.process.status.code, 0) << run.process.err;
  run.frames = test::SplitFrames(run.process.out);
  EXPECT_EQ(run.frames.size(), requests.size()) << run.process.err;
  return run;
}

// --- Shapes ---------------------------------------------------------------


MeshRequest UnitSquare() { return test::UnitSquareRequest(0.1); }

MeshRequest LShape() {
  MeshRequest r;
  AddLoop(&r, {{0, 0}, {2, 0}, {2, 1}, {1, 1}, {1, 2}, {0, 2}}, 1, 0);
  r.target_size = 0.2;
  return r;
}

MeshRequest SquareWithHole() {
  MeshRequest r;
  AddLoop(&r, {{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  // Counter-clockwise too, so the domain lies on the hole's right.
  AddLoop(&r, {{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}}, 0, 1);
  r.target_size = 0.15;
  return r;
}

// A 2 x 1 rectangle split at x = 1, the right half meshed finer.
MeshRequest TwoDomains() {
  MeshRequest r = test::TwoDomainRectangleRequest(0.2);
  r.domain_target_sizes = {0, 0.1};
  return r;
}

MeshRequest Circle() {
  MeshRequest r;
  AddLoop(&r, RegularPolygon(2000, 1.0), 1, 0);
  r.target_size = 0.1;
  return r;
}

// Interior-only points inside the unit square: two of them 3 mm apart, so
// that one may take the other's vertex.
MeshRequest InteriorPoints() {
  MeshRequest r = UnitSquare();
  r.target_size = 0.2;
  for (const auto& [x, y] : std::vector<std::pair<double, double>>{
           {0.31, 0.27}, {0.62, 0.55}, {0.623, 0.55}, {0.8, 0.15}}) {
    r.interior_only.push_back(static_cast<int32_t>(r.points.size()));
    r.points.push_back({x, y, 0});
  }
  return r;
}

// Turns the shape about a skewed axis and moves it far from the origin.
MeshRequest Tilted(MeshRequest r) {
  const double ax = 1 / std::sqrt(14.0), ay = 2 / std::sqrt(14.0), az = 3 / std::sqrt(14.0);
  const double c = std::cos(0.9), s = std::sin(0.9), t = 1 - c;
  const double m[3][3] = {{t * ax * ax + c, t * ax * ay - s * az, t * ax * az + s * ay},
                          {t * ax * ay + s * az, t * ay * ay + c, t * ay * az - s * ax},
                          {t * ax * az - s * ay, t * ay * az + s * ax, t * az * az + c}};
  for (Point3& p : r.points) {
    const Point3 q = p;
    p.x = m[0][0] * q.x + m[0][1] * q.y + m[0][2] * q.z + 1500;
    p.y = m[1][0] * q.x + m[1][1] * q.y + m[1][2] * q.z - 2700;
    p.z = m[2][0] * q.x + m[2][1] * q.y + m[2][2] * q.z + 900;
  }
  return r;
}

// The triangle pass alone, which a caller gets by not asking for quads.
std::function<MeshRequest()> WithoutQuads(MeshRequest (*make)()) {
  return [make] {
    MeshRequest r = make();
    r.prefer_quads = false;
    return r;
  };
}

struct Shape {
  const char* name;
  std::function<MeshRequest()> make;
};

// Names the case in test listings instead of dumping the object's bytes.
void PrintTo(const Shape& shape, std::ostream* out) { *out << shape.name; }

const Shape kShapes[] = {
    {"UnitSquare", UnitSquare},         {"LShape", LShape},
    {"SquareWithHole", SquareWithHole}, {"TwoDomains", TwoDomains},
    {"Circle2000", Circle},             {"InteriorPoints", InteriorPoints},
    {"TwoDomainsTriangles", WithoutQuads(TwoDomains)},
    {"InteriorPointsTriangles", WithoutQuads(InteriorPoints)},
};

PlanarComplexMesh ExpectSoundAnswer(const MeshRequest& request, const Frame& frame) {
  PlanarComplexMesh answer;
  EXPECT_EQ(frame.kind, kKindSuccess);
  EXPECT_TRUE(DecodePlanarComplexMesh(frame.payload.data(), frame.payload.size(), &answer));
  const std::vector<std::string> problems = CheckMeshInvariants(request, answer);
  EXPECT_TRUE(problems.empty()) << ::testing::PrintToString(problems);
  return answer;
}

class EndToEndTest : public ::testing::TestWithParam<std::tuple<Shape, bool>> {};

TEST_P(EndToEndTest, AnswerHoldsEveryInvariant) {
  const Shape& shape = std::get<0>(GetParam());
  const bool tilted = std::get<1>(GetParam());
  const MeshRequest request = tilted ? Tilted(shape.make()) : shape.make();
  const WorkerRun run = RunWorker({request});
  ASSERT_EQ(run.frames.size(), 1u);
  const PlanarComplexMesh answer = ExpectSoundAnswer(request, run.frames[0]);
  RecordProperty("seconds", std::to_string(run.seconds));
  RecordProperty("vertices", std::to_string(answer.vertices.size()));
  if (!request.interior_only.empty()) {
    // Each interior point stands for itself: none shares the vertex of a
    // corner, and only the two close ones may share one.
    for (int32_t i : request.interior_only) {
      for (int32_t corner = 0; corner < 4; ++corner) {
        EXPECT_NE(answer.point_vertex[i], answer.point_vertex[corner]) << i;
      }
    }
    for (int32_t i : request.interior_only) {
      for (int32_t j : request.interior_only) {
        if (i < j && !(i == 5 && j == 6)) {
          EXPECT_NE(answer.point_vertex[i], answer.point_vertex[j]) << i << " " << j;
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Shapes, EndToEndTest, ::testing::Combine(::testing::ValuesIn(kShapes), ::testing::Bool()),
    [](const ::testing::TestParamInfo<std::tuple<Shape, bool>>& info) {
      return std::string(std::get<0>(info.param).name) +
             (std::get<1>(info.param) ? "TiltedFarAway" : "InPlaneZ");
    });

TEST(EndToEndRepeatTest, SameRequestGivesTheSameBytes) {
  // Twice in one worker, then once more in a fresh one: nothing the mesher
  // keeps between requests may change the answer.
  const MeshRequest request = Tilted(SquareWithHole());
  const WorkerRun first = RunWorker({request, request});
  const WorkerRun second = RunWorker({request});
  ASSERT_EQ(first.frames.size(), 2u);
  ASSERT_EQ(second.frames.size(), 1u);
  ExpectSoundAnswer(request, first.frames[0]);
  EXPECT_TRUE(first.frames[0].payload == first.frames[1].payload);
  EXPECT_TRUE(first.frames[0].payload == second.frames[0].payload);
}

TEST(EndToEndRepeatTest, FailuresBetweenAnswersKeepTheStreamInStep) {
  MeshRequest too_few = UnitSquare();
  too_few.points.resize(2);
  too_few.segments.clear();
  MeshRequest outside = InteriorPoints();
  outside.points[outside.interior_only[0]] = {3, 3, 0};  // interior point off the region
  const std::vector<MeshRequest> requests = {LShape(), too_few, UnitSquare(), outside,
                                             LShape()};
  const WorkerRun run = RunWorker(requests);
  ASSERT_EQ(run.frames.size(), requests.size());
  ExpectSoundAnswer(requests[0], run.frames[0]);
  EXPECT_EQ(run.frames[1].kind, kKindFailure);
  EXPECT_TRUE(run.frames[1].payload.empty());
  ExpectSoundAnswer(requests[2], run.frames[2]);
  EXPECT_EQ(run.frames[3].kind, kKindFailure);
  ExpectSoundAnswer(requests[4], run.frames[4]);
  EXPECT_NE(run.process.err.find("[meshing] BuildPlanarMesh: bad input (points=2, "
                                 "target_size=0.1); returning empty\n"),
            std::string::npos)
      << run.process.err;
  EXPECT_NE(run.process.err.find("[meshing] ExtractToPlanarComplexMesh: interior input point 4 "
                                 "dropped by Netgen and outside every mesh element; returning "
                                 "empty\n"),
            std::string::npos)
      << run.process.err;
}

// --- Real outlines ----------------------------------------------------------
// Outlines as they come from the field, where segment lengths, target sizes
// and coordinates sit far apart. Each answer must hold every invariant, and
// each chain must run only through vertices the mesher put on its own
// segment: the invariant check finds a chain that steps off it.

// A circle drawn finely and meshed coarsely: 3 mm segments under a 5 m
// target size, so a band wide enough for the target size would take in
// vertices well inside the circle.
TEST(RealOutlineTest, CircleOfShortSegmentsUnderACoarseTargetSize) {
  MeshRequest request;
  AddLoop(&request, RegularPolygon(500, 0.25), 1, 0);
  request.target_size = 5.0;
  const WorkerRun run = RunWorker({request});
  ASSERT_EQ(run.frames.size(), 1u);
  const PlanarComplexMesh answer = ExpectSoundAnswer(request, run.frames[0]);
  ASSERT_EQ(answer.segment_chains.size(), request.segments.size());
  for (size_t i = 0; i < request.segments.size(); ++i) {
    // No vertex is placed on a segment far shorter than the target size.
    EXPECT_EQ(answer.segment_chains[i].size(), 2u) << "segment " << i;
  }
}

// A map-projected outline: a 40,000 km square with a 2 km hole, meshed at
// 1,400 km, so any band tied to the target size is wider than the hole.
TEST(RealOutlineTest, ContinentWithAHoleSmallerThanItsTargetSize) {
  MeshRequest request;
  AddLoop(&request, {{0, 0}, {4e7, 0}, {4e7, 4e7}, {0, 4e7}}, 1, 0);
  AddLoop(&request, {{2e7, 2e7}, {2e7 + 2000, 2e7}, {2e7 + 2000, 2e7 + 2000}, {2e7, 2e7 + 2000}},
          0, 1);
  request.target_size = 1.4e6;
  const WorkerRun run = RunWorker({request});
  ASSERT_EQ(run.frames.size(), 1u);
  const PlanarComplexMesh answer = ExpectSoundAnswer(request, run.frames[0]);
  ASSERT_EQ(answer.segment_chains.size(), request.segments.size());
  for (size_t i = 4; i < 8; ++i) {
    const std::vector<int32_t>& chain = answer.segment_chains[i];
    ASSERT_FALSE(chain.empty());
    EXPECT_EQ(chain.front(), answer.point_vertex[request.segments[i].point_a]);
    EXPECT_EQ(chain.back(), answer.point_vertex[request.segments[i].point_b]);
    for (size_t j = 0; j < 8; ++j) {
      // The hole's other corners are no part of this side.
      if (j == static_cast<size_t>(request.segments[i].point_a) ||
          j == static_cast<size_t>(request.segments[i].point_b)) {
        continue;
      }
      for (int32_t v : chain) EXPECT_NE(v, answer.point_vertex[j]) << "segment " << i;
    }
  }
}

// Survey detail at UTM coordinates: a 4 x 3 cm plate meshed at 1 mm, half a
// million metres east and ten million north, must mesh like one at the
// origin, not be refused as too far out.
TEST(RealOutlineTest, MillimetreDetailAtUtmCoordinates) {
  MeshRequest request;
  AddLoop(&request, {{0, 0}, {0.04, 0}, {0.04, 0.03}, {0, 0.03}}, 1, 0);
  for (Point3& p : request.points) {
    p.x += 512345.25;
    p.y += 9876543.5;
    p.z = 132.5;
  }
  request.target_size = 0.001;
  const WorkerRun run = RunWorker({request});
  ASSERT_EQ(run.frames.size(), 1u);
  const PlanarComplexMesh answer = ExpectSoundAnswer(request, run.frames[0]);
  EXPECT_GT(answer.quads.size() + answer.triangles.size(), 1000u);
}

// A metre square a trillion kilometres out: its vertices would round onto
// each other, so it is refused with the reason before meshing.
TEST(RealOutlineTest, RegionTooFarFromTheOriginIsRefusedWithTheReason) {
  MeshRequest request;
  AddLoop(&request, {{1e15, 1e15}, {1e15 + 1, 1e15}, {1e15 + 1, 1e15 + 1}, {1e15, 1e15 + 1}},
          1, 0);
  request.target_size = 0.1;
  const WorkerRun run = RunWorker({request});
  ASSERT_EQ(run.frames.size(), 1u);
  EXPECT_EQ(run.frames[0].kind, kKindFailure);
  EXPECT_EQ(run.process.err,
            "[meshing] BuildPlanarMesh: coordinates as large as 1e+15 m round by up to "
            "14.2109 m, too coarse for elements no longer than 0.2 m (target size 0.1 m) "
            "\xE2\x80\x94 refusing as degenerate; returning empty\n");
}

// A unit slip: a 100 m x 30 m wall sent at 1 "mm" in metres asks for
// billions of elements. It is refused before the mesher starts, and the same
// worker serves the next request.
TEST(RealOutlineTest, WallMeshedAtAMillimetreIsRefusedAndTheNextRequestServed) {
  MeshRequest wall;
  AddLoop(&wall, {{0, 0}, {100, 0}, {100, 30}, {0, 30}}, 1, 0);
  wall.target_size = 0.001;
  const MeshRequest next = UnitSquare();
  const WorkerRun run = RunWorker({wall, next});
  ASSERT_EQ(run.frames.size(), 2u);
  EXPECT_EQ(run.frames[0].kind, kKindFailure);
  EXPECT_TRUE(run.frames[0].payload.empty());
  ExpectSoundAnswer(next, run.frames[1]);
  // The mesher's progress for the next request follows the line.
  EXPECT_EQ(run.process.err.substr(0, run.process.err.find('\n') + 1),
            "[meshing] BuildPlanarMesh: request asks for about 6.93e+09 elements (3000 m\xC2\xB2 "
            "at target size 0.001 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too "
            "large; returning empty\n");
}

// --- Kept boundaries ---------------------------------------------------------
// With keep_boundary every segment is one edge of the mesh, whatever its
// length beside the target size, so each chain is its segment's two ends;
// the answers must hold every invariant besides (the worker's own check
// would refuse a chain with a vertex between them).

// Each segment of `request` cut into `pieces` equal ones, with the same
// domains on either side.
MeshRequest CutSegments(MeshRequest request, int pieces) {
  std::vector<BoundarySegment> cut;
  for (const BoundarySegment& s : request.segments) {
    const Point3 a = request.points[s.point_a];
    const Point3 b = request.points[s.point_b];
    int32_t from = s.point_a;
    for (int k = 1; k <= pieces; ++k) {
      int32_t to = s.point_b;
      if (k < pieces) {
        const double t = static_cast<double>(k) / pieces;
        to = static_cast<int32_t>(request.points.size());
        request.points.push_back({a.x + t * (b.x - a.x), a.y + t * (b.y - a.y), a.z + t * (b.z - a.z)});
      }
      cut.push_back({from, to, s.left_domain, s.right_domain});
      from = to;
    }
  }
  request.segments = std::move(cut);
  return request;
}

MeshRequest Kept(MeshRequest request) {
  request.options = kKeepBoundary;
  return request;
}

MeshRequest KeptLoop(const test::Corners& corners, double target_size) {
  MeshRequest r;
  AddLoop(&r, corners, 1, 0);
  r.target_size = target_size;
  return Kept(r);
}

void ExpectEverySegmentOneEdge(const MeshRequest& request, const PlanarComplexMesh& answer) {
  ASSERT_EQ(answer.segment_chains.size(), request.segments.size());
  for (size_t s = 0; s < request.segments.size(); ++s) {
    const std::vector<int32_t> ends = {answer.point_vertex[request.segments[s].point_a],
                                       answer.point_vertex[request.segments[s].point_b]};
    EXPECT_EQ(answer.segment_chains[s], ends) << "segment " << s;
  }
}

TEST(KeptBoundaryTest, EverySegmentIsOneEdgeWhateverItsLength) {
  struct Case {
    const char* name;
    MeshRequest request;
  };
  MeshRequest two_domains = CutSegments(test::TwoDomainRectangleRequest(0.3), 4);
  two_domains.domain_target_sizes = {0, 0.15};
  MeshRequest holed = CutSegments(SquareWithHole(), 3);
  holed.target_size = 0.35;
  MeshRequest fine_l = CutSegments(LShape(), 10);
  fine_l.target_size = 1.0;
  std::vector<Case> cases = {
      // Segments of 1.5 times the size: no element at target size fits
      // against them.
      {"square of 1.5 h sides", KeptLoop(test::Square(0, 0, 1.5), 1.0)},
      {"square of 4 x 1.5 h per side", Kept(CutSegments(test::Loop(test::Square(0, 0, 6), 1, 0), 4))},
      // 0.1 h segments: the mesh must grade down to them.
      {"L of 0.1 h and 0.2 h segments", Kept(fine_l)},
      {"polygon of 0.1 h segments", KeptLoop(RegularPolygon(120, 0.1 / (2 * std::sin(kPi / 120))), 1.0)},
      {"circle of 64 segments of h", KeptLoop(RegularPolygon(64, 1.0), 0.1)},
      {"circle of 64 segments of 1.96 h", KeptLoop(RegularPolygon(64, 1.0), 0.05)},
      {"circle of 64 segments of 0.1 h", KeptLoop(RegularPolygon(64, 1.0), 1.0)},
      {"square with a hole", Kept(holed)},
      {"two domains sharing segments", Kept(two_domains)},
  };
  cases[1].request.target_size = 1.0;
  for (bool quads : {true, false}) {
    for (bool tilted : {false, true}) {
      std::vector<MeshRequest> requests;
      for (const Case& c : cases) {
        MeshRequest request = tilted ? Tilted(c.request) : c.request;
        request.prefer_quads = quads;
        requests.push_back(request);
      }
      const WorkerRun run = RunWorker(requests);
      ASSERT_EQ(run.frames.size(), requests.size());
      for (size_t i = 0; i < requests.size(); ++i) {
        SCOPED_TRACE(std::string(cases[i].name) + (quads ? ", quads" : ", triangles") +
                     (tilted ? ", tilted" : ""));
        const PlanarComplexMesh answer = ExpectSoundAnswer(requests[i], run.frames[i]);
        ExpectEverySegmentOneEdge(requests[i], answer);
      }
    }
  }
}

// A sliver beside a large face, each meshed on its own with its boundary
// kept: the strip cannot hold an element of the target size across, yet
// both mesh and share nothing but their kept edges.
TEST(KeptBoundaryTest, SliverAndLargeFaceBothMeshWithTheirEdgesWhole) {
  const MeshRequest strip = KeptLoop({{0, 0}, {5, 0}, {5, 0.006}, {0, 0.006}}, 2.5);
  const MeshRequest square = KeptLoop({{0, 0.006}, {5, 0.006}, {5, 5.006}, {0, 5.006}}, 2.5);
  const WorkerRun run = RunWorker({strip, square});
  ASSERT_EQ(run.frames.size(), 2u);
  ExpectEverySegmentOneEdge(strip, ExpectSoundAnswer(strip, run.frames[0]));
  ExpectEverySegmentOneEdge(square, ExpectSoundAnswer(square, run.frames[1]));
}

TEST(KeptBoundaryTest, SegmentsTooLongToKeepAndUnknownOptionsAreRefused) {
  MeshRequest too_long = Kept(UnitSquare());
  too_long.target_size = 0.25;
  MeshRequest unknown = UnitSquare();
  unknown.options = 1u << 2;
  const WorkerRun run = RunWorker({too_long, unknown, Kept(UnitSquare())});
  ASSERT_EQ(run.frames.size(), 3u);
  EXPECT_EQ(run.frames[0].kind, kKindFailure);
  EXPECT_EQ(run.frames[1].kind, kKindFailure);
  EXPECT_EQ(run.frames[2].kind, kKindFailure);
  EXPECT_EQ(run.process.err,
            "[meshing] BuildPlanarMesh: boundary segment 0 is 1 m long, more than 2 times the "
            "0.25 m target size; it cannot be kept as one edge; returning empty\n"
            "[meshing] BuildPlanarMesh: options 0x4 has bits this worker does not support (0x4); "
            "returning empty\n"
            "[meshing] BuildPlanarMesh: boundary segment 0 is 1 m long, more than 2 times the "
            "0.1 m target size; it cannot be kept as one edge; returning empty\n");
}

// A version 4 payload whose options are all clear asks what its version 3
// form asks, and gets the same bytes back.
TEST(KeptBoundaryTest, Version4WithoutOptionsAnswersAsVersion3) {
  const MeshRequest request = Tilted(SquareWithHole());
  const std::string v3 = EncodeMeshRequest(request);
  MeshRequest with_options = request;
  with_options.options = kKeepBoundary;
  std::string v4 = EncodeMeshRequest(with_options);
  v4.replace(v4.size() - 4, 4, 4, '\0');
  ASSERT_EQ(v4.size(), v3.size() + 4);
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  const ProcessOutput process =
      RunProcess(MESH_WORKER_PATH,
                 EncodeFrame(kKindMeshRequest, v3) + EncodeFrame(kKindMeshRequest, v4), options,
                 300000);
  const std::vector<Frame> frames = test::SplitFrames(process.out);
  ASSERT_EQ(frames.size(), 2u) << process.err;
  ExpectSoundAnswer(request, frames[0]);
  EXPECT_TRUE(frames[0].payload == frames[1].payload);
}

}  // namespace
}  // namespace mesh

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
#include "protocol/sample_shapes.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

struct Frame {
  uint32_t kind = 0;
  std::string payload;
};

// Splits the response stream into frames. Fails the test if anything but
// whole frames is on it: the mesher's own printing must go elsewhere.
std::vector<Frame> SplitFrames(const std::string& stream) {
  std::vector<Frame> frames;
  size_t at = 0;
  while (at < stream.size()) {
    if (stream.size() - at < kFrameHeaderSize) {
      ADD_FAILURE() << "stray bytes after " << frames.size() << " frames: "
                    << stream.substr(at, 80);
      break;
    }
    const FrameHeader header =
        DecodeFrameHeader(reinterpret_cast<const unsigned char*>(stream.data() + at));
    if (!header.magic_ok || header.payload_length > stream.size() - at - kFrameHeaderSize) {
      ADD_FAILURE() << "not a frame at byte " << at << ": " << stream.substr(at, 80);
      break;
    }
    frames.push_back({header.kind, stream.substr(at + kFrameHeaderSize,
                                                 static_cast<size_t>(header.payload_length))});
    at += kFrameHeaderSize + static_cast<size_t>(header.payload_length);
  }
  return frames;
}

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
  options.unset_env = {"TALVEX_MESH_WORKER_ALLOW_HANG_TEST"};
  const auto start = std::chrono::steady_clock::now();
  WorkerRun run;
  run.process = RunProcess(MESH_WORKER_PATH, input, options, 300000);
  run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_TRUE(run.process.status.exited) << "signal " << run.process.status.signal;
  EXPECT_EQ(run.process.status.code, 0) << run.process.err;
  run.frames = SplitFrames(run.process.out);
  EXPECT_EQ(run.frames.size(), requests.size()) << run.process.err;
  return run;
}

// --- Shapes ---------------------------------------------------------------


MeshRequest UnitSquare() {
  MeshRequest r;
  AddLoop(&r, {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, 1, 0);
  r.target_size = 0.1;
  return r;
}

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
  MeshRequest r;
  r.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  r.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  r.target_size = 0.2;
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

}  // namespace
}  // namespace mesh

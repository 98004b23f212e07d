// The worker binary as a parent sees it: frames in, frames out, exit codes.
#include <signal.h>
#include <stdio.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/worker_contract.h"
#include "testing/frames.h"
#include "testing/shapes.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

using test::kFailureFrame;
using test::SplitFrames;
using test::UnitSquareRequest;

std::string Header(uint32_t kind, uint64_t length) {
  unsigned char bytes[kFrameHeaderSize];
  EncodeFrameHeader(kind, length, bytes);
  return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

std::string EmptyMeshRequest() { return Header(kKindMeshRequest, 0); }

TestProcessOptions WithoutHangTest() {
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  return options;
}

ProcessOutput RunWorker(const std::string& input,
                        const TestProcessOptions& options = WithoutHangTest()) {
  return RunProcess(MESH_WORKER_PATH, input, options);
}

void ExpectExit(const ProcessOutput& result, int code, const char* context) {
  EXPECT_TRUE(result.status.exited) << context << ": signal " << result.status.signal;
  EXPECT_EQ(result.status.code, code) << context << "; stderr: " << result.err;
}

TEST(WorkerBinaryTest, InputEndingAnywhereEndsCleanlyWithoutOutput) {
  const std::string request = Header(kKindMeshRequest, 70) + std::string(70, '\x03');
  for (size_t cut : {size_t{0}, size_t{1}, size_t{8}, size_t{15}, size_t{16}, size_t{50}}) {
    ProcessOutput result = RunWorker(request.substr(0, cut));
    ExpectExit(result, 0, "cut input");
    EXPECT_TRUE(result.out.empty()) << cut;
  }
}

TEST(WorkerBinaryTest, MalformedFramesExitWithThree) {
  std::string bad_magic = EmptyMeshRequest();
  bad_magic[0] = 'X';
  struct Case {
    const char* name;
    std::string input;
    int code;
    // All the worker writes on standard error.
    std::string err;
  } cases[] = {
      {"bad magic", bad_magic + EmptyMeshRequest(), 3,
       "[meshing] request loop: frame magic is 58 53 48 31, not \"MSH1\" (4D 53 48 31); "
       "exiting with code 3\n"},
      {"oversized payload", Header(kKindMeshRequest, kMaxRequestPayload + 1), 3,
       "[meshing] request loop: frame payload_length 268435457 is over the limit of "
       "268435456 bytes; exiting with code 3\n"},
      {"kind 2 with its payload", Header(2, 100) + std::string(100, 'p'), 3,
       "[meshing] request loop: frame kind 2 is not a request kind (0 mesh request, 1 hang "
       "test); exiting with code 3\n"},
      {"kind 2, input ends in its payload", Header(2, 100) + std::string(99, 'p'), 0, ""},
      {"hang test while disarmed", Header(kKindHangTest, 0), 3,
       "[meshing] request loop: frame kind 1 (hang test) while the hang test is not armed "
       "(TALVEX_MESH_WORKER_ALLOW_HANG_TEST unset or empty); exiting with code 3\n"},
  };
  for (const Case& c : cases) {
    ProcessOutput result = RunWorker(c.input);
    ExpectExit(result, c.code, c.name);
    EXPECT_TRUE(result.out.empty()) << c.name;
    EXPECT_EQ(result.err, c.err) << c.name;
  }
}

TEST(WorkerBinaryTest, PayloadLimitIsCheckedBeforeReading) {
  // With input left open, only a worker that refuses without waiting for
  // the payload can end.
  TestProcess worker;
  ASSERT_TRUE(worker.Start(MESH_WORKER_PATH, {}, WithoutHangTest()));
  ASSERT_TRUE(worker.WriteInput(Header(kKindMeshRequest, kMaxRequestPayload + 1) + "abc"));
  ExitStatus status;
  ASSERT_TRUE(worker.Wait(10000, &status));
  EXPECT_TRUE(status.exited);
  EXPECT_EQ(status.code, 3);

  // Exactly the limit is read whole and answered; the worker then serves on.
  std::string input = Header(kKindMeshRequest, kMaxRequestPayload);
  input.append(kMaxRequestPayload, '\0');
  input += EmptyMeshRequest();
  ProcessOutput result = RunWorker(input);
  ExpectExit(result, 0, "payload at the limit");
  EXPECT_EQ(result.out, kFailureFrame + kFailureFrame);
}

TEST(WorkerBinaryTest, FailedRequestsAreAnsweredAndTheWorkerServesOn) {
  MeshRequest no_points;
  no_points.target_size = 1;
  const std::string input = EmptyMeshRequest() +
                            EncodeFrame(kKindMeshRequest, EncodeMeshRequest(no_points)) +
                            EmptyMeshRequest();
  ProcessOutput result = RunWorker(input);
  ExpectExit(result, 0, "three failing requests");
  EXPECT_EQ(result.out, kFailureFrame + kFailureFrame + kFailureFrame);
}

TEST(WorkerBinaryTest, RequestsBackToBackAreAnsweredInOrder) {
  const MeshRequest square = UnitSquareRequest(0.5);
  MeshRequest two_points = square;
  two_points.points.resize(2);
  two_points.segments.clear();
  const MeshRequest finer = UnitSquareRequest(0.25);
  const std::string input = EncodeFrame(kKindMeshRequest, EncodeMeshRequest(square)) +
                            EncodeFrame(kKindMeshRequest, EncodeMeshRequest(two_points)) +
                            EncodeFrame(kKindMeshRequest, EncodeMeshRequest(finer));
  ProcessOutput result = RunWorker(input);
  ExpectExit(result, 0, "three requests");
  const auto frames = SplitFrames(result.out);
  ASSERT_EQ(frames.size(), 3u);
  EXPECT_EQ(frames[0].kind, kKindSuccess);
  EXPECT_EQ(frames[1].kind, kKindFailure);
  EXPECT_EQ(frames[2].kind, kKindSuccess);
  PlanarComplexMesh coarse, fine;
  ASSERT_TRUE(DecodePlanarComplexMesh(frames[0].payload.data(), frames[0].payload.size(), &coarse));
  ASSERT_TRUE(DecodePlanarComplexMesh(frames[2].payload.data(), frames[2].payload.size(), &fine));
  EXPECT_LT(coarse.quads.size() + coarse.triangles.size(),
            fine.quads.size() + fine.triangles.size());
  // The mesher's progress went to standard error, between the reasons.
  EXPECT_NE(result.err.find("[meshing] BuildPlanarMesh: bad input (points=2"), std::string::npos);
  EXPECT_NE(result.err.find("Surface meshing"), std::string::npos);
}

TEST(WorkerBinaryTest, MesherPrintingWithoutStandardErrorNeverReachesTheAnswers) {
  TestProcessOptions no_error = WithoutHangTest();
  no_error.close_stderr = true;
  const std::string request =
      EncodeFrame(kKindMeshRequest, EncodeMeshRequest(UnitSquareRequest(0.5)));
  ProcessOutput closed = RunWorker(request + request, no_error);
  ProcessOutput open = RunWorker(request + request);
  ExpectExit(closed, 0, "stderr closed");
  const auto frames = SplitFrames(closed.out);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0].kind, kKindSuccess);
  EXPECT_EQ(closed.out, open.out);
}

TEST(WorkerBinaryTest, HangTestArmsOnAnyNonEmptyValue) {
  TestProcessOptions armed;
  armed.set_env = {std::string(kHangTestVariable) + "=0"};
  TestProcess worker;
  ASSERT_TRUE(worker.Start(MESH_WORKER_PATH, {}, armed));
  ASSERT_TRUE(worker.WriteInput(Header(kKindHangTest, 5) + "hello" + EmptyMeshRequest()));
  EXPECT_EQ(worker.ReadOutput(16, 1000), "");  // silent, and it never answers what follows
  ExitStatus status;
  EXPECT_FALSE(worker.Wait(0, &status));

  // Busy: it burns processor time while it hangs.
  auto cpu_ticks = [&worker] {
    std::ifstream stat("/proc/" + std::to_string(worker.pid()) + "/stat");
    std::string line;
    std::getline(stat, line);
    std::istringstream fields(line.substr(line.rfind(')') + 2));
    std::string field;
    for (int i = 0; i < 11; ++i) fields >> field;  // fields 3 to 13; utime is 14
    long utime = 0;
    fields >> utime;
    return utime;
  };
  const long before = cpu_ticks();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  EXPECT_GT(cpu_ticks(), before);

  worker.Kill();
  ASSERT_TRUE(worker.Wait(10000, &status));
  EXPECT_FALSE(status.exited);
  EXPECT_EQ(status.signal, SIGKILL);

  TestProcessOptions empty_value;
  empty_value.set_env = {std::string(kHangTestVariable) + "="};
  ProcessOutput result = RunWorker(Header(kKindHangTest, 0), empty_value);
  ExpectExit(result, 3, "hang test set to empty");
}

TEST(WorkerBinaryTest, MissingStandardDescriptors) {
  TestProcessOptions no_input = WithoutHangTest();
  no_input.close_stdin = true;
  ProcessOutput result = RunWorker(EmptyMeshRequest(), no_input);
  ExpectExit(result, 2, "stdin closed");
  EXPECT_TRUE(result.out.empty());
  EXPECT_TRUE(result.err.empty());

  TestProcessOptions no_output = WithoutHangTest();
  no_output.close_stdout = true;
  result = RunWorker(EmptyMeshRequest(), no_output);
  ExpectExit(result, 2, "stdout closed");
  EXPECT_TRUE(result.err.empty());

  // Without standard error the worker still answers on standard output.
  TestProcessOptions no_error = WithoutHangTest();
  no_error.close_stderr = true;
  result = RunWorker(EmptyMeshRequest() + EmptyMeshRequest(), no_error);
  ExpectExit(result, 0, "stderr closed");
  EXPECT_EQ(result.out, kFailureFrame + kFailureFrame);
}

TEST(WorkerBinaryTest, ParentThatStopsReadingEndsTheWorkerWithZero) {
  // The child starts with SIGPIPE at its default; the worker must ignore it
  // itself and treat the failed write as the end of the channel.
  TestProcess worker;
  ASSERT_TRUE(worker.Start(MESH_WORKER_PATH, {}, WithoutHangTest()));
  worker.CloseOutput();
  ASSERT_TRUE(worker.WriteInput(EmptyMeshRequest()));
  ExitStatus status;
  ASSERT_TRUE(worker.Wait(10000, &status));
  EXPECT_TRUE(status.exited) << "killed by signal " << status.signal;
  EXPECT_EQ(status.code, 0);
}

class CrashExitTest : public ::testing::TestWithParam<const char*> {};

TEST_P(CrashExitTest, EndsWith134AndNothingOnTheResponseStream) {
  // A core file would land in the working directory; run where we can look.
  char dir_template[] = "/tmp/crash-exit-XXXXXX";
  ASSERT_NE(mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  TestProcess probe;
  const std::string script = "cd " + dir + " && exec " + CRASH_PROBE_PATH + " " + GetParam();
  ASSERT_TRUE(probe.Start("/bin/sh", {"-c", script}));
  ProcessOutput result = probe.Communicate("", 30000);
  ExpectExit(result, 134, GetParam());
  EXPECT_TRUE(result.out.empty());
  EXPECT_NE(result.err.find(std::string("about to crash: ") + GetParam()), std::string::npos)
      << "ordinary standard output must be redirected to standard error";
  const std::string remove = "rmdir " + dir;  // fails, and shows, if a core file was left
  EXPECT_EQ(system(remove.c_str()), 0);
}

INSTANTIATE_TEST_SUITE_P(EveryKindOfCrash, CrashExitTest,
                         ::testing::Values("segv", "bus", "fpe", "ill", "abort", "terminate",
                                           "throw", "overflow"));

}  // namespace
}  // namespace mesh

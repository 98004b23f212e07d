// The worker binary on a hostile channel: interrupted and fragmented reads
// and writes, a parent that stops reading, and a payload buffer that cannot
// be allocated.
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/worker_contract.h"
#include "reliability/request_mix.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

std::string MeshFrame(const std::string& payload) {
  return EncodeFrame(kKindMeshRequest, payload);
}

// Every kind of request, answered or not, with meshes between them.
std::string MixedInput() {
  const auto meshable = MeshableRequests();
  const auto refused = RefusedRequests();
  const auto malformed = MalformedPayloads();
  std::string input;
  for (size_t i = 0; i < meshable.size(); ++i) {
    input += MeshFrame(EncodeMeshRequest(meshable[i].second));
    input += MeshFrame(EncodeMeshRequest(refused[i % refused.size()].second));
    input += MeshFrame(malformed[i % malformed.size()].second);
  }
  return input;
}

TestProcessOptions WorkerOptions() {
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable, "LD_PRELOAD"};
  return options;
}

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kAddressSanitizer = true;
#else
constexpr bool kAddressSanitizer = false;
#endif

// The shim goes in front of everything else, so ASan must be told not to
// insist on coming first; its interceptors still run behind the shim.
TestProcessOptions WithShim(const std::string& report, const std::string& extra = "") {
  TestProcessOptions options = WorkerOptions();
  options.set_env = {std::string("LD_PRELOAD=") + IO_FAULT_SHIM_PATH, "IO_FAULT_REPORT=" + report};
  if (!extra.empty()) options.set_env.push_back(extra);
  if (kAddressSanitizer) options.set_env.push_back("ASAN_OPTIONS=verify_asan_link_order=0");
  return options;
}

std::string TempPath(const char* stem) {
  return std::string("/tmp/") + stem + "-" + std::to_string(getpid()) + "-" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name();
}

std::string ReadAndRemove(const std::string& path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  unlink(path.c_str());
  return text.str();
}

void ExpectExit(const ProcessOutput& run, int code, const std::string& context) {
  EXPECT_TRUE(run.status.exited) << context << ": killed by signal " << run.status.signal;
  EXPECT_EQ(run.status.code, code) << context << "; stderr tail: "
                                   << run.err.substr(run.err.size() > 2000 ? run.err.size() - 2000 : 0);
}

TEST(FaultInjectionTest, InterruptedAndFragmentedChannelGivesTheSameBytes) {
  const std::string input = MixedInput();
  const ProcessOutput plain = RunProcess(MESH_WORKER_PATH, input, WorkerOptions());
  ExpectExit(plain, 0, "plain run");
  ASSERT_GT(plain.out.size(), 1000u);

  // A malformed frame at the end: the exit code must survive the shim too.
  std::string bad_magic = MeshFrame("");
  bad_magic[0] = 'm';
  for (const std::string& tail : {std::string(), bad_magic}) {
    const ProcessOutput expected =
        tail.empty() ? plain : RunProcess(MESH_WORKER_PATH, input + tail, WorkerOptions());
    for (const char* seed : {"1", "2", "3"}) {
      const std::string report = TempPath("io-fault-report");
      const ProcessOutput shimmed = RunProcess(
          MESH_WORKER_PATH, input + tail, WithShim(report, std::string("IO_FAULT_SEED=") + seed));
      const std::string context = std::string("seed ") + seed + (tail.empty() ? "" : ", bad magic");
      ExpectExit(shimmed, expected.status.code, context);
      EXPECT_TRUE(shimmed.out == expected.out) << context << ": " << shimmed.out.size()
                                               << " bytes against " << expected.out.size();
      // Proof that the shim was in the worker and did its work.
      unsigned long interrupted = 0, shortened = 0;
      const std::string counts = ReadAndRemove(report);
      ASSERT_EQ(sscanf(counts.c_str(), "interrupted=%lu shortened=%lu", &interrupted, &shortened), 2)
          << "shim report: '" << counts << "'";
      EXPECT_GT(interrupted, 100u) << context;
      EXPECT_GT(shortened, 100u) << context;
    }
  }
}

TEST(FaultInjectionTest, BrokenPipeMidAnswerEndsWithZeroAndAPrefix) {
  const std::string input = MixedInput();
  const ProcessOutput plain = RunProcess(MESH_WORKER_PATH, input, WorkerOptions());
  ASSERT_GT(plain.out.size(), 100u);
  for (size_t cut : {size_t{0}, size_t{7}, size_t{16}, size_t{17}, plain.out.size() / 2,
                     plain.out.size() - 1}) {
    const std::string report = TempPath("io-fault-report");
    const ProcessOutput run = RunProcess(
        MESH_WORKER_PATH, input, WithShim(report, "IO_FAULT_EPIPE_AFTER=" + std::to_string(cut)));
    ReadAndRemove(report);
    ExpectExit(run, 0, "EPIPE after " + std::to_string(cut) + " bytes");
    EXPECT_TRUE(run.out == plain.out.substr(0, cut)) << cut << ": got " << run.out.size();
  }
}

// Starts the worker with SIGPIPE ignored (the shell's trap '' is inherited
// through exec) or at its default, then closes the read end of its output
// after the first answer and sends more work.
void ParentStopsReading(bool ignore_sigpipe) {
  const std::string command =
      std::string(ignore_sigpipe ? "trap '' PIPE; " : "") + "exec " + MESH_WORKER_PATH;
  const std::string request = MeshFrame(EncodeMeshRequest(MeshableRequests()[0].second));
  TestProcess worker;
  ASSERT_TRUE(worker.Start("/bin/sh", {"-c", command}, WorkerOptions()));
  ASSERT_TRUE(worker.WriteInput(request));
  const std::string header = worker.ReadOutput(kFrameHeaderSize, 30000);
  ASSERT_EQ(header.size(), kFrameHeaderSize);
  EXPECT_EQ(header[4], kKindSuccess);
  worker.CloseOutput();
  // Unread bytes of the first answer and every later one hit a closed pipe.
  for (int i = 0; i < 3; ++i) worker.WriteInput(request);
  ExitStatus status;
  ASSERT_TRUE(worker.Wait(30000, &status));
  EXPECT_TRUE(status.exited) << "killed by signal " << status.signal;
  EXPECT_EQ(status.code, 0);
}

TEST(FaultInjectionTest, ParentThatStopsReadingWithSigpipeAtDefault) { ParentStopsReading(false); }

TEST(FaultInjectionTest, ParentThatStopsReadingWithSigpipeIgnored) { ParentStopsReading(true); }

// Peak virtual size of a worker that has answered `input`, in KiB.
long PeakVirtualKib(const std::string& input, size_t answer_size) {
  TestProcess worker;
  if (!worker.Start(MESH_WORKER_PATH, {}, WorkerOptions()) || !worker.WriteInput(input)) return -1;
  if (worker.ReadOutput(answer_size, 30000).size() != answer_size) return -1;
  std::ifstream status("/proc/" + std::to_string(worker.pid()) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmPeak:", 0) == 0) return atol(line.c_str() + 7);
  }
  return -1;
}

TEST(FaultInjectionTest, UnallocatablePayloadEndsWith134AfterWholeAnswers) {
  const std::string request = MeshFrame(EncodeMeshRequest(MeshableRequests()[0].second));
  const ProcessOutput plain = RunProcess(MESH_WORKER_PATH, request, WorkerOptions());
  ExpectExit(plain, 0, "plain run");
  ASSERT_FALSE(plain.out.empty());

  // The largest payload a header may announce; the worker must fail to
  // allocate it before reading a byte of it.
  unsigned char huge[kFrameHeaderSize];
  EncodeFrameHeader(kKindMeshRequest, kMaxRequestPayload, huge);
  const std::string input = request + std::string(reinterpret_cast<char*>(huge), sizeof huge) +
                            std::string(1000, '\0');

  TestProcessOptions options = WorkerOptions();
  std::string command = std::string("exec ") + MESH_WORKER_PATH;
  if (kAddressSanitizer) {
    // ASan reserves terabytes of address space, so an address-space limit
    // cannot be used; its allocator is made to fail the allocation instead.
    options.set_env = {"ASAN_OPTIONS=allocator_may_return_null=1:max_allocation_size_mb=64"};
  } else {
    const long peak = PeakVirtualKib(request, plain.out.size());
    ASSERT_GT(peak, 0);
    // Room for everything a request needs, but not for the payload buffer.
    command = "ulimit -v " + std::to_string(peak + 64 * 1024) + " && " + command;
  }
  TestProcess worker;
  ASSERT_TRUE(worker.Start("/bin/sh", {"-c", command}, options));
  const ProcessOutput run = worker.Communicate(input, 60000);
  ExpectExit(run, 134, "unallocatable payload");
  EXPECT_TRUE(run.out == plain.out) << "got " << run.out.size() << " bytes, expected the "
                                    << plain.out.size() << " of the first answer alone";
}

}  // namespace
}  // namespace mesh

// The supervisor against the real worker, and against a fake one for the
// misbehaviour the real one never shows.
#include "client/worker_process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/worker_contract.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using std::chrono::milliseconds;
using test::UnitSquareRequest;

WorkerOptions RealWorker(bool hang_test_armed = false) {
  WorkerOptions options;
  options.worker_path = MESH_WORKER_PATH;
  if (hang_test_armed) {
    options.set_env = {std::string(kHangTestVariable) + "=1"};
  } else {
    options.unset_env = {kHangTestVariable};
  }
  return options;
}

WorkerOptions FakeWorker(const std::string& mode) {
  WorkerOptions options;
  options.worker_path = FAKE_WORKER_PATH;
  options.set_env = {"FAKE_WORKER_MODE=" + mode};
  return options;
}

std::set<std::string> OpenDescriptors() {
  std::set<std::string> names;
  DIR* dir = opendir("/proc/self/fd");
  const std::string own = std::to_string(dirfd(dir));
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.' && entry->d_name != own) names.insert(entry->d_name);
  }
  closedir(dir);
  return names;
}

// True once `pid` is no child of ours any more, i.e. it has been reaped.
bool Reaped(pid_t pid) { return waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD; }

char ProcessState(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string line;
  if (!std::getline(stat, line)) return '?';
  return line[line.rfind(')') + 2];
}

// AddressSanitizer reserves terabytes of address space at start-up, so a
// build with it cannot run under a limit a machine would use. Tests of the
// limit's plumbing use kRoomyLimit, which such a build fits under too.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kBuiltWithAddressSanitizer = true;
#else
constexpr bool kBuiltWithAddressSanitizer = false;
#endif
constexpr uint64_t kRoomyLimit = uint64_t{1} << 46;

std::string AddressSpaceLimitOfThisProcess() {
  struct rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  auto words = [](rlim_t value) {
    return value == RLIM_INFINITY ? std::string("unlimited") : std::to_string(value);
  };
  return words(limit.rlim_cur) + " " + words(limit.rlim_max);
}

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
}

// One empty mesh request to a fresh worker of `options`.
WorkerAnswer CallFreshWorker(const WorkerOptions& options) {
  WorkerProcess worker(options);
  return worker.Call(kKindMeshRequest, "", milliseconds(10000));
}

TEST(WorkerProcessTest, MeshesRequestsWithOneWorker) {
  WorkerProcess worker(RealWorker());
  for (double size : {0.5, 0.25}) {
    WorkerAnswer answer = worker.Mesh(UnitSquareRequest(size), milliseconds(60000));
    ASSERT_EQ(answer.outcome, CallOutcome::kSuccess) << answer.Describe();
    EXPECT_FALSE(answer.mesh.vertices.empty());
    EXPECT_EQ(answer.mesh.point_vertex.size(), 4u);
    EXPECT_EQ(answer.mesh.segment_chains.size(), 4u);
  }
  EXPECT_EQ(worker.starts(), 1);
}

TEST(WorkerProcessTest, FailureFrameCarriesTheReasonAndKeepsTheWorker) {
  WorkerProcess worker(RealWorker());
  MeshRequest two_points = UnitSquareRequest(0.25);
  two_points.points.resize(2);
  two_points.segments.clear();
  WorkerAnswer refused = worker.Mesh(two_points, milliseconds(60000));
  ASSERT_EQ(refused.outcome, CallOutcome::kRefused) << refused.Describe();
  EXPECT_TRUE(HasLineStartingWith(refused.diagnostics,
                                  "[meshing] BuildPlanarMesh: bad input (points=2"))
      << refused.Describe();

  // Malformed payloads are refused without a reason, and neither refusal
  // costs the worker.
  WorkerAnswer malformed = worker.Call(kKindMeshRequest, "\x03", milliseconds(60000));
  EXPECT_EQ(malformed.outcome, CallOutcome::kRefused);
  EXPECT_TRUE(malformed.diagnostics.empty());
  EXPECT_FALSE(malformed.refusal.found());
  EXPECT_EQ(worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000)).outcome,
            CallOutcome::kSuccess);
  EXPECT_EQ(worker.starts(), 1);
}

TEST(WorkerProcessTest, HangTestTimesOutAndTheNextRequestSucceeds) {
  WorkerProcess worker(RealWorker(/*hang_test_armed=*/true));
  std::string error;
  ASSERT_TRUE(worker.Start(&error)) << error;
  const pid_t hung = worker.pid();

  WorkerAnswer answer = worker.Call(kKindHangTest, "ignored", milliseconds(300));
  EXPECT_EQ(answer.outcome, CallOutcome::kTimedOut);
  EXPECT_EQ(answer.signal, SIGKILL);
  EXPECT_GE(answer.elapsed, milliseconds(300));
  EXPECT_LT(answer.elapsed, milliseconds(10000));
  EXPECT_FALSE(worker.running());
  EXPECT_TRUE(Reaped(hung));

  WorkerAnswer next = worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000));
  EXPECT_EQ(next.outcome, CallOutcome::kSuccess) << next.Describe();
  EXPECT_NE(worker.pid(), hung);
  EXPECT_EQ(worker.starts(), 2);
}

TEST(WorkerProcessTest, CancelEndsTheCallAtOnceAndKillsOnlyAWorkerThatHasIt) {
  WorkerProcess worker(RealWorker(/*hang_test_armed=*/true));
  CancelToken token;
  token.Cancel();
  const WorkerAnswer early = worker.Call(kKindHangTest, "", kNoTimeout, &token);
  EXPECT_EQ(early.outcome, CallOutcome::kCancelled) << early.Describe();
  EXPECT_EQ(worker.starts(), 0);  // nothing was sent, so nothing was started

  token.Reset();
  ASSERT_TRUE(worker.Mesh(UnitSquareRequest(0.5), kNoTimeout, &token).ok());
  std::thread canceller([&token] {
    std::this_thread::sleep_for(milliseconds(300));
    token.Cancel();
  });
  const WorkerAnswer hung = worker.Call(kKindHangTest, "", kNoTimeout, &token);
  canceller.join();
  EXPECT_EQ(hung.outcome, CallOutcome::kCancelled) << hung.Describe();
  EXPECT_EQ(hung.signal, SIGKILL);
  EXPECT_LT(hung.elapsed, std::chrono::seconds(5));
  EXPECT_FALSE(worker.running());

  token.Reset();
  EXPECT_TRUE(worker.Mesh(UnitSquareRequest(0.5), kNoTimeout, &token).ok());
  EXPECT_EQ(worker.starts(), 2);
}

TEST(WorkerProcessTest, DeathsAreReportedWithExitCodeOrSignal) {
  {
    // An unknown kind, and the hang test while disarmed, end the worker
    // with exit code 3.
    WorkerProcess worker(RealWorker());
    for (uint32_t kind : {2u, kKindHangTest}) {
      WorkerAnswer answer = worker.Call(kind, "payload", milliseconds(60000));
      EXPECT_EQ(answer.outcome, CallOutcome::kWorkerDied) << kind;
      EXPECT_TRUE(answer.exited);
      EXPECT_EQ(answer.exit_code, kWorkerExitMalformedFrame);
    }
    EXPECT_EQ(worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000)).outcome,
              CallOutcome::kSuccess);
    EXPECT_EQ(worker.starts(), 3);
  }
  {
    WorkerProcess worker(RealWorker(/*hang_test_armed=*/true));
    std::string error;
    ASSERT_TRUE(worker.Start(&error)) << error;
    const pid_t pid = worker.pid();
    std::thread killer([pid] {
      std::this_thread::sleep_for(milliseconds(200));
      kill(pid, SIGTERM);
    });
    WorkerAnswer answer = worker.Call(kKindHangTest, "", milliseconds(30000));
    killer.join();
    EXPECT_EQ(answer.outcome, CallOutcome::kWorkerDied) << answer.Describe();
    EXPECT_FALSE(answer.exited);
    EXPECT_EQ(answer.signal, SIGTERM);
    EXPECT_NE(answer.error.find("signal 15"), std::string::npos) << answer.error;
    EXPECT_TRUE(Reaped(pid));
  }
}

TEST(WorkerProcessTest, WorkerLostWhileIdleIsReplacedWithoutCostingTheNextRequest) {
  WorkerProcess worker(RealWorker());
  ASSERT_EQ(worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000)).outcome,
            CallOutcome::kSuccess);
  const pid_t first = worker.pid();
  kill(first, SIGKILL);
  for (int i = 0; i < 2000 && ProcessState(first) != 'Z'; ++i) usleep(1000);
  ASSERT_EQ(ProcessState(first), 'Z');

  WorkerAnswer answer = worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000));
  EXPECT_EQ(answer.outcome, CallOutcome::kSuccess) << answer.Describe();
  EXPECT_TRUE(Reaped(first));
  EXPECT_EQ(worker.starts(), 2);
}

TEST(WorkerProcessTest, NoDescriptorOrChildOutlivesTheSupervisor) {
  const std::set<std::string> before = OpenDescriptors();
  std::vector<pid_t> pids;
  {
    WorkerProcess worker(RealWorker(/*hang_test_armed=*/true));
    auto note_pid = [&] {
      std::string error;
      ASSERT_TRUE(worker.Start(&error)) << error;
      pids.push_back(worker.pid());
    };
    note_pid();
    worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000));
    worker.Call(kKindHangTest, "", milliseconds(100));
    note_pid();
    worker.Call(7, "", milliseconds(60000));
    note_pid();
    worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000));
    EXPECT_EQ(worker.starts(), 3);
  }
  {
    WorkerOptions nowhere;
    nowhere.worker_path = "/nonexistent/mesh-worker";
    WorkerProcess worker(nowhere);
    WorkerAnswer answer = worker.Mesh(UnitSquareRequest(0.25));
    EXPECT_EQ(answer.outcome, CallOutcome::kStartFailed);
    EXPECT_NE(answer.error.find("/nonexistent/mesh-worker"), std::string::npos) << answer.error;
  }
  EXPECT_EQ(OpenDescriptors(), before);
  for (pid_t pid : pids) EXPECT_TRUE(Reaped(pid)) << pid;
}

TEST(WorkerProcessTest, WorkerInheritsOnlyItsStandardStreams) {
  // Opened without close-on-exec, as careless code elsewhere in a parent
  // might.
  const int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  WorkerProcess worker(FakeWorker("descriptors"));
  WorkerAnswer answer = worker.Call(kKindMeshRequest, "", milliseconds(10000));
  close(stray);
  ASSERT_EQ(answer.outcome, CallOutcome::kRefused) << answer.Describe();
  ASSERT_EQ(answer.diagnostics.size(), 1u);
  EXPECT_EQ(answer.diagnostics[0], "fds: 0 1 2");
}

TEST(WorkerProcessTest, WorkerUnderAMemoryLimitInheritsNothingElseEither) {
  // A worker with a memory limit is started another way; it must start as
  // clean as any other, with its limit as the one difference.
  const int stray = open("/dev/null", O_RDONLY);
  ASSERT_GE(stray, 0);
  struct sigaction ignore = {}, previous_usr1;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGUSR1, &ignore, &previous_usr1);
  sigset_t usr2, previous_mask;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &usr2, &previous_mask);

  std::vector<std::pair<uint64_t, std::string>> limits = {
      {0, AddressSpaceLimitOfThisProcess()},
      {kRoomyLimit, std::to_string(kRoomyLimit) + " " + std::to_string(kRoomyLimit)}};
  if (!kBuiltWithAddressSanitizer) limits.push_back({uint64_t{1} << 30, "1073741824 1073741824"});
  for (const auto& limit : limits) {
    WorkerOptions options = FakeWorker("inheritance");
    options.memory_limit_bytes = limit.first;
    WorkerAnswer answer = CallFreshWorker(options);
    ASSERT_EQ(answer.outcome, CallOutcome::kRefused) << answer.Describe();
    const std::vector<std::string> expected = {"fds: 0 1 2", "blocked:", "ignored:",
                                               "address space: " + limit.second};
    EXPECT_EQ(answer.diagnostics, expected) << "limit " << limit.first;
  }

  pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  sigaction(SIGUSR1, &previous_usr1, nullptr);
  close(stray);

  WorkerOptions nowhere;
  nowhere.worker_path = "/nonexistent/mesh-worker";
  nowhere.memory_limit_bytes = kRoomyLimit;
  WorkerProcess worker(nowhere);
  WorkerAnswer answer = worker.Mesh(UnitSquareRequest(0.25));
  EXPECT_EQ(answer.outcome, CallOutcome::kStartFailed);
  EXPECT_NE(answer.error.find("/nonexistent/mesh-worker: No such file"), std::string::npos)
      << answer.error;
}

TEST(WorkerProcessTest, CrashUnderAMemoryLimitIsOutOfMemory) {
  WorkerOptions options = FakeWorker("crash");
  WorkerAnswer unlimited = CallFreshWorker(options);
  EXPECT_EQ(unlimited.outcome, CallOutcome::kWorkerDied) << unlimited.Describe();
  EXPECT_EQ(unlimited.exit_code, kWorkerExitCrashed);

  options.memory_limit_bytes = kRoomyLimit;
  WorkerAnswer limited = CallFreshWorker(options);
  EXPECT_EQ(limited.outcome, CallOutcome::kOutOfMemory) << limited.Describe();
  EXPECT_TRUE(limited.exited);
  EXPECT_EQ(limited.exit_code, kWorkerExitCrashed);
  EXPECT_NE(limited.error.find("limit of " + std::to_string(kRoomyLimit) + " bytes"),
            std::string::npos)
      << limited.error;

  // Other deaths under a limit stay deaths.
  options = FakeWorker("exit");
  options.memory_limit_bytes = kRoomyLimit;
  EXPECT_EQ(CallFreshWorker(options).outcome, CallOutcome::kWorkerDied);
}

TEST(WorkerProcessTest, RequestOverTheMemoryLimitIsOutOfMemoryAndTheNextSucceeds) {
  if (kBuiltWithAddressSanitizer) GTEST_SKIP() << "no practical memory limit under ASan";
  WorkerOptions options = RealWorker();
  options.memory_limit_bytes = uint64_t{192} << 20;
  WorkerProcess worker(options);
  // A 30 m square at 3 cm asks for about a million elements, some 1 GB of
  // Netgen's; the unit square after it needs a few MB.
  MeshRequest too_big = UnitSquareRequest(0.03);
  for (Point3& point : too_big.points) point = {point.x * 30, point.y * 30, point.z};
  WorkerAnswer answer = worker.Mesh(too_big, milliseconds(300000));
  ASSERT_EQ(answer.outcome, CallOutcome::kOutOfMemory) << answer.Describe();
  EXPECT_TRUE(answer.refusal.out_of_memory) << answer.refusal.line;
  EXPECT_NE(answer.Describe().find("out of memory"), std::string::npos);
  EXPECT_FALSE(worker.running());

  WorkerAnswer next = worker.Mesh(UnitSquareRequest(0.25), milliseconds(60000));
  EXPECT_EQ(next.outcome, CallOutcome::kSuccess) << next.Describe();
  EXPECT_EQ(worker.starts(), 2);
}

TEST(WorkerProcessTest, RequestOverTheFrameLimitIsRefusedBeforeItIsSent) {
  WorkerProcess worker(RealWorker());
  std::string payload(kMaxRequestPayload + 1, '\0');
  WorkerAnswer answer = worker.Call(kKindMeshRequest, payload, milliseconds(60000));
  EXPECT_EQ(answer.outcome, CallOutcome::kTooLarge);
  EXPECT_NE(answer.error.find("268435457 bytes, over the worker's limit of 268435456"),
            std::string::npos)
      << answer.error;
  EXPECT_EQ(worker.starts(), 0);

  // At the limit it goes through; the worker reads it all and refuses the
  // payload itself, and lives on.
  payload.pop_back();
  answer = worker.Call(kKindMeshRequest, payload, milliseconds(120000));
  EXPECT_EQ(answer.outcome, CallOutcome::kRefused) << answer.Describe();
  EXPECT_TRUE(worker.running());
}

TEST(WorkerProcessTest, ChattyWorkerAndLargeRequestDoNotDeadlock) {
  // The fake writes a megabyte to standard error before it reads its input
  // and another before it answers; the request is bigger than any pipe.
  WorkerProcess worker(FakeWorker("chatty"));
  const std::string payload(4 << 20, 'p');
  for (int round = 0; round < 2; ++round) {
    WorkerAnswer answer = worker.Call(kKindMeshRequest, payload, milliseconds(30000));
    ASSERT_EQ(answer.outcome, CallOutcome::kRefused) << answer.Describe();
    ASSERT_FALSE(answer.diagnostics.empty());
    EXPECT_EQ(answer.diagnostics.back(), "read 4194304 bytes");
    EXPECT_EQ(answer.diagnostics.front().size(), size_t{1} << 20);
  }
}

TEST(WorkerProcessTest, WorkerThatStopsReadingCannotKillTheParent) {
  struct sigaction before;
  sigaction(SIGPIPE, nullptr, &before);
  ASSERT_EQ(before.sa_handler, SIG_DFL);  // so a stray SIGPIPE would end this test

  WorkerProcess worker(FakeWorker("exit"));
  WorkerAnswer answer = worker.Call(kKindMeshRequest, std::string(4 << 20, 'p'),
                                    milliseconds(10000));
  EXPECT_EQ(answer.outcome, CallOutcome::kWorkerDied);
  EXPECT_TRUE(answer.exited);
  EXPECT_EQ(answer.exit_code, 7);

  struct sigaction after;
  sigaction(SIGPIPE, nullptr, &after);
  EXPECT_EQ(after.sa_handler, SIG_DFL);
  sigset_t pending, mask;
  sigpending(&pending);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
  pthread_sigmask(SIG_SETMASK, nullptr, &mask);
  EXPECT_FALSE(sigismember(&mask, SIGPIPE));
}

TEST(WorkerProcessTest, AnswersThatBreakTheProtocolCostTheWorker) {
  struct Case {
    const char* mode;
    CallOutcome outcome;
  } cases[] = {
      {"garbage", CallOutcome::kBadAnswer},
      {"bad-payload", CallOutcome::kBadAnswer},
      {"half-answer", CallOutcome::kWorkerDied},
  };
  for (const Case& c : cases) {
    WorkerProcess worker(FakeWorker(c.mode));
    WorkerAnswer answer = worker.Call(kKindMeshRequest, "", milliseconds(10000));
    EXPECT_EQ(answer.outcome, c.outcome) << c.mode << ": " << answer.Describe();
    EXPECT_FALSE(worker.running()) << c.mode;
  }
  WorkerProcess worker(FakeWorker("half-answer"));
  WorkerAnswer answer = worker.Call(kKindMeshRequest, "", milliseconds(10000));
  EXPECT_EQ(answer.exit_code, 5);
  EXPECT_EQ(answer.diagnostics, std::vector<std::string>{"about to fail"});
  EXPECT_NE(answer.error.find("inside its answer"), std::string::npos) << answer.error;
}

}  // namespace
}  // namespace mesh

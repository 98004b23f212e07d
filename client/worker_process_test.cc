// The supervisor against the real worker, and against a fake one for the
// misbehaviour the real one never shows.
#include "client/worker_process.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <set>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "testing/shapes.h"
#include "worker/platform.h"

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

bool HasLineStartingWith(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const std::string& line : lines) {
    if (line.compare(0, prefix.size(), prefix) == 0) return true;
  }
  return false;
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
  ASSERT_EQ(refused.outcome, CallOutcome::kFailure) << refused.Describe();
  EXPECT_TRUE(HasLineStartingWith(refused.diagnostics,
                                  "[meshing] BuildPlanarMesh: bad input (points=2"))
      << refused.Describe();

  // Malformed payloads are refused without a reason, and neither refusal
  // costs the worker.
  WorkerAnswer malformed = worker.Call(kKindMeshRequest, "\x03", milliseconds(60000));
  EXPECT_EQ(malformed.outcome, CallOutcome::kFailure);
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

TEST(WorkerProcessTest, DeathsAreReportedWithExitCodeOrSignal) {
  {
    // An unknown kind, and the hang test while disarmed, end the worker
    // with exit code 3.
    WorkerProcess worker(RealWorker());
    for (uint32_t kind : {2u, kKindHangTest}) {
      WorkerAnswer answer = worker.Call(kind, "payload", milliseconds(60000));
      EXPECT_EQ(answer.outcome, CallOutcome::kWorkerDied) << kind;
      EXPECT_TRUE(answer.exited);
      EXPECT_EQ(answer.exit_code, 3);
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
  ASSERT_EQ(answer.outcome, CallOutcome::kFailure) << answer.Describe();
  ASSERT_EQ(answer.diagnostics.size(), 1u);
  EXPECT_EQ(answer.diagnostics[0], "fds: 0 1 2");
}

TEST(WorkerProcessTest, ChattyWorkerAndLargeRequestDoNotDeadlock) {
  // The fake writes a megabyte to standard error before it reads its input
  // and another before it answers; the request is bigger than any pipe.
  WorkerProcess worker(FakeWorker("chatty"));
  const std::string payload(4 << 20, 'p');
  for (int round = 0; round < 2; ++round) {
    WorkerAnswer answer = worker.Call(kKindMeshRequest, payload, milliseconds(30000));
    ASSERT_EQ(answer.outcome, CallOutcome::kFailure) << answer.Describe();
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

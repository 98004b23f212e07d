// A client linked into a program looks for the worker beside the program.
// The installed shared library's own lookup, from its directory, is run by
// scripts/check-install against a real install.
#include "client/installed_worker.h"

#include <limits.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "client/worker_process.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

TEST(InstalledWorkerTest, WithoutAPathTheWorkerBesideTheProgramIsStarted) {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  ASSERT_GT(length, 0);
  const std::string program(self, static_cast<size_t>(length));
  const std::string beside = program.substr(0, program.rfind('/')) + "/mesh-worker";
  EXPECT_EQ(InstalledWorkerPath(), beside);

  // The test binaries have no worker beside them: the start fails, and says
  // which worker it tried.
  WorkerProcess worker(WorkerOptions{});
  const WorkerAnswer answer = worker.Mesh(test::UnitSquareRequest(0.25));
  EXPECT_EQ(answer.outcome, CallOutcome::kStartFailed);
  EXPECT_NE(answer.error.find(beside), std::string::npos) << answer.error;
}

}  // namespace
}  // namespace mesh

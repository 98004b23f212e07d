// The pool against the real worker: answers as one worker gives them, in the
// order asked for, and losses confined to the requests that caused them.
#include "client/worker_pool.h"

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/planar_complex_mesh.h"
#include "testing/shapes.h"
#include "worker/platform.h"

namespace mesh {
namespace {

using std::chrono::milliseconds;
using test::UnitSquareRequest;

// An L-shaped plate split into two domains, tilted out of the xy plane.
MeshRequest TwoDomains(bool prefer_quads) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {2, 0, 0}, {2, 1, 1}, {1, 1, 1},
                    {1, 2, 2}, {0, 2, 2}, {0, 1, 1}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 6, 1, 2},
                      {3, 4, 2, 0}, {4, 5, 2, 0}, {5, 6, 2, 0}, {6, 0, 1, 0}};
  request.target_size = 0.3;
  request.domain_target_sizes = {0.0, 0.15};
  request.prefer_quads = prefer_quads;
  return request;
}

WorkerPoolOptions RealWorkers(size_t count) {
  WorkerPoolOptions options;
  options.worker.worker_path = MESH_WORKER_PATH;
  options.worker.set_env = {std::string(kHangTestVariable) + "=1"};
  options.workers = count;
  return options;
}

std::vector<MeshRequest> MixedRequests() {
  std::vector<MeshRequest> requests;
  for (double size : {0.5, 0.1, 0.3, 0.05, 0.25}) requests.push_back(UnitSquareRequest(size));
  requests.push_back(TwoDomains(true));
  requests.push_back(TwoDomains(false));
  MeshRequest refused = UnitSquareRequest(0.25);
  refused.target_size = -1;
  requests.push_back(refused);
  return requests;
}

TEST(WorkerPoolTest, AnswersMatchOneWorkerAndComeBackPerRequest) {
  const std::vector<MeshRequest> requests = MixedRequests();
  std::vector<WorkerAnswer> expected;
  {
    WorkerProcess single(RealWorkers(1).worker);
    for (const MeshRequest& request : requests) expected.push_back(single.Mesh(request));
  }
  ASSERT_EQ(expected.front().outcome, CallOutcome::kSuccess) << expected.front().Describe();

  WorkerPool pool(RealWorkers(3));
  std::vector<std::future<WorkerAnswer>> futures;
  for (const MeshRequest& request : requests) futures.push_back(pool.Submit(request));
  for (size_t i = 0; i < requests.size(); ++i) {
    WorkerAnswer answer = futures[i].get();
    EXPECT_EQ(answer.outcome, expected[i].outcome) << i;
    EXPECT_EQ(EncodePlanarComplexMesh(answer.mesh), EncodePlanarComplexMesh(expected[i].mesh))
        << "request " << i;
    EXPECT_EQ(answer.diagnostics, expected[i].diagnostics) << i;
  }
  EXPECT_LE(pool.starts(), 3);
}

TEST(WorkerPoolTest, HangsAndCrashesCostOnlyTheirOwnRequests) {
  WorkerPoolOptions options = RealWorkers(2);
  options.timeout = milliseconds(4000);  // room for slow sanitized builds
  WorkerPool pool(options);
  enum Kind { kGood, kHang, kCrash };
  const std::vector<Kind> plan = {kHang, kGood, kCrash, kGood, kGood, kHang,
                                  kHang, kGood, kCrash, kGood, kGood, kGood};
  std::vector<std::future<WorkerAnswer>> futures;
  for (Kind kind : plan) {
    switch (kind) {
      case kGood:
        futures.push_back(pool.Submit(UnitSquareRequest(0.25)));
        break;
      case kHang:
        futures.push_back(pool.SubmitCall(kKindHangTest, ""));
        break;
      case kCrash:
        futures.push_back(pool.SubmitCall(9, "unknown kind"));
        break;
    }
  }
  int losses = 0;
  for (size_t i = 0; i < plan.size(); ++i) {
    WorkerAnswer answer = futures[i].get();
    switch (plan[i]) {
      case kGood:
        EXPECT_EQ(answer.outcome, CallOutcome::kSuccess) << i << ": " << answer.Describe();
        break;
      case kHang:
        EXPECT_EQ(answer.outcome, CallOutcome::kTimedOut) << i;
        ++losses;
        break;
      case kCrash:
        EXPECT_EQ(answer.outcome, CallOutcome::kWorkerDied) << i;
        EXPECT_EQ(answer.exit_code, 3) << i;
        ++losses;
        break;
    }
  }
  // Every lost worker was replaced, and no more than that.
  EXPECT_LE(pool.starts(), 2 + losses);
  EXPECT_GE(pool.starts(), 1 + losses);
}

TEST(WorkerPoolTest, CallbacksRunOnceAndQueuedWorkIsFinishedOnDestruction) {
  std::atomic<int> meshed{0}, calls{0};
  {
    WorkerPool pool(RealWorkers(2));
    for (int i = 0; i < 12; ++i) {
      pool.Submit(UnitSquareRequest(0.5), [&](WorkerAnswer answer) {
        ++calls;
        if (answer.ok()) ++meshed;
      });
    }
  }
  EXPECT_EQ(calls.load(), 12);
  EXPECT_EQ(meshed.load(), 12);
}

TEST(WorkerPoolTest, RequestOverTheFrameLimitIsAnsweredWithoutAWorker) {
  WorkerPool pool(RealWorkers(1));
  WorkerAnswer answer =
      pool.SubmitCall(kKindMeshRequest, std::string(kMaxRequestPayload + 1, 'x')).get();
  EXPECT_EQ(answer.outcome, CallOutcome::kTooLarge) << answer.Describe();
  EXPECT_EQ(pool.starts(), 0);
}

TEST(WorkerPoolTest, DefaultsToOneWorkerPerCore) {
  WorkerPool pool(RealWorkers(0));
  EXPECT_EQ(pool.size(), std::max(1u, std::thread::hardware_concurrency()));
  EXPECT_EQ(pool.starts(), 0);  // workers start with their first request
}

}  // namespace
}  // namespace mesh

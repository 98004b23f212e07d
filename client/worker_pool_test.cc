// The pool against the real worker: answers as one worker gives them, in the
// order asked for, and losses confined to the requests that caused them;
// cancels and deadlines, against the real worker and the fake one.
#include "client/worker_pool.h"

#include <signal.h>

#include <atomic>
#include <chrono>
#include <future>
#include <memory>
#include <set>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/worker_contract.h"
#include "testing/shapes.h"

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

WorkerPoolOptions FakeWorkers(size_t count, const std::string& mode) {
  WorkerPoolOptions options;
  options.worker.worker_path = FAKE_WORKER_PATH;
  options.worker.set_env = {"FAKE_WORKER_MODE=" + mode};
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
        EXPECT_EQ(answer.exit_code, kWorkerExitMalformedFrame) << i;
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

TEST(WorkerPoolTest, CancelAnswersEveryQueuedRequestAtOnceAndThePoolGoesOn) {
  // Workers that never answer: nothing is answered but by the cancel.
  WorkerPool pool(FakeWorkers(2, "silent"));
  std::vector<std::future<WorkerAnswer>> futures;
  for (int i = 0; i < 1002; ++i) futures.push_back(pool.Submit(UnitSquareRequest(0.5)));
  const auto cancelled_at = std::chrono::steady_clock::now();
  pool.Cancel();
  const auto bound = cancelled_at + std::chrono::seconds(5);
  int in_queue = 0;
  for (size_t i = 0; i < futures.size(); ++i) {
    ASSERT_EQ(futures[i].wait_until(bound), std::future_status::ready) << i;
    const WorkerAnswer answer = futures[i].get();
    EXPECT_EQ(answer.outcome, CallOutcome::kCancelled) << i << ": " << answer.Describe();
    EXPECT_FALSE(answer.error.empty()) << i;
    if (answer.error.find("still in the queue") != std::string::npos) ++in_queue;
  }
  EXPECT_GE(in_queue, 1000);

  // Still serving, with a fresh worker in place of each killed one.
  SubmitOptions brief;
  brief.timeout = milliseconds(200);
  const WorkerAnswer after = pool.Submit(UnitSquareRequest(0.5), brief).get();
  EXPECT_EQ(after.outcome, CallOutcome::kTimedOut) << after.Describe();
}

TEST(WorkerPoolTest, CancelKillsTheRequestInFlightAndTheNextOneMeshes) {
  WorkerPool pool(RealWorkers(1));
  ASSERT_TRUE(pool.Submit(UnitSquareRequest(0.5)).get().ok());
  std::future<WorkerAnswer> hanging = pool.SubmitCall(kKindHangTest, "");
  // Long enough for the running worker to have the request in its pipe.
  std::this_thread::sleep_for(milliseconds(500));
  pool.Cancel();
  ASSERT_EQ(hanging.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const WorkerAnswer answer = hanging.get();
  EXPECT_EQ(answer.outcome, CallOutcome::kCancelled) << answer.Describe();
  EXPECT_EQ(answer.signal, SIGKILL) << answer.Describe();
  EXPECT_NE(answer.Describe().find("killed"), std::string::npos) << answer.Describe();

  const WorkerAnswer next = pool.Submit(UnitSquareRequest(0.25)).get();
  EXPECT_EQ(next.outcome, CallOutcome::kSuccess) << next.Describe();
  EXPECT_EQ(pool.starts(), 2);
}

TEST(WorkerPoolTest, RequestDeadlinesOverrideThePoolsEitherWay) {
  WorkerPoolOptions options = RealWorkers(1);
  options.timeout = milliseconds(1);  // nothing meshes under this
  WorkerPool pool(options);
  SubmitOptions patient;
  patient.timeout = kNoTimeout;
  const WorkerAnswer meshed = pool.Submit(UnitSquareRequest(0.25), patient).get();
  EXPECT_EQ(meshed.outcome, CallOutcome::kSuccess) << meshed.Describe();

  SubmitOptions short_deadline;
  short_deadline.timeout = milliseconds(150);
  const auto start = std::chrono::steady_clock::now();
  const WorkerAnswer hung = pool.SubmitCall(kKindHangTest, "", short_deadline).get();
  EXPECT_EQ(hung.outcome, CallOutcome::kTimedOut) << hung.Describe();
  EXPECT_NE(hung.error.find("within 150 ms"), std::string::npos) << hung.error;
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(WorkerPoolTest, EveryRequestIsAnsweredOnceWhateverCancelsRaceIt) {
  constexpr int kSubmitters = 4, kEach = 250;
  std::vector<std::atomic<int>> answers(kSubmitters * kEach);
  std::atomic<int> cancelled{0}, unexpected{0};
  {
    // "fail" is no mode of its own: the fake's default, a refusal at once.
    WorkerPool pool(FakeWorkers(3, "fail"));
    auto record = [&](int id) {
      return [&, id](WorkerAnswer answer) {
        ++answers[id];
        if (answer.outcome == CallOutcome::kCancelled) {
          ++cancelled;
        } else if (answer.outcome != CallOutcome::kRefused) {
          ++unexpected;
        }
        // A cancel from inside a callback, on a pool thread or on the
        // cancelling one.
        if (id % 97 == 0) pool.Cancel();
      };
    };
    std::atomic<bool> submitting{true};
    std::thread canceller([&] {
      while (submitting) {
        pool.Cancel();
        std::this_thread::sleep_for(milliseconds(7));
      }
    });
    std::vector<std::thread> submitters;
    for (int t = 0; t < kSubmitters; ++t) {
      submitters.emplace_back([&, t] {
        for (int i = 0; i < kEach; ++i) {
          const int id = t * kEach + i;
          pool.Submit(UnitSquareRequest(0.5), record(id));
          if (i % 5 == 0) std::this_thread::sleep_for(milliseconds(1));
        }
      });
    }
    for (std::thread& thread : submitters) thread.join();
    submitting = false;
    canceller.join();
  }
  for (size_t id = 0; id < answers.size(); ++id) EXPECT_EQ(answers[id].load(), 1) << id;
  EXPECT_EQ(unexpected.load(), 0);
  EXPECT_GT(cancelled.load(), 0);
}

TEST(WorkerPoolTest, DefaultsToOneWorkerPerCore) {
  WorkerPool pool(RealWorkers(0));
  EXPECT_EQ(pool.size(), std::max(1u, std::thread::hardware_concurrency()));
  EXPECT_EQ(pool.starts(), 0);  // workers start with their first request
}

}  // namespace
}  // namespace mesh

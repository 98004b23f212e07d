// WorkerPool: several supervised mesh workers sharing one queue of requests.
// Each request is answered exactly as a single WorkerProcess would answer it;
// a request that hangs or kills its worker costs only itself, because the
// worker that served it is replaced before it takes the next request.
//
// Every request submitted is answered exactly once: by a worker, by
// Cancel(), or, at the latest, before the destructor returns.
//
// Deadlines run from the moment a worker takes a request up, not from its
// submission: a request's time in the queue depends on the requests before
// it, and a deadline that ran out in the queue would kill nothing and only
// turn a healthy request into a timeout. A parent with a deadline of its
// own over everything it submitted waits on its futures until then and
// calls Cancel().
#ifndef MESH_WORKER_CLIENT_WORKER_POOL_H_
#define MESH_WORKER_CLIENT_WORKER_POOL_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "client/cancel_token.h"
#include "client/worker_process.h"
#include "protocol/mesh_request.h"

namespace mesh {

// The pool's deadline unless its options say otherwise, as meshctl's: far
// beyond what any request within the worker's limits takes (a face of many
// thousand elements meshes in well under a second), and yet an end to a
// worker stuck in the mesher, which otherwise holds its slot for good.
constexpr std::chrono::milliseconds kDefaultRequestTimeout = std::chrono::seconds(120);

struct WorkerPoolOptions {
  WorkerOptions worker;
  // Number of workers; 0 means one per core (std::thread::hardware_concurrency).
  size_t workers = 0;
  // The deadline of every request without one of its own, from the moment a
  // worker takes it up; kNoTimeout waits for ever.
  std::chrono::milliseconds timeout = kDefaultRequestTimeout;
};

// What one request may set for itself.
struct SubmitOptions {
  // This request's deadline, from the moment a worker takes it up, in place
  // of the pool's (which applies when this is empty); kNoTimeout waits for
  // ever.
  std::optional<std::chrono::milliseconds> timeout;
};

class WorkerPool {
 public:
  using Callback = std::function<void(WorkerAnswer)>;

  // Workers start with their first request, not here.
  explicit WorkerPool(WorkerPoolOptions options);
  // Answers every request still queued (by meshing it: call Cancel() first
  // not to wait for that), then stops the workers.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::future<WorkerAnswer> Submit(const MeshRequest& request, const SubmitOptions& options = {});
  // `done` runs once, when the answer is in: on a pool thread, or on the
  // thread calling Cancel() for a request cancelled in the queue. It must
  // not block for long, as its worker (or the cancel) waits for it, and
  // must not throw.
  void Submit(const MeshRequest& request, Callback done, const SubmitOptions& options = {});

  // Raw frames of any kind, as WorkerProcess::Call sends them.
  std::future<WorkerAnswer> SubmitCall(uint32_t kind, std::string payload,
                                       const SubmitOptions& options = {});
  void SubmitCall(uint32_t kind, std::string payload, Callback done,
                  const SubmitOptions& options = {});

  // Ends everything submitted so far, at once. Each request still queued is
  // answered kCancelled before Cancel returns, its callback run (or its
  // future fulfilled) on this thread. Each request a worker has is answered
  // kCancelled on its pool thread as soon as its worker is killed, within
  // milliseconds, but not necessarily before Cancel returns; one whose
  // answer was already in keeps that answer. Killed workers are replaced
  // by the next requests, which the pool takes as usual. Safe from any
  // thread, a callback's included, and any number of times.
  void Cancel();

  size_t size() const { return threads_.size(); }
  // Worker processes started so far, replacements included.
  int starts() const;

 private:
  struct Job {
    uint32_t kind;
    std::string payload;
    std::chrono::milliseconds timeout;
    Callback done;
  };
  // One worker's thread, as the others see it; guarded by mutex_.
  struct Slot {
    int starts = 0;
    bool busy = false;  // has a request taken from the queue, not yet answered
    // Ends the busy request's call; Reset only while the slot is not busy.
    std::unique_ptr<CancelToken> cancel = std::make_unique<CancelToken>();
  };

  void Enqueue(uint32_t kind, std::string payload, const SubmitOptions& options, Callback done);
  void Serve(size_t slot);

  const WorkerPoolOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  bool closing_ = false;
  std::vector<Slot> slots_;  // fixed in size once the threads run
  std::vector<std::thread> threads_;
};

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_WORKER_POOL_H_

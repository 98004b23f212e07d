// WorkerPool: several supervised mesh workers sharing one queue of requests.
// Each request is answered exactly as a single WorkerProcess would answer it;
// a request that hangs or kills its worker costs only itself, because the
// worker that served it is replaced before it takes the next request.
#ifndef MESH_WORKER_CLIENT_WORKER_POOL_H_
#define MESH_WORKER_CLIENT_WORKER_POOL_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "client/worker_process.h"
#include "protocol/mesh_request.h"

namespace mesh {

struct WorkerPoolOptions {
  WorkerOptions worker;
  // Number of workers; 0 means one per core (std::thread::hardware_concurrency).
  size_t workers = 0;
  // The deadline of every request, from the moment a worker takes it up.
  std::chrono::milliseconds timeout = kNoTimeout;
};

class WorkerPool {
 public:
  using Callback = std::function<void(WorkerAnswer)>;

  // Workers start with their first request, not here.
  explicit WorkerPool(WorkerPoolOptions options);
  // Answers every request still queued, then stops the workers.
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  std::future<WorkerAnswer> Submit(const MeshRequest& request);
  // `done` runs on a pool thread, once, when the answer is in; it must not
  // block for long, as its worker waits for it, and must not throw.
  void Submit(const MeshRequest& request, Callback done);

  // Raw frames of any kind, as WorkerProcess::Call sends them.
  std::future<WorkerAnswer> SubmitCall(uint32_t kind, std::string payload);
  void SubmitCall(uint32_t kind, std::string payload, Callback done);

  size_t size() const { return threads_.size(); }
  // Worker processes started so far, replacements included.
  int starts() const;

 private:
  struct Job {
    uint32_t kind;
    std::string payload;
    Callback done;
  };

  void Enqueue(Job job);
  void Serve(size_t slot);

  const WorkerPoolOptions options_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Job> queue_;
  bool closing_ = false;
  std::vector<int> starts_;  // per slot, guarded by mutex_
  std::vector<std::thread> threads_;
};

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_WORKER_POOL_H_

#include "client/worker_pool.h"

#include <memory>
#include <numeric>
#include <utility>

#include "protocol/frame.h"

namespace mesh {

namespace {

size_t WorkerCount(size_t requested) {
  if (requested > 0) return requested;
  const unsigned cores = std::thread::hardware_concurrency();
  return cores > 0 ? cores : 1;
}

// A callback that fulfils a promise; shared because std::function must be
// copyable and std::promise is not.
WorkerPool::Callback Fulfil(std::shared_ptr<std::promise<WorkerAnswer>> promise) {
  return [promise](WorkerAnswer answer) { promise->set_value(std::move(answer)); };
}

}  // namespace

WorkerPool::WorkerPool(WorkerPoolOptions options) : options_(std::move(options)) {
  const size_t count = WorkerCount(options_.workers);
  starts_.assign(count, 0);
  threads_.reserve(count);
  for (size_t slot = 0; slot < count; ++slot) threads_.emplace_back(&WorkerPool::Serve, this, slot);
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    closing_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_) thread.join();
}

int WorkerPool::starts() const {
  std::lock_guard<std::mutex> hold(mutex_);
  return std::accumulate(starts_.begin(), starts_.end(), 0);
}

std::future<WorkerAnswer> WorkerPool::Submit(const MeshRequest& request) {
  return SubmitCall(kKindMeshRequest, EncodeMeshRequest(request));
}

void WorkerPool::Submit(const MeshRequest& request, Callback done) {
  SubmitCall(kKindMeshRequest, EncodeMeshRequest(request), std::move(done));
}

std::future<WorkerAnswer> WorkerPool::SubmitCall(uint32_t kind, std::string payload) {
  auto promise = std::make_shared<std::promise<WorkerAnswer>>();
  std::future<WorkerAnswer> future = promise->get_future();
  Enqueue(Job{kind, std::move(payload), Fulfil(std::move(promise))});
  return future;
}

void WorkerPool::SubmitCall(uint32_t kind, std::string payload, Callback done) {
  Enqueue(Job{kind, std::move(payload), std::move(done)});
}

void WorkerPool::Enqueue(Job job) {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WorkerPool::Serve(size_t slot) {
  // Each thread owns its worker outright: a request is never handed from
  // one worker to another, so answers cannot depend on which worker ran it.
  WorkerProcess worker(options_.worker);
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      wake_.wait(hold, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
    }
    WorkerAnswer answer = worker.Call(job.kind, job.payload, options_.timeout);
    {
      std::lock_guard<std::mutex> hold(mutex_);
      starts_[slot] = worker.starts();
    }
    job.done(std::move(answer));
  }
}

}  // namespace mesh

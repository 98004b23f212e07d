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

WorkerAnswer CancelledInQueue() {
  WorkerAnswer answer;
  answer.outcome = CallOutcome::kCancelled;
  answer.error = "still in the queue; nothing was sent";
  return answer;
}

}  // namespace

WorkerPool::WorkerPool(WorkerPoolOptions options) : options_(std::move(options)) {
  const size_t count = WorkerCount(options_.workers);
  slots_.resize(count);
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
  return std::accumulate(slots_.begin(), slots_.end(), 0,
                         [](int sum, const Slot& slot) { return sum + slot.starts; });
}

std::future<WorkerAnswer> WorkerPool::Submit(const MeshRequest& request,
                                             const SubmitOptions& options) {
  return SubmitCall(kKindMeshRequest, EncodeMeshRequest(request), options);
}

void WorkerPool::Submit(const MeshRequest& request, Callback done, const SubmitOptions& options) {
  SubmitCall(kKindMeshRequest, EncodeMeshRequest(request), std::move(done), options);
}

std::future<WorkerAnswer> WorkerPool::SubmitCall(uint32_t kind, std::string payload,
                                                 const SubmitOptions& options) {
  auto promise = std::make_shared<std::promise<WorkerAnswer>>();
  std::future<WorkerAnswer> future = promise->get_future();
  Enqueue(kind, std::move(payload), options, Fulfil(std::move(promise)));
  return future;
}

void WorkerPool::SubmitCall(uint32_t kind, std::string payload, Callback done,
                            const SubmitOptions& options) {
  Enqueue(kind, std::move(payload), options, std::move(done));
}

void WorkerPool::Enqueue(uint32_t kind, std::string payload, const SubmitOptions& options,
                         Callback done) {
  Job job{kind, std::move(payload), options.timeout.value_or(options_.timeout), std::move(done)};
  {
    std::lock_guard<std::mutex> hold(mutex_);
    queue_.push_back(std::move(job));
  }
  wake_.notify_one();
}

void WorkerPool::Cancel() {
  // A job leaves the queue under the lock, to exactly one taker (this or a
  // pool thread), so none is answered twice or dropped. The answers are
  // given after the lock is released: callbacks may submit or cancel.
  std::deque<Job> cancelled;
  {
    std::lock_guard<std::mutex> hold(mutex_);
    cancelled.swap(queue_);
    for (Slot& slot : slots_) {
      if (slot.busy) slot.cancel->Cancel();
    }
  }
  for (Job& job : cancelled) job.done(CancelledInQueue());
}

void WorkerPool::Serve(size_t slot) {
  // Each thread owns its worker outright: a request is never handed from
  // one worker to another, so answers cannot depend on which worker ran it.
  WorkerProcess worker(options_.worker);
  CancelToken* const cancel = slots_[slot].cancel.get();
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> hold(mutex_);
      wake_.wait(hold, [this] { return closing_ || !queue_.empty(); });
      if (queue_.empty()) return;
      job = std::move(queue_.front());
      queue_.pop_front();
      // Cancel() sees the slot busy from the moment the job left the queue,
      // so no job is between the two and missed by both.
      slots_[slot].busy = true;
      cancel->Reset();
    }
    WorkerAnswer answer = worker.Call(job.kind, job.payload, job.timeout, cancel);
    {
      std::lock_guard<std::mutex> hold(mutex_);
      slots_[slot].busy = false;
      slots_[slot].starts = worker.starts();
    }
    job.done(std::move(answer));
  }
}

}  // namespace mesh

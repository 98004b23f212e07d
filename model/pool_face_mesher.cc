#include "model/pool_face_mesher.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <utility>

namespace mesh {

namespace {

// Answers as the pool's threads hand them in, for the calling thread to
// take out one at a time.
struct AnswerQueue {
  std::mutex mutex;
  std::condition_variable ready;
  std::deque<std::pair<size_t, WorkerAnswer>> answers;
};

}  // namespace

void PoolFaceMesher::MeshBatch(const std::vector<MeshRequest>& requests,
                               const AnswerCallback& done) {
  // Two per worker keep every worker busy while the calling thread takes an
  // answer in, and no more are queued than that.
  const size_t window = 2 * (pool_.size() > 0 ? pool_.size() : 1);
  // Shared with the callbacks, which the pool may still hold after an early
  // return here (it never does: every submitted request is waited for).
  auto queue = std::make_shared<AnswerQueue>();
  size_t next = 0;
  size_t in_flight = 0;
  bool stopped = false;
  auto submit_next = [&] {
    const size_t index = next++;
    ++in_flight;
    pool_.Submit(
        requests[index],
        [queue, index](WorkerAnswer answer) {
          std::lock_guard<std::mutex> lock(queue->mutex);
          queue->answers.emplace_back(index, std::move(answer));
          queue->ready.notify_one();
        },
        submit_);
  };
  while (next < requests.size() && in_flight < window) submit_next();
  while (in_flight > 0) {
    std::pair<size_t, WorkerAnswer> answer;
    {
      std::unique_lock<std::mutex> lock(queue->mutex);
      queue->ready.wait(lock, [&] { return !queue->answers.empty(); });
      answer = std::move(queue->answers.front());
      queue->answers.pop_front();
    }
    --in_flight;
    if (!stopped && !done(answer.first, std::move(answer.second))) stopped = true;
    if (!stopped && next < requests.size()) submit_next();
  }
}

}  // namespace mesh

#include "netgen/runaway_watch.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace mesh {

namespace {

// Often enough that a runaway is stopped within a fraction of a second of
// passing the limit; rarely enough to cost nothing.
constexpr std::chrono::milliseconds kPollInterval(20);

// Netgen names its phases for its GUI's progress bar; the advancing front
// runs under this one, and only there can the mesh run away.
bool AdvancingFrontRunning() {
  const char* task = netgen::multithread.task;
  return task != nullptr && std::strcmp(task, "Surface meshing") == 0;
}

}  // namespace

size_t RunawayElementLimit(size_t boundary_edges) {
  return 2 * boundary_edges * boundary_edges + 1000;
}

RunawayWatch::RunawayWatch(std::shared_ptr<netgen::Mesh> mesh, size_t boundary_edges_at_least)
    : mesh_(std::move(mesh)), boundary_edges_at_least_(boundary_edges_at_least) {
  netgen::multithread.terminate = 0;
  thread_ = std::thread(&RunawayWatch::Watch, this);
}

RunawayWatch::~RunawayWatch() {
  {
    std::lock_guard<std::mutex> hold(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
  netgen::multithread.terminate = 0;
}

void RunawayWatch::Watch() {
  std::unique_lock<std::mutex> hold(mutex_);
  while (!wake_.wait_for(hold, kPollInterval, [this] { return stopping_; })) {
    if (!AdvancingFrontRunning()) continue;
    // The boundary edges are fixed before the front starts. The element
    // count is read while the mesher appends to it: a single aligned word,
    // and a stale value only delays the stop by one poll.
    const size_t edges =
        std::max(static_cast<size_t>(mesh_->GetNSeg()), boundary_edges_at_least_);
    const size_t elements = static_cast<size_t>(mesh_->GetNSE());
    if (elements > RunawayElementLimit(edges)) {
      boundary_edges_ = edges;
      elements_when_stopped_ = elements;
      fired_ = true;
      netgen::multithread.terminate = 1;
      return;
    }
  }
}

}  // namespace mesh

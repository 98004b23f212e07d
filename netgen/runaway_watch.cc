#include "netgen/runaway_watch.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>

#include "planar/element_estimate.h"

namespace mesh {

namespace {

// Often enough that a runaway is stopped within a fraction of a second of
// passing the limit; rarely enough to cost nothing.
constexpr std::chrono::milliseconds kPollInterval(20);

constexpr double kLimitPerEstimatedElement = 4.0;
constexpr double kLimitSlack = 200.0;

double element_estimate_in_force = -1.0;

// Netgen names its phases for its GUI's progress bar; the advancing front
// runs under this one, and only there can the mesh run away.
bool AdvancingFrontRunning() {
  const char* task = netgen::multithread.task;
  return task != nullptr && std::strcmp(task, "Surface meshing") == 0;
}

}  // namespace

size_t RunawayElementLimit(double element_estimate) {
  // A NaN or negative estimate (never made by the checks that pass a
  // request) counts as none rather than as zero.
  if (!(element_estimate >= 0)) element_estimate = kElementLimit;
  return static_cast<size_t>(
      std::ceil(kLimitPerEstimatedElement * std::min(element_estimate, kElementLimit) +
                kLimitSlack));
}

ScopedElementEstimate::ScopedElementEstimate(double elements)
    : previous_(element_estimate_in_force) {
  element_estimate_in_force = elements;
}

ScopedElementEstimate::~ScopedElementEstimate() { element_estimate_in_force = previous_; }

double CurrentElementEstimate() {
  return element_estimate_in_force >= 0 ? element_estimate_in_force : kElementLimit;
}

RunawayWatch::RunawayWatch(std::shared_ptr<netgen::Mesh> mesh)
    : mesh_(std::move(mesh)),
      element_estimate_(CurrentElementEstimate()),
      limit_(RunawayElementLimit(element_estimate_)) {
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
    // The element count is read while the mesher appends to it: a single
    // aligned word, and a stale value only delays the stop by one poll.
    const size_t elements = static_cast<size_t>(mesh_->GetNSE());
    if (elements > limit_) {
      elements_when_stopped_ = elements;
      fired_ = true;
      netgen::multithread.terminate = 1;
      return;
    }
  }
}

}  // namespace mesh

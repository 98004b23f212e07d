// A watch that stops Netgen's 2-D mesher when it runs away.
//
// On some boundaries (a zero-angle cusp where a hole touches the outline, an
// outline that runs back along itself, a sliver far thinner than the element
// size) Netgen 6.2.1905's advancing front never closes: it keeps adding
// elements without end and GenerateMesh never returns, or returns only after
// tens of seconds. A legitimate mesh cannot outgrow what its domains hold:
// the worker estimates that before meshing from each domain's area and
// target size and the strips graded in along short segments
// (planar/element_estimate.h), and the watch stops the mesher once the mesh
// passes RunawayElementLimit of that estimate, through the flag Netgen's own
// stop button uses.
//
// The limit is 4 times the estimate plus 200 elements. Over the 308 meshes
// Netgen made of every benchmark case, example, fuzz-corpus input,
// degenerate case and reliability request (`mesh-bench-cases`, figures in
// bench/README.md), the final element count was at most 1.61 times the
// estimate (13 elements against 8.1; 1.17 at most above 100 elements), and
// none reached more than 29 % of its limit: a margin of 2.5 on the factor
// alone, and the 200 cover the smallest faces, whose estimate is a handful
// of elements and whose mesh still puts an element at every boundary edge.
// Runaways are stopped within 0.25 s of processor time, long before their
// fronts slow under their own size (a field outline that took 20 to 40 s
// to reach the old limit of 2 E^2 + 1000 is stopped at about 1,350
// elements after 0.06 to 0.09 s).
//
// The outcome depends on the request only, never on timing: legitimate
// meshes never reach the limit, runaways always pass it, and a late poll
// only lets the runaway grow a little further before the stop.
//
// Uses Netgen's types; only netgen/*.cc may include it.
#ifndef MESH_WORKER_NETGEN_RUNAWAY_WATCH_H_
#define MESH_WORKER_NETGEN_RUNAWAY_WATCH_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <thread>

#include <meshing.hpp>

namespace mesh {

size_t RunawayElementLimit(double element_estimate);

// The element estimate of the request being meshed. GenerateMesh's callers
// (the passes, and the tests' scripted stand-ins for them) cannot carry it
// down to the watch, so it travels in a process-wide setting the mesher sets
// for exactly the span of its passes, under netgen_lock like every other
// Netgen global, as the kept boundary does.
class ScopedElementEstimate {
 public:
  explicit ScopedElementEstimate(double elements);
  ~ScopedElementEstimate();
  ScopedElementEstimate(const ScopedElementEstimate&) = delete;
  ScopedElementEstimate& operator=(const ScopedElementEstimate&) = delete;

 private:
  double previous_;
};

// The innermost ScopedElementEstimate's; without one, the most elements any
// request may ask for (planar/element_estimate.h), so that a mesher started
// some other way is still stopped before it exhausts memory.
double CurrentElementEstimate();

class RunawayWatch {
 public:
  // Starts watching `mesh` on a second thread until destroyed, against
  // CurrentElementEstimate().
  explicit RunawayWatch(std::shared_ptr<netgen::Mesh> mesh);
  // Stops the watch and clears Netgen's stop flag for the next mesh.
  ~RunawayWatch();
  RunawayWatch(const RunawayWatch&) = delete;
  RunawayWatch& operator=(const RunawayWatch&) = delete;

  bool fired() const { return fired_; }
  size_t elements_when_stopped() const { return elements_when_stopped_; }
  double element_estimate() const { return element_estimate_; }

 private:
  void Watch();

  // A share of its own, so the mesh outlives the watch whatever the mesher
  // does with its holder.
  std::shared_ptr<netgen::Mesh> mesh_;
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::atomic<bool> fired_{false};
  size_t elements_when_stopped_ = 0;
  const double element_estimate_;
  const size_t limit_;
  std::thread thread_;
};

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_RUNAWAY_WATCH_H_

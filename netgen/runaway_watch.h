// A watch that stops Netgen's 2-D mesher when it runs away.
//
// On some boundaries (a zero-angle cusp where a hole touches the outline, an
// outline that runs back along itself, a sliver far thinner than the element
// size) Netgen 6.2.1905's advancing front never closes: it keeps adding
// elements without end and GenerateMesh never returns. A legitimate mesh
// cannot outgrow its boundary that way: with E boundary edges, a uniform mesh
// at the boundary spacing has about E^2 / 5 elements (the isoperimetric bound)
// and graded meshes have fewer; across every mesh of our test suites the
// ratio never exceeds 0.17 E^2. So a mesh that passes 2 E^2 + 1000 elements
// has run away, and the watch stops it through the flag Netgen's own stop
// button uses. The outcome depends on the request only, never on timing:
// legitimate meshes never reach the limit, runaways always do.
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

size_t RunawayElementLimit(size_t boundary_edges);

class RunawayWatch {
 public:
  // Starts watching `mesh` on a second thread until destroyed. The limit
  // counts at least `boundary_edges_at_least` boundary edges: a boundary
  // kept as given has fewer edges than a mesh of its size would put there,
  // and a legitimate mesh must not be stopped for that.
  explicit RunawayWatch(std::shared_ptr<netgen::Mesh> mesh, size_t boundary_edges_at_least = 0);
  // Stops the watch and clears Netgen's stop flag for the next mesh.
  ~RunawayWatch();
  RunawayWatch(const RunawayWatch&) = delete;
  RunawayWatch& operator=(const RunawayWatch&) = delete;

  bool fired() const { return fired_; }
  size_t elements_when_stopped() const { return elements_when_stopped_; }
  size_t boundary_edges() const { return boundary_edges_; }

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
  size_t boundary_edges_ = 0;
  size_t boundary_edges_at_least_;
  std::thread thread_;
};

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_RUNAWAY_WATCH_H_

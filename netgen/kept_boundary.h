// Whether the mesher keeps every boundary spline as one edge. Netgen's own
// types cannot carry the choice down to its boundary partition (our copy of
// CalcPartition, which Netgen's Partition calls by name), so it travels in a
// process-wide setting that the mesher turns on for exactly the span of its
// GenerateMesh calls, under netgen_lock like every other Netgen global.
#ifndef MESH_WORKER_NETGEN_KEPT_BOUNDARY_H_
#define MESH_WORKER_NETGEN_KEPT_BOUNDARY_H_

namespace mesh {

// True while a ScopedKeptBoundary(true) is the innermost one alive.
bool BoundaryKeptAsGiven();

// Sets the setting for its lifetime and restores the previous value after,
// on every way out, so a mesher that throws never leaves it on for the next
// request. Create and destroy with netgen_lock held.
class ScopedKeptBoundary {
 public:
  explicit ScopedKeptBoundary(bool keep);
  ~ScopedKeptBoundary();
  ScopedKeptBoundary(const ScopedKeptBoundary&) = delete;
  ScopedKeptBoundary& operator=(const ScopedKeptBoundary&) = delete;

 private:
  bool previous_;
};

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_KEPT_BOUNDARY_H_

// The chain of every request segment: the vertices the mesher placed along
// it, ordered from point_a to point_b, so callers can find the mesh edges
// that make up each of their boundary segments.
#ifndef MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_
#define MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_

#include <cstdint>
#include <vector>

#include "extract/point_grid.h"
#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"

namespace mesh {

// max(1e-6, 0.001 * target_size): the farthest a node may lie from a
// segment's line and still be on the segment.
double ChainBand(double target_size);

// Everything the chains are built from. Only the first `node_count` entries
// of mesh_nodes (the mesher's own nodes) are candidates: vertices added for
// interior-only points afterwards never join a chain.
struct ChainInputs {
  const std::vector<BoundarySegment>* segments = nullptr;
  const std::vector<PlanePoint>* plane_points = nullptr;
  const std::vector<PlanePoint>* mesh_nodes = nullptr;
  int32_t node_count = 0;
  const std::vector<int32_t>* point_vertex = nullptr;
  double snap_tolerance = 0.0;
  double chain_band = 0.0;
  // When set (filing exactly the first node_count nodes), each segment looks
  // only at the cells along it instead of at every node; the chains are the
  // same.
  const PointGrid* node_grid = nullptr;
};

// The nodes within the chain band of segment a-b and no further than the
// snap tolerance past either end, ordered by their position along it
// (clamped to [0, 1]); nodes at equal positions stay in index order.
std::vector<int32_t> NodesAlongSegment(const PlanePoint& a, const PlanePoint& b,
                                       const ChainInputs& inputs);

// The chain of segment `s`. A segment shorter than the snap tolerance in the
// plane is just its two end vertices. Returns false after writing the
// mismatch line when the chain does not run from point_vertex[point_a] to
// point_vertex[point_b].
bool BuildSegmentChain(size_t s, const ChainInputs& inputs, std::vector<int32_t>* chain);

// One chain per segment in request order; stops at the first failure.
bool BuildSegmentChains(const ChainInputs& inputs,
                        std::vector<std::vector<int32_t>>* chains);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_

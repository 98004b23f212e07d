// The chain of every request segment: the vertices the mesher placed along
// it, ordered from point_a to point_b, so callers can find the mesh edges
// that make up each of their boundary segments.
#ifndef MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_
#define MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "planar/plane_frame.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// Everything the chains are built from. The chains come from the mesher's
// own division of each segment into boundary edges, never from where nodes
// happen to lie: a node near a segment (an interior node beside a short
// segment, the corner of a small hole) is not on it unless the mesher put it
// there. Vertices added for interior-only points afterwards are therefore
// never part of a chain.
struct ChainInputs {
  const std::vector<BoundarySegment>* segments = nullptr;
  const std::vector<PlanePoint>* plane_points = nullptr;
  const std::vector<int32_t>* point_vertex = nullptr;
  // As the mesher numbers nodes, from 1.
  const std::vector<BoundaryEdge>* boundary_edges = nullptr;
  double snap_tolerance = 0.0;
};

// Every boundary edge of `mesh`, in its order.
std::vector<BoundaryEdge> ReadBoundaryEdges(const SurfaceMesh& mesh);

// The chain of segment `s` from the edges `edges` (indices into
// inputs.boundary_edges, all on segment s): their vertices in order of
// position along the segment, each once. A segment shorter than the snap
// tolerance in the plane is just its two end vertices. Returns the mismatch
// refusal when the chain does not run from point_vertex[point_a] to
// point_vertex[point_b].
std::optional<StageRefusal> BuildSegmentChain(size_t s, const ChainInputs& inputs,
                                              const std::vector<size_t>& edges,
                                              std::vector<int32_t>* chain);

// One chain per segment in request order; stops at the first failure. Edges
// naming no request segment are ignored. Linear in the number of edges, up
// to the sort of each segment's own.
std::optional<StageRefusal> BuildSegmentChains(const ChainInputs& inputs,
                                               std::vector<std::vector<int32_t>>* chains);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_SEGMENT_CHAINS_H_

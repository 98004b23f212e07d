#include "extract/segment_chains.h"

#include <algorithm>
#include <utility>

#include "protocol/refusals.h"

namespace mesh {

namespace {

// Where an edge starts along its segment, whichever way it was stored.
double Start(const BoundaryEdge& edge) {
  return std::min(edge.positions[0], edge.positions[1]);
}

}  // namespace

std::vector<BoundaryEdge> ReadBoundaryEdges(const SurfaceMesh& mesh) {
  std::vector<BoundaryEdge> edges;
  const size_t count = mesh.BoundaryEdgeCount();
  edges.reserve(count);
  for (size_t e = 0; e < count; ++e) edges.push_back(mesh.BoundaryEdgeAt(e));
  return edges;
}

std::optional<StageRefusal> BuildSegmentChain(size_t s, const ChainInputs& inputs,
                                              const std::vector<size_t>& edges,
                                              std::vector<int32_t>* chain) {
  const BoundarySegment& segment = (*inputs.segments)[s];
  const PlanePoint& a = (*inputs.plane_points)[segment.point_a];
  const PlanePoint& b = (*inputs.plane_points)[segment.point_b];
  const int32_t vertex_a = (*inputs.point_vertex)[segment.point_a];
  const int32_t vertex_b = (*inputs.point_vertex)[segment.point_b];

  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  // A segment that projects to (almost) nothing has no direction to order
  // nodes by; its ends are all there is to it.
  if (du * du + dv * dv < inputs.snap_tolerance * inputs.snap_tolerance) {
    *chain = {vertex_a, vertex_b};
    return std::nullopt;
  }

  const std::vector<BoundaryEdge>& all = *inputs.boundary_edges;
  std::vector<size_t> ordered = edges;
  // Stable, so that edges starting at one position (which the mesher never
  // makes) still come out the same way every time.
  std::stable_sort(ordered.begin(), ordered.end(),
                   [&all](size_t x, size_t y) { return Start(all[x]) < Start(all[y]); });
  chain->clear();
  chain->reserve(ordered.size() + 1);
  auto append = [chain](int32_t node) {
    const int32_t vertex = node - 1;
    if (chain->empty() || chain->back() != vertex) chain->push_back(vertex);
  };
  for (size_t e : ordered) {
    const BoundaryEdge& edge = all[e];
    const bool forward = edge.positions[0] <= edge.positions[1];
    append(edge.nodes[forward ? 0 : 1]);
    append(edge.nodes[forward ? 1 : 0]);
  }

  const int32_t front = chain->empty() ? -1 : chain->front();
  const int32_t back = chain->empty() ? -1 : chain->back();
  if (chain->empty() || front != vertex_a || back != vertex_b) {
    return Refuse<RefusalKey::kChainMismatch>(s, front, back, vertex_a, vertex_b);
  }
  return std::nullopt;
}

std::optional<StageRefusal> BuildSegmentChains(const ChainInputs& inputs,
                                               std::vector<std::vector<int32_t>>* chains) {
  const size_t segment_count = inputs.segments->size();
  // Each segment's edges, in edge order.
  std::vector<std::vector<size_t>> edges_of(segment_count);
  const std::vector<BoundaryEdge>& all = *inputs.boundary_edges;
  for (size_t e = 0; e < all.size(); ++e) {
    const int32_t s = all[e].spline;
    if (s >= 0 && static_cast<size_t>(s) < segment_count) edges_of[s].push_back(e);
  }
  chains->assign(segment_count, std::vector<int32_t>());
  for (size_t s = 0; s < segment_count; ++s) {
    std::optional<StageRefusal> refusal = BuildSegmentChain(s, inputs, edges_of[s], &(*chains)[s]);
    if (refusal.has_value()) return refusal;
  }
  return std::nullopt;
}

}  // namespace mesh

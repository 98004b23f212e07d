#include "extract/segment_chains.h"

#include <algorithm>
#include <cmath>

#include "common/diagnostic.h"

namespace mesh {

namespace {

struct ChainCandidate {
  double t;
  int32_t node;
};

}  // namespace

double ChainBand(double target_size) { return std::max(1e-6, 0.001 * target_size); }

std::vector<int32_t> NodesAlongSegment(const PlanePoint& a, const PlanePoint& b,
                                       const ChainInputs& inputs) {
  const std::vector<PlanePoint>& nodes = *inputs.mesh_nodes;
  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  const double length_squared = du * du + dv * dv;
  const double margin = inputs.snap_tolerance / std::sqrt(length_squared);
  const double band_squared = inputs.chain_band * inputs.chain_band;

  std::vector<ChainCandidate> candidates;
  const size_t count = std::min(nodes.size(), static_cast<size_t>(std::max(inputs.node_count, 0)));
  for (size_t k = 0; k < count; ++k) {
    const double pu = nodes[k].u - a.u;
    const double pv = nodes[k].v - a.v;
    const double t = (pu * du + pv * dv) / length_squared;
    if (t < -margin || t > 1.0 + margin) continue;
    // Off the line, measured at the unclamped position.
    const double ou = pu - t * du;
    const double ov = pv - t * dv;
    if (ou * ou + ov * ov > band_squared) continue;
    candidates.push_back({std::min(1.0, std::max(0.0, t)), static_cast<int32_t>(k)});
  }
  // Stable, so nodes clamped onto the same end come out in index order every
  // time: callers that cache or compare answers need identical chains.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const ChainCandidate& x, const ChainCandidate& y) { return x.t < y.t; });

  std::vector<int32_t> chain;
  chain.reserve(candidates.size());
  for (const ChainCandidate& c : candidates) chain.push_back(c.node);
  return chain;
}

bool BuildSegmentChain(size_t s, const ChainInputs& inputs, std::vector<int32_t>* chain) {
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
    return true;
  }

  *chain = NodesAlongSegment(a, b, inputs);
  const int32_t front = chain->empty() ? -1 : chain->front();
  const int32_t back = chain->empty() ? -1 : chain->back();
  if (chain->empty() || front != vertex_a || back != vertex_b) {
    EmitDiagnostic("[meshing] ExtractToPlanarComplexMesh: segment %zu chain endpoints mismatch "
                   "(got front=%d back=%d, expected %d \xE2\x86\x94 %d); returning empty",
                   s, front, back, vertex_a, vertex_b);
    return false;
  }
  return true;
}

bool BuildSegmentChains(const ChainInputs& inputs, std::vector<std::vector<int32_t>>* chains) {
  chains->assign(inputs.segments->size(), std::vector<int32_t>());
  for (size_t s = 0; s < inputs.segments->size(); ++s) {
    if (!BuildSegmentChain(s, inputs, &(*chains)[s])) return false;
  }
  return true;
}

}  // namespace mesh

#include "extract/node_mapping.h"

#include <algorithm>

#include "protocol/refusals.h"
#include "planar/request_checks.h"

namespace mesh {

double SmallestTargetSize(const MeshRequest& request) {
  double smallest = request.target_size;
  for (double size : request.domain_target_sizes) {
    if (size > 0.0 && size < smallest) smallest = size;
  }
  return smallest;
}

ExtractTolerances ComputeExtractTolerances(const MeshRequest& request) {
  ExtractTolerances tolerances;
  tolerances.snap = SnapTolerance(request.target_size);
  tolerances.smallest_target_size = SmallestTargetSize(request);
  tolerances.interior_match = std::max(0.0015, 0.001 * tolerances.smallest_target_size);
  return tolerances;
}

NearestNode FindNearestNode(const std::vector<PlanePoint>& nodes, const PlanePoint& p) {
  NearestNode best;
  for (size_t k = 0; k < nodes.size(); ++k) {
    const double d2 = NodeDistanceSquared(nodes[k], p);
    if (d2 < best.distance_squared) {
      best.distance_squared = d2;
      best.index = static_cast<int32_t>(k);
    }
  }
  return best;
}

// A node whose computed distance is within the radius lies within the
// radius (plus rounding, which the slack covers) along each axis, so it is
// in a cell of the searched range; so is every node that ties with it. The
// best of the range is then the scan's node: nearest, lowest index on a tie.
NearestNode FindNearestNodeWithin(const PointGrid& grid, const std::vector<PlanePoint>& nodes,
                                  const PlanePoint& p, double radius) {
  const CellLayout& layout = grid.layout();
  const double reach = radius * (1 + 1e-9) + layout.Slack(p);
  NearestNode best;
  grid.ForEachIn(layout.Cover(p.u - reach, p.v - reach, p.u + reach, p.v + reach),
                 [&](int32_t k) {
                   const double d2 = NodeDistanceSquared(nodes[k], p);
                   if (d2 < best.distance_squared ||
                       (d2 == best.distance_squared && k < best.index)) {
                     best.distance_squared = d2;
                     best.index = k;
                   }
                 });
  if (best.index >= 0 && best.distance_squared <= radius * radius) return best;
  return NearestNode();
}

std::vector<bool> InteriorOnlyFlags(const MeshRequest& request) {
  std::vector<bool> flags(request.points.size(), false);
  for (int32_t index : request.interior_only) {
    if (index >= 0 && static_cast<size_t>(index) < flags.size()) flags[index] = true;
  }
  return flags;
}

std::optional<StageRefusal> MatchRequestPoints(const std::vector<PlanePoint>& mesh_nodes,
                                               const std::vector<PlanePoint>& plane_points,
                                               const std::vector<bool>& interior_only,
                                               const ExtractTolerances& tolerances,
                                               std::vector<int32_t>* point_vertex,
                                               std::vector<size_t>* pending_interior,
                                               const PointGrid* grid) {
  point_vertex->assign(plane_points.size(), -1);
  for (size_t i = 0; i < plane_points.size(); ++i) {
    const bool interior = i < interior_only.size() && interior_only[i];
    const double tolerance = interior ? tolerances.interior_match : tolerances.snap;
    const double tolerance_squared = tolerance * tolerance;
    NearestNode nearest;
    if (grid != nullptr) {
      nearest = FindNearestNodeWithin(*grid, mesh_nodes, plane_points[i], tolerance);
      // Only the refusal below prints the distance of a node farther away.
      if (nearest.index < 0 && !interior) nearest = FindNearestNode(mesh_nodes, plane_points[i]);
    } else {
      nearest = FindNearestNode(mesh_nodes, plane_points[i]);
    }
    if (nearest.index >= 0 && nearest.distance_squared <= tolerance_squared) {
      (*point_vertex)[i] = nearest.index;
    } else if (interior) {
      pending_interior->push_back(i);
    } else {
      return Refuse<RefusalKey::kPointNotPreserved>(i, nearest.distance_squared, tolerance_squared);
    }
  }
  return std::nullopt;
}

}  // namespace mesh

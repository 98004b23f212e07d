// Tying the caller's points back to the mesher's nodes: the tolerances the
// extraction derives from a request, the nearest-node scan, and the matching
// of every request point to a vertex.
#ifndef MESH_WORKER_EXTRACT_NODE_MAPPING_H_
#define MESH_WORKER_EXTRACT_NODE_MAPPING_H_

#include <cstddef>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "extract/point_grid.h"
#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// Lengths in metres; every one is compared squared against squared
// distances in plane coordinates.
struct ExtractTolerances {
  // How far an ordinary request point may lie from its node. Also the margin
  // past a segment's ends and the limit under which a segment is "short".
  double snap = 0.0;
  // The finest size any domain asked for: interior-only points and their
  // insertion scale with it, since a finer domain places nodes closer.
  double smallest_target_size = 0.0;
  // How far an interior-only point may lie from a node the mesher kept, when
  // the points are first matched to nodes. Points left over are inserted
  // later, with the inserter's own, wider CaptureTolerances.
  double interior_match = 0.0;
};

// target_size lowered by every per-domain size that is positive and smaller.
double SmallestTargetSize(const MeshRequest& request);

ExtractTolerances ComputeExtractTolerances(const MeshRequest& request);

struct NearestNode {
  int32_t index = -1;
  double distance_squared = std::numeric_limits<double>::max();
};

// The one formula every nearest-node search uses, so that the plain scan
// and the grid search compare bit-identical distances.
inline double NodeDistanceSquared(const PlanePoint& node, const PlanePoint& p) {
  const double du = node.u - p.u;
  const double dv = node.v - p.v;
  return du * du + dv * dv;
}

// Linear scan in index order; only a strictly smaller distance replaces the
// kept node, so ties go to the lowest index. Index -1 for an empty list.
NearestNode FindNearestNode(const std::vector<PlanePoint>& nodes, const PlanePoint& p);

// What FindNearestNode over the nodes `grid` files would return, when that
// node lies within `radius` (distance squared <= radius * radius); index -1
// when none does. Looks only at the cells around p.
NearestNode FindNearestNodeWithin(const PointGrid& grid, const std::vector<PlanePoint>& nodes,
                                  const PlanePoint& p, double radius);

// One flag per request point: listed in interior_only (duplicates count
// once). Entries out of range are ignored; the request checks refuse them
// before any mesh exists.
std::vector<bool> InteriorOnlyFlags(const MeshRequest& request);

// Ties request point i (plane coordinates plane_points[i]) to its nearest
// node, in ascending i. Interior-only points with no node close enough go
// to `pending_interior` (ascending) to be inserted once the elements exist.
// Fills `point_vertex` (one entry per point, -1 for pending ones). Returns
// the "not preserved" refusal for the first ordinary point that has no node
// within the snap tolerance. With `grid` (filing all of
// mesh_nodes) the searches look only near each point; the outcome is the
// same.
std::optional<StageRefusal> MatchRequestPoints(const std::vector<PlanePoint>& mesh_nodes,
                                               const std::vector<PlanePoint>& plane_points,
                                               const std::vector<bool>& interior_only,
                                               const ExtractTolerances& tolerances,
                                               std::vector<int32_t>* point_vertex,
                                               std::vector<size_t>* pending_interior,
                                               const PointGrid* grid = nullptr);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_NODE_MAPPING_H_

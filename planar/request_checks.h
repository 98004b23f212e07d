// The checks of a mesh request that read nothing but the request itself, and
// the snap tolerance that both meshing stages derive from its target size.
#ifndef MESH_WORKER_PLANAR_REQUEST_CHECKS_H_
#define MESH_WORKER_PLANAR_REQUEST_CHECKS_H_

#include "protocol/mesh_request.h"

namespace mesh {

// max(1e-9, target_size * 1e-6) metres: two points closer than this are one
// point to the mesher, so boundary segments must be at least this long and
// the extraction uses the same distance to recognise the caller's points.
double SnapTolerance(double target_size);

// Runs the request-only checks in a fixed order: point count and target
// size, per-domain sizes, points, plane normal, segment endpoints (all of
// them before any length), segment lengths, interior-only indices. Returns
// false after writing one diagnostic line for the first check that fails.
// Once it returns true, every index in the request is a valid point index,
// every coordinate and size is finite, and no segment is shorter than the
// snap tolerance.
bool CheckRequest(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_REQUEST_CHECKS_H_

// The checks of a mesh request that read nothing but the request itself, and
// the snap tolerance that both meshing stages derive from its target size.
#ifndef MESH_WORKER_PLANAR_REQUEST_CHECKS_H_
#define MESH_WORKER_PLANAR_REQUEST_CHECKS_H_

#include <optional>

#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// max(1e-9, target_size * 1e-6) metres: two points closer than this are one
// point to the mesher, so boundary segments must be at least this long and
// the extraction uses the same distance to recognise the caller's points.
double SnapTolerance(double target_size);

// How far a coordinate as large as `magnitude` metres may move through the
// worker's own arithmetic: into the meshing plane, through the mesher and
// back into 3-D is a few dozen roundings of a value that size, so 64 units
// in its last place (of 1 m at least, since the plane's own origin adds its
// share). The refusal of regions too far from the origin and the answer
// check both measure against it.
double CoordinateRounding(double magnitude);

// How many times the target size of its domains a segment may be long when
// the request keeps its boundary as given (kKeepBoundary). The mesher grades
// the interior from the kept edges, and the longer they are beside the
// size, the worse the elements against them: across squares, polygons, an
// L, a triangle and a strip, the smallest angle stays at 30 degrees or more
// for triangles and 19 for quads up to twice the size (Netgen's own meshes
// of those shapes: 35 and 24), but falls to 20 and 10 at three times and
// to 17 and 7 at four. Regions with few long edges are also closed with
// elements as large as the edges: a square of side 6 times the size
// becomes two triangles.
constexpr double kKeptSegmentLengthLimit = 2.0;

// Runs the request-only checks in a fixed order: options, point count and
// target size, per-domain sizes, points, plane normal, segment endpoints
// (all of them before any length), segment lengths, interior-only indices,
// and with kKeepBoundary the kept segments' lengths. Returns the refusal of
// the first check that fails. Once it returns none, every index in the
// request is a valid point index, every coordinate and size is finite, and
// no segment is shorter than the snap tolerance.
std::optional<StageRefusal> CheckRequest(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_REQUEST_CHECKS_H_

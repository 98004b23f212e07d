// An independent checker for answers: given a request and the mesh a worker
// returned for it, lists everything about the mesh that a caller could not
// rely on. For tests of every kind (unit, end-to-end, fuzz, degenerate
// geometry), so it derives the plane and the areas from the answer and the
// request alone, not from the worker's own working state.
#ifndef MESH_WORKER_EXTRACT_MESH_INVARIANTS_H_
#define MESH_WORKER_EXTRACT_MESH_INVARIANTS_H_

#include <string>
#include <vector>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Returns one human-readable line per problem found; empty means the answer
// holds every invariant:
// - array lengths agree (domains with elements, one point_vertex entry per
//   point, one chain per segment) and `vertices` is not empty;
// - every index lies in range and every vertex is finite;
// - all vertices lie in one plane;
// - point_vertex[i] lies at the projection of request point i into that
//   plane, within the snap tolerance (interior-only points: within the
//   distance at which an existing vertex is reused);
// - every chain runs from point_vertex[point_a] to point_vertex[point_b],
//   each entry within the snap tolerance of the segment and in order along
//   it, and each two consecutive entries joined by an element edge, or by a
//   path through vertices of interior-only points that split that edge (a
//   segment with no domain on either side has no elements to be joined by);
// - with kKeepBoundary, no chain has an inner entry but vertices of
//   interior-only points; with kAllQuads as well, every other inner entry,
//   from the second, is instead the midpoint of the entries beside it;
// - with kAllQuads, there is no triangle;
// - every element lies in a domain that the request's segments name (numbers
//   below 1 are outside, as 0 is, and never meshed), and none has zero or
//   negative area, none is collapsed and no quad is folded over;
// - the elements of each domain, and all of them together, cover the area
//   that the request's boundary encloses for it.
// Every tolerance allows for the rounding of coordinates of the answer's
// magnitude, no more. Linear in the size of the answer, up to sorting its
// edges. Long lists are cut short with a final line saying how many were
// left out.
std::vector<std::string> CheckMeshInvariants(const MeshRequest& request,
                                             const PlanarComplexMesh& answer);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_MESH_INVARIANTS_H_

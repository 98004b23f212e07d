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

struct MeshInvariantOptions {
  // Also require consecutive chain entries to be joined by an element edge,
  // i.e. the mesh is conforming along every boundary segment. Off by
  // default: an interior-only point placed on a boundary edge splits that
  // edge without joining the segment's chain.
  bool chain_links_are_edges = false;
  // Allowed difference between the elements' total area and the region's
  // area (and each domain's), relative to the region's area.
  double relative_area_tolerance = 1e-9;
};

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
//   each entry within the chain band of the segment and in order along it;
// - every element lies in a domain that the request's segments name (numbers
//   below 1 are outside, as 0 is, and never meshed), and all elements turn
//   the same way;
// - the elements of each domain, and all of them together, cover the area
//   that the request's boundary encloses for it.
// Long lists are cut short with a final line saying how many were left out.
std::vector<std::string> CheckMeshInvariants(
    const MeshRequest& request, const PlanarComplexMesh& answer,
    const MeshInvariantOptions& options = MeshInvariantOptions());

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_MESH_INVARIANTS_H_

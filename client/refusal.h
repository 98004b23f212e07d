// Refusal: which of the worker's checks refused a request, read back from
// the one diagnostic line the refusing stage wrote ("[meshing] Stage: what
// went wrong; returning empty"), so that a program can branch on the check
// instead of matching the human text itself.
//
// The reading is conservative: a line is taken apart only when it has the
// stages' exact shape, and a reason key is given only for wording known
// here. A line from a newer worker, or any other text, still comes back
// whole in `line`, with an empty key.
#ifndef MESH_WORKER_CLIENT_REFUSAL_H_
#define MESH_WORKER_CLIENT_REFUSAL_H_

#include <string>
#include <vector>

namespace mesh {

struct Refusal {
  // The stage that refused: "BuildPlanarMesh" or
  // "ExtractToPlanarComplexMesh". Empty when no refusal line was found.
  std::string stage;
  // A short key for the check, stable across wording changes of the values
  // in the line; empty when the line is not one known here. The keys are
  // the worker's own, listed with their lines in protocol/refusals.h:
  //   BuildPlanarMesh, request checks: unknown_options, bad_input,
  //     domain_size_not_finite, point_not_finite, plane_normal_not_finite,
  //     segment_endpoint_out_of_range, short_segment,
  //     interior_index_out_of_range, segment_too_long_to_keep;
  //   BuildPlanarMesh, geometry: no_plane, zero_area, too_many_segments,
  //     region_too_large, coordinates_too_coarse, short_segment_in_plane,
  //     self_intersection, boundary_overlap, boundary_points_coincide,
  //     boundary_point_on_segment, open_boundary, domain_outside_boundary,
  //     domain_zero_area, loop_turned_wrong_way, too_many_elements;
  //   BuildPlanarMesh, Netgen: geometry_threw, mesher_threw, mesher_failed,
  //     kept_boundary_threw, kept_boundary_failed (the mesher gave up on a
  //     request whose boundary is kept as given);
  //   ExtractToPlanarComplexMesh: no_mesh_nodes, point_not_preserved,
  //     interior_point_dropped, chain_mismatch, self_check_failed.
  std::string reason;
  // The line said "refusing as degenerate": the geometry itself is unusable.
  bool degenerate = false;
  // The mesher ran out of memory (it threw std::bad_alloc).
  bool out_of_memory = false;
  // The whole line, without its newline; empty when none was found.
  std::string line;

  bool found() const { return !line.empty(); }
};

// The last refusal line among a request's diagnostic lines (the worker and
// Netgen write progress and other chatter on the same stream).
Refusal FindRefusal(const std::vector<std::string>& diagnostics);

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_REFUSAL_H_

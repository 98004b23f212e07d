// Face preparation: a model face's rings as the mesher needs them, once the
// model's vertices are welded. Repeats go, the outline turns counter-
// clockwise about the face's normal and holes clockwise, holes that enclose
// nothing are dropped, and a face that cannot be meshed at all is marked
// with why.
#ifndef MESH_WORKER_MODEL_FACE_PREPARATION_H_
#define MESH_WORKER_MODEL_FACE_PREPARATION_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/polygon_model.h"
#include "model/vertex_weld.h"

namespace mesh {

struct PreparedFace {
  // Representative vertex indices (VertexWeld), no vertex twice in a row.
  std::vector<int32_t> outer;
  std::vector<std::vector<int32_t>> holes;
  // Unit Newell normal of the outline, which the outline runs counter-
  // clockwise about.
  Point3 normal;
  // Half the length of the outline's Newell vector: its area, holes not
  // taken off.
  double area = 0.0;
  double target_size = 0.0;
  // Largest distance of a ring vertex from the plane through the rings'
  // centroid with `normal`.
  double non_planarity = 0.0;
  // Empty for a face to mesh; otherwise the reason key and the words.
  std::string skip_key;
  std::string skip_reason;
};

struct FacePreparationCounts {
  size_t dropped_ring_repeats = 0;
  size_t dropped_holes = 0;
};

// `default_target_size` stands in for a face's 0; a face left with no size
// is marked "bad_target_size". A face is degenerate when its outline has
// fewer than 3 vertices or is thinner than `tolerance` (its area under
// `tolerance` times its extent), and when a hole vertex lies outside its
// outline.
PreparedFace PrepareFace(const Model& model, const VertexWeld& weld, size_t face,
                         double tolerance, double default_target_size,
                         FacePreparationCounts* counts);

// The Newell vector of a closed ring (twice its area along the normal),
// computed about the ring's first vertex so that coordinates of national
// grids lose no precision.
Point3 RingNewell(const std::vector<Point3>& points, const std::vector<int32_t>& ring);

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_FACE_PREPARATION_H_

// How good a meshed model's elements are, per semantic type (roofs, walls,
// ground...), in the same measures as a single answer's quality summary
// (formats/mesh_quality.h), and where the worst element is, so a person can
// find it in the picture or the .vtu file.
#ifndef MESH_WORKER_FORMATS_MODEL_QUALITY_H_
#define MESH_WORKER_FORMATS_MODEL_QUALITY_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/mesh_quality.h"
#include "formats/polygon_model.h"

namespace mesh {

struct SemanticQuality {
  // Index into Model::semantics; -1 for faces without a type.
  int32_t semantic = -1;
  size_t quads = 0;
  size_t triangles = 0;
  double min_angle = 0;
  double max_angle = 0;
  double min_quality = 0;
  double mean_quality = 0;
  size_t poor = 0;  // elements under kPoorQuality
  // The worst element: its model face, and its index among the mesh's
  // quads (worst_is_quad) or triangles.
  int32_t worst_face = -1;
  bool worst_is_quad = false;
  size_t worst_element = 0;
};

// One entry per semantic type that has elements, in tag order (those
// without a type last). Each element is measured in its own plane, turning
// as its corners run, as the model's faces face every way.
std::vector<SemanticQuality> MeasureModelQuality(const Model& model, const ModelMesh& mesh);

// One line per entry, indented by two spaces:
//   RoofSurface: 1,204 quads, 31 triangles; angles 38.2 to 141.0 degrees;
//   quality min 0.52, mean 0.91; 0 under 0.3 (worst: face 17, quad 310)
std::string FormatModelQuality(const Model& model, const std::vector<SemanticQuality>& entries);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MODEL_QUALITY_H_

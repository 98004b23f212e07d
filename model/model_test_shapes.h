// Small polygon models for the model layer's tests: boxes, split roofs,
// plates with holes.
#ifndef MESH_WORKER_MODEL_MODEL_TEST_SHAPES_H_
#define MESH_WORKER_MODEL_MODEL_TEST_SHAPES_H_

#include <array>
#include <cstdint>
#include <map>
#include <utility>
#include <vector>

#include "formats/polygon_model.h"

namespace mesh {
namespace test {

// Adds the box [low, high] as six faces with eight vertices of its own,
// outlines turning outwards.
inline void AddBox(Model* model, Point3 low, Point3 high, double target_size = 0.0) {
  const int32_t base = static_cast<int32_t>(model->vertices.size());
  for (int i = 0; i < 8; ++i) {
    model->vertices.push_back({i & 1 ? high.x : low.x, i & 2 ? high.y : low.y, i & 4 ? high.z : low.z});
  }
  const std::array<std::array<int32_t, 4>, 6> faces = {{
      {0, 2, 3, 1}, {4, 5, 7, 6},  // bottom, top
      {0, 1, 5, 4}, {2, 6, 7, 3},  // y low, y high
      {0, 4, 6, 2}, {1, 3, 7, 5},  // x low, x high
  }};
  for (const auto& face : faces) {
    ModelFace added;
    for (int32_t v : face) added.outer.push_back(base + v);
    added.target_size = target_size;
    model->faces.push_back(added);
  }
}

// Every element edge with the number of elements using it.
inline std::map<std::pair<int32_t, int32_t>, int> ElementEdgeUses(const ModelMesh& mesh) {
  std::map<std::pair<int32_t, int32_t>, int> uses;
  auto add = [&](const auto& element) {
    for (size_t i = 0; i < element.size(); ++i) {
      int32_t a = element[i], b = element[(i + 1) % element.size()];
      if (a > b) std::swap(a, b);
      ++uses[{a, b}];
    }
  };
  for (const auto& quad : mesh.quads) add(quad);
  for (const auto& triangle : mesh.triangles) add(triangle);
  return uses;
}

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_MODEL_MODEL_TEST_SHAPES_H_

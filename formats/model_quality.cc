#include "formats/model_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "formats/mesh_quality.h"

namespace mesh {

std::vector<SemanticQuality> MeasureModelQuality(const Model& model, const ModelMesh& mesh) {
  struct Sum {
    SemanticQuality entry;
    double quality_sum = 0;
  };
  // Faces without a type sort after every type.
  std::map<int64_t, Sum> by_semantic;
  const Point3 own_turning{0, 0, 0};
  auto add = [&](int32_t face, bool is_quad, size_t index, const ElementShape& shape) {
    int32_t semantic = -1;
    if (face >= 0 && static_cast<size_t>(face) < model.faces.size())
      semantic = model.faces[static_cast<size_t>(face)].semantic;
    const int64_t key = semantic < 0 ? INT64_MAX : semantic;
    auto [it, fresh] = by_semantic.try_emplace(key);
    SemanticQuality& e = it->second.entry;
    if (fresh) {
      e.semantic = semantic;
      e.min_angle = shape.min_angle;
      e.max_angle = shape.max_angle;
      e.min_quality = HUGE_VAL;
    }
    (is_quad ? e.quads : e.triangles)++;
    e.min_angle = std::min(e.min_angle, shape.min_angle);
    e.max_angle = std::max(e.max_angle, shape.max_angle);
    if (shape.quality < e.min_quality || e.worst_face < 0) {
      if (shape.quality < e.min_quality) e.min_quality = shape.quality;
      e.worst_face = face;
      e.worst_is_quad = is_quad;
      e.worst_element = index;
    }
    if (shape.quality < kPoorQuality) ++e.poor;
    it->second.quality_sum += shape.quality;
  };
  const std::vector<Point3>& v = mesh.vertices;
  for (size_t q = 0; q < mesh.quads.size(); ++q) {
    const auto& c = mesh.quads[q];
    add(mesh.quad_faces[q], true, q,
        QuadShape(v[static_cast<size_t>(c[0])], v[static_cast<size_t>(c[1])],
                  v[static_cast<size_t>(c[2])], v[static_cast<size_t>(c[3])], own_turning));
  }
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    const auto& c = mesh.triangles[t];
    add(mesh.triangle_faces[t], false, t,
        TriangleShape(v[static_cast<size_t>(c[0])], v[static_cast<size_t>(c[1])],
                      v[static_cast<size_t>(c[2])], own_turning));
  }
  std::vector<SemanticQuality> entries;
  for (auto& [key, sum] : by_semantic) {
    const size_t count = sum.entry.quads + sum.entry.triangles;
    sum.entry.mean_quality = sum.quality_sum / static_cast<double>(count);
    entries.push_back(sum.entry);
  }
  return entries;
}

namespace {

std::string Grouped(size_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

}  // namespace

std::string FormatModelQuality(const Model& model, const std::vector<SemanticQuality>& entries) {
  std::string text;
  for (const SemanticQuality& e : entries) {
    const std::string name = e.semantic >= 0 && static_cast<size_t>(e.semantic) < model.semantics.size()
                                 ? model.semantics[static_cast<size_t>(e.semantic)]
                                 : std::string("(no semantic type)");
    char line[512];
    std::snprintf(line, sizeof line,
                  "  %s: %s quads, %s triangles; angles %.1f to %.1f degrees; quality min %.2f, "
                  "mean %.2f; %s under %.1f (worst: face %d, %s %zu)\n",
                  name.c_str(), Grouped(e.quads).c_str(), Grouped(e.triangles).c_str(), e.min_angle,
                  e.max_angle, e.min_quality, e.mean_quality, Grouped(e.poor).c_str(), kPoorQuality,
                  e.worst_face, e.worst_is_quad ? "quad" : "triangle", e.worst_element);
    text += line;
  }
  return text;
}

}  // namespace mesh

#include "protocol/sample_shapes.h"

#include <cmath>

namespace mesh {

void AddLoop(MeshRequest* request, const Corners& corners, int32_t left, int32_t right) {
  const int32_t first = static_cast<int32_t>(request->points.size());
  const int32_t n = static_cast<int32_t>(corners.size());
  for (const auto& [x, y] : corners) request->points.push_back({x, y, 0});
  for (int32_t i = 0; i < n; ++i) {
    request->segments.push_back({first + i, first + (i + 1) % n, left, right});
  }
}

Corners RegularPolygon(int n, double radius, double cx, double cy) {
  constexpr double kPi = 3.14159265358979323846;
  Corners corners;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * i / n;
    corners.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a)});
  }
  return corners;
}

PlanarComplexMesh OneQuadMesh() {
  PlanarComplexMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  mesh.quads = {{0, 1, 2, 3}};
  mesh.point_vertex = {0, 1, 2, 3};
  mesh.quad_domains = {1};
  mesh.segment_chains = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
  return mesh;
}

}  // namespace mesh

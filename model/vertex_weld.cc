#include "model/vertex_weld.h"

#include <cmath>

#include "model/point_grid.h"
#include "model/vec3.h"

namespace mesh {

VertexWeld WeldVertices(const std::vector<Point3>& points, double tolerance) {
  VertexWeld weld;
  weld.representative.resize(points.size());
  PointGrid grid(tolerance);
  const double tolerance_squared = tolerance * tolerance;
  for (size_t i = 0; i < points.size(); ++i) {
    const Point3& p = points[i];
    weld.representative[i] = static_cast<int32_t>(i);
    if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) continue;
    // The nearest representative, ties to the lowest index, so the result
    // does not depend on the order of the grid's buckets.
    int32_t best = -1;
    double best_distance = tolerance_squared;
    grid.ForEachNear(p, [&](int32_t candidate) {
      const double d = DistanceSquared(p, points[candidate]);
      if (d >= tolerance_squared) return;
      if (best < 0 || d < best_distance || (d == best_distance && candidate < best)) {
        best = candidate;
        best_distance = d;
      }
    });
    if (best >= 0) {
      weld.representative[i] = best;
      ++weld.welded;
    } else {
      grid.Insert(p, static_cast<int32_t>(i));
    }
  }
  return weld;
}

}  // namespace mesh

#include "testing/plane_points.h"

namespace mesh {
namespace test {

std::vector<PlanePoint> FlatPlanePoints(const std::vector<Point3>& points) {
  std::vector<PlanePoint> result;
  for (const Point3& p : points) result.push_back({p.x, p.y});
  return result;
}

}  // namespace test
}  // namespace mesh

#include "testing/loops.h"

#include <cmath>

namespace mesh {
namespace test {

void AddLoop(MeshRequest* request, const Corners& corners, int32_t left_domain,
             int32_t right_domain) {
  const int32_t first = static_cast<int32_t>(request->points.size());
  const int32_t count = static_cast<int32_t>(corners.size());
  for (const Point3& corner : corners) request->points.push_back(corner);
  for (int32_t k = 0; k < count; ++k) {
    request->segments.push_back({first + k, first + (k + 1) % count, left_domain, right_domain});
  }
}

MeshRequest Loop(const Corners& corners, int32_t left_domain, int32_t right_domain) {
  MeshRequest request;
  request.target_size = 0.1;
  AddLoop(&request, corners, left_domain, right_domain);
  return request;
}

Corners Square(double x0, double y0, double side) {
  return {{x0, y0, 0}, {x0 + side, y0, 0}, {x0 + side, y0 + side, 0}, {x0, y0 + side, 0}};
}

Corners Reversed(Corners corners) { return {corners.rbegin(), corners.rend()}; }

Corners RegularPolygon(int n, double radius, double cx, double cy) {
  constexpr double kPi = 3.14159265358979323846;
  Corners corners;
  for (int i = 0; i < n; ++i) {
    const double a = 2 * kPi * i / n;
    corners.push_back({cx + radius * std::cos(a), cy + radius * std::sin(a), 0});
  }
  return corners;
}

}  // namespace test
}  // namespace mesh

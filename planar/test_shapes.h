// Small requests shared by the planar tests: outlines in the z = 0 plane
// built from corner lists, so each test can say which shape it means.
#ifndef MESH_WORKER_PLANAR_TEST_SHAPES_H_
#define MESH_WORKER_PLANAR_TEST_SHAPES_H_

#include <cstdint>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"

namespace mesh {
namespace test {

// Appends the corners as new points and joins them into one closed loop in
// the given order, each segment with the given domains on its left and right.
inline void AddLoop(MeshRequest* request, const std::vector<Point3>& corners,
                    int32_t left_domain, int32_t right_domain) {
  const int32_t first = static_cast<int32_t>(request->points.size());
  const int32_t count = static_cast<int32_t>(corners.size());
  for (const Point3& corner : corners) request->points.push_back(corner);
  for (int32_t k = 0; k < count; ++k) {
    request->segments.push_back(
        {first + k, first + (k + 1) % count, left_domain, right_domain});
  }
}

inline MeshRequest Loop(const std::vector<Point3>& corners, int32_t left_domain,
                        int32_t right_domain) {
  MeshRequest request;
  request.target_size = 0.1;
  AddLoop(&request, corners, left_domain, right_domain);
  return request;
}

// Counter-clockwise seen from +z.
inline std::vector<Point3> Square(double x0, double y0, double side) {
  return {{x0, y0, 0}, {x0 + side, y0, 0}, {x0 + side, y0 + side, 0}, {x0, y0 + side, 0}};
}

inline std::vector<Point3> Reversed(std::vector<Point3> corners) {
  return {corners.rbegin(), corners.rend()};
}

// Plane coordinates for points of the z = 0 plane: (x, y) itself.
inline std::vector<PlanePoint> FlatPlanePoints(const std::vector<Point3>& points) {
  std::vector<PlanePoint> result;
  for (const Point3& p : points) result.push_back({p.x, p.y});
  return result;
}

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_TEST_SHAPES_H_

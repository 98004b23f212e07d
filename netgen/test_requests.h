// Requests shared by the netgen/ tests: small regions in the z = 0 plane, so
// that plane coordinates are simply x and y.
#ifndef MESH_WORKER_NETGEN_TEST_REQUESTS_H_
#define MESH_WORKER_NETGEN_TEST_REQUESTS_H_

#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"

namespace mesh {

// The unit square, counter-clockwise, domain `domain` inside.
inline MeshRequest UnitSquareRequest(int32_t domain = 1) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  request.segments = {{0, 1, domain, 0}, {1, 2, domain, 0}, {2, 3, domain, 0}, {3, 0, domain, 0}};
  request.target_size = 0.25;
  request.prefer_quads = true;
  return request;
}

// A 2 x 1 rectangle split at x = 1: domain 1 on the left, domain 2 on the
// right; the middle segment runs upwards, so domain 1 is on its left.
inline MeshRequest TwoDomainRectangleRequest() {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                      {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  request.target_size = 0.25;
  request.prefer_quads = true;
  return request;
}

inline std::vector<PlanePoint> PlanePointsOf(const MeshRequest& request) {
  std::vector<PlanePoint> plane_points;
  for (const Point3& point : request.points) plane_points.push_back({point.x, point.y});
  return plane_points;
}

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_TEST_REQUESTS_H_

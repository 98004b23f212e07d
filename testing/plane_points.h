// Plane coordinates for requests that lie in the z = 0 plane, so tests of the
// stages after the plane frame can hand them over without building a frame.
#ifndef MESH_WORKER_TESTING_PLANE_POINTS_H_
#define MESH_WORKER_TESTING_PLANE_POINTS_H_

#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"

namespace mesh {
namespace test {

// (x, y) of each point, in order.
std::vector<PlanePoint> FlatPlanePoints(const std::vector<Point3>& points);

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_TESTING_PLANE_POINTS_H_

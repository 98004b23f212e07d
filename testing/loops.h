// Outlines from corner lists: the loops that tests, fuzz seeds and
// benchmarks build requests from, so that each caller says which shape it
// means and the segment bookkeeping is written once.
#ifndef MESH_WORKER_TESTING_LOOPS_H_
#define MESH_WORKER_TESTING_LOOPS_H_

#include <cstdint>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {
namespace test {

// A loop's corners in the order it runs; {x, y} alone lies in the z = 0
// plane.
using Corners = std::vector<Point3>;

// Appends the corners as new points and joins them into one closed loop in
// the given order, each segment with `left_domain` on the left of its
// direction of travel and `right_domain` on its right.
void AddLoop(MeshRequest* request, const Corners& corners, int32_t left_domain,
             int32_t right_domain);

// A request of the one loop, at target size 0.1.
MeshRequest Loop(const Corners& corners, int32_t left_domain, int32_t right_domain);

// Counter-clockwise seen from +z, from the corner (x0, y0).
Corners Square(double x0, double y0, double side);

Corners Reversed(Corners corners);

// The n corners of a regular polygon, counter-clockwise from angle 0.
Corners RegularPolygon(int n, double radius, double cx = 0, double cy = 0);

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_TESTING_LOOPS_H_

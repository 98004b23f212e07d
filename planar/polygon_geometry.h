// The few geometric primitives the checks, the frame, the answer check and
// meshctl share: Newell's area vector of a polygon in 3-D, and the exact
// orientation and segment-contact tests in the plane. Each is written once
// so that every caller rounds the same way.
#ifndef MESH_WORKER_PLANAR_POLYGON_GEOMETRY_H_
#define MESH_WORKER_PLANAR_POLYGON_GEOMETRY_H_

#include <cstddef>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

// Plane coordinates (u, v) of a point, in metres.
struct PlanePoint {
  double u = 0.0;
  double v = 0.0;
};

// Newell's area vector: for each edge a -> b, with both ends taken relative
// to `centre`, adds ((a.y - b.y)(a.z + b.z), (a.z - b.z)(a.x + b.x),
// (a.x - b.x)(a.y + b.y)) to `*area`, edge by edge. For a closed polygon the
// sum is normal to its plane and twice its area long, whatever the centre;
// a centre near the points keeps far-off coordinates from drowning the area
// in rounding. The terms are added to what `*area` already holds, in the
// edges' order, because callers depend on the exact bits of the sum.

// The edges are points[0] -> points[1] -> ... -> points[n - 1] -> points[0].
void AddPolygonAreaVector(const std::vector<Point3>& points, const Point3& centre,
                          Point3* area);

// The edges are segments[i] for each i in `chosen`, from point_a to point_b.
void AddSegmentAreaVector(const std::vector<Point3>& points,
                          const std::vector<BoundarySegment>& segments,
                          const std::vector<size_t>& chosen, const Point3& centre,
                          Point3* area);

// Twice the signed area of the triangle a, b, c: positive when c lies to the
// left of the line from a to b. There is no tolerance: the three count as
// collinear only when the products cancel exactly.
double Orient(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c);

// True when p lies on the closed segment a-b: on its line (Orient exactly 0)
// and within its box, ends included.
bool OnSegment(const PlanePoint& a, const PlanePoint& b, const PlanePoint& p);

// True when segments a-b and c-d properly cross: each one's ends lie strictly
// on opposite sides of the other's line. Touching (an end on the other
// segment), collinear overlap and shared ends are not crossings.
bool SegmentsCross(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                   const PlanePoint& d);

// True when the closed segments a-b and c-d have any point in common: they
// cross, one touches the other, or they overlap along a common line.
bool SegmentsMeet(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                  const PlanePoint& d);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_POLYGON_GEOMETRY_H_

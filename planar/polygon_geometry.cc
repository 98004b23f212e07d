#include "planar/polygon_geometry.h"

#include <algorithm>

namespace mesh {

namespace {

void AddEdgeAreaVector(const Point3& from, const Point3& to, const Point3& centre,
                       Point3* area) {
  const double ax = from.x - centre.x, ay = from.y - centre.y, az = from.z - centre.z;
  const double bx = to.x - centre.x, by = to.y - centre.y, bz = to.z - centre.z;
  area->x += (ay - by) * (az + bz);
  area->y += (az - bz) * (ax + bx);
  area->z += (ax - bx) * (ay + by);
}

bool StrictlyOppositeSigns(double a, double b) {
  return (a > 0.0 && b < 0.0) || (a < 0.0 && b > 0.0);
}

}  // namespace

void AddPolygonAreaVector(const std::vector<Point3>& points, const Point3& centre,
                          Point3* area) {
  const size_t n = points.size();
  for (size_t i = 0; i < n; ++i) AddEdgeAreaVector(points[i], points[(i + 1) % n], centre, area);
}

void AddSegmentAreaVector(const std::vector<Point3>& points,
                          const std::vector<BoundarySegment>& segments,
                          const std::vector<size_t>& chosen, const Point3& centre,
                          Point3* area) {
  for (size_t i : chosen) {
    AddEdgeAreaVector(points[segments[i].point_a], points[segments[i].point_b], centre, area);
  }
}

double Orient(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  return (b.u - a.u) * (c.v - a.v) - (b.v - a.v) * (c.u - a.u);
}

bool OnSegment(const PlanePoint& a, const PlanePoint& b, const PlanePoint& p) {
  return Orient(a, b, p) == 0 && std::min(a.u, b.u) <= p.u && p.u <= std::max(a.u, b.u) &&
         std::min(a.v, b.v) <= p.v && p.v <= std::max(a.v, b.v);
}

bool SegmentsCross(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                   const PlanePoint& d) {
  return StrictlyOppositeSigns(Orient(c, d, a), Orient(c, d, b)) &&
         StrictlyOppositeSigns(Orient(a, b, c), Orient(a, b, d));
}

bool SegmentsMeet(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                  const PlanePoint& d) {
  // Collinear overlap always puts an end of one on the other.
  return SegmentsCross(a, b, c, d) || OnSegment(c, d, a) || OnSegment(c, d, b) ||
         OnSegment(a, b, c) || OnSegment(a, b, d);
}

}  // namespace mesh

#include "planar/plane_frame.h"

#include <cmath>

#include "planar/polygon_geometry.h"

namespace mesh {

// The order of every sum below is fixed so that frames, and with them the
// whole mesh, are reproducible to the last bit.

PlanePoint PlanarFrame::ToPlane(const Point3& point) const {
  const double dx = point.x - origin.x;
  const double dy = point.y - origin.y;
  const double dz = point.z - origin.z;
  PlanePoint result;
  result.u = dx * u_axis.x + dy * u_axis.y + dz * u_axis.z;
  result.v = dx * v_axis.x + dy * v_axis.y + dz * v_axis.z;
  return result;
}

Point3 PlanarFrame::FromPlane(const PlanePoint& point) const {
  Point3 result;
  result.x = (u_axis.x * point.u + origin.x) + v_axis.x * point.v;
  result.y = (u_axis.y * point.u + origin.y) + v_axis.y * point.v;
  result.z = (u_axis.z * point.u + origin.z) + v_axis.z * point.v;
  return result;
}

bool BuildFrame(const std::vector<Point3>& points, const Point3* normal_hint,
                PlanarFrame* frame) {
  const size_t n = points.size();
  if (n < 3) return false;

  Point3 centroid;
  for (const Point3& p : points) {
    centroid.x += p.x;
    centroid.y += p.y;
    centroid.z += p.z;
  }
  centroid.x /= static_cast<double>(n);
  centroid.y /= static_cast<double>(n);
  centroid.z /= static_cast<double>(n);

  Point3 normal;
  if (normal_hint != nullptr) {
    normal = *normal_hint;
  } else {
    AddPolygonAreaVector(points, centroid, &normal);
  }
  const double length =
      std::sqrt(normal.x * normal.x + normal.y * normal.y + normal.z * normal.z);
  // Coordinates beyond about 1e154 overflow the squares: an infinite length
  // would make the normal zero and the frame flat.
  if (length < 1e-12 || !std::isfinite(length)) return false;
  const Point3 w{normal.x / length, normal.y / length, normal.z / length};

  Point3 best_edge;
  double best_squared = 0.0;
  for (size_t i = 0; i < n; ++i) {
    const Point3& pi = points[i];
    const Point3& pj = points[(i + 1) % n];
    const Point3 e{pj.x - pi.x, pj.y - pi.y, pj.z - pi.z};
    const double along = w.x * e.x + w.y * e.y + w.z * e.z;
    const Point3 projected{e.x - along * w.x, e.y - along * w.y, e.z - along * w.z};
    const double squared = projected.x * projected.x + projected.y * projected.y +
                           projected.z * projected.z;
    if (squared > best_squared) {
      best_squared = squared;
      best_edge = projected;
    }
  }
  if (best_squared < 1e-24 || !std::isfinite(best_squared)) return false;

  const double edge_length = std::sqrt(best_squared);
  const Point3 u{best_edge.x / edge_length, best_edge.y / edge_length,
                 best_edge.z / edge_length};
  PlanarFrame built;
  built.origin = centroid;
  built.u_axis = u;
  built.v_axis = Point3{w.y * u.z - w.z * u.y, w.z * u.x - w.x * u.z,
                        w.x * u.y - w.y * u.x};
  // Near the largest doubles the centroid or a point's offset from it can
  // still overflow; the mesher must never see an infinite coordinate.
  for (const Point3& p : points) {
    const PlanePoint q = built.ToPlane(p);
    if (!std::isfinite(q.u) || !std::isfinite(q.v)) return false;
  }
  *frame = built;
  return true;
}

std::vector<PlanePoint> ToPlanePoints(const PlanarFrame& frame,
                                      const std::vector<Point3>& points) {
  std::vector<PlanePoint> result;
  result.reserve(points.size());
  for (const Point3& point : points) result.push_back(frame.ToPlane(point));
  return result;
}

}  // namespace mesh

// The plane frame: an origin and two orthonormal in-plane axes that map the
// caller's 3-D points to the 2-D coordinates the mesher works in, and back.
#ifndef MESH_WORKER_PLANAR_PLANE_FRAME_H_
#define MESH_WORKER_PLANAR_PLANE_FRAME_H_

#include <vector>

#include "planar/polygon_geometry.h"
#include "protocol/mesh_request.h"

namespace mesh {

struct PlanarFrame {
  Point3 origin;
  Point3 u_axis;
  // w x u_axis as computed, not normalised again.
  Point3 v_axis;

  // Orthogonal projection into the plane; the distance off it is dropped.
  PlanePoint ToPlane(const Point3& point) const;
  Point3 FromPlane(const PlanePoint& point) const;
};

// Builds the frame of `points` (centroid origin). The normal is `normal_hint`
// when given (it is normalised here), otherwise Newell's normal of the points
// taken in list order as one closed polygon. The u axis is the longest
// in-plane projection of an edge between consecutive points. False, leaving
// `*frame` untouched, for fewer than 3 points, a normal shorter than 1e-12 or
// no edge with a projected squared length of at least 1e-24.
bool BuildFrame(const std::vector<Point3>& points, const Point3* normal_hint,
                PlanarFrame* frame);

// ToPlane of every point, in order.
std::vector<PlanePoint> ToPlanePoints(const PlanarFrame& frame,
                                      const std::vector<Point3>& points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_PLANE_FRAME_H_

#include "planar/interior_point_sizes.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace mesh {

namespace {

std::atomic<bool> shaped_placement{true};

double DistanceToSegment(const PlanePoint& p, const PlanePoint& a, const PlanePoint& b) {
  const double du = b.u - a.u, dv = b.v - a.v;
  const double length_squared = du * du + dv * dv;
  double t = 0.0;
  if (length_squared > 0.0) {
    t = std::clamp(((p.u - a.u) * du + (p.v - a.v) * dv) / length_squared, 0.0, 1.0);
  }
  return std::hypot(p.u - (a.u + t * du), p.v - (a.v + t * dv));
}

}  // namespace

std::vector<PointSize> InteriorPointSizes(const MeshRequest& request,
                                          const std::vector<PlanePoint>& plane_points) {
  double target = request.target_size;
  for (double size : request.domain_target_sizes) {
    if (size > 0.0) target = std::min(target, size);
  }
  std::vector<char> listed(plane_points.size(), 0);
  std::vector<PointSize> sizes;
  for (int32_t i : request.interior_only) {
    if (i < 0 || static_cast<size_t>(i) >= plane_points.size() || listed[i]) continue;
    listed[i] = 1;
    sizes.push_back({plane_points[i], target});
  }
  const double pairs = static_cast<double>(sizes.size()) *
                       static_cast<double>(sizes.size() + request.segments.size());
  if (pairs > kSizeScanLimit) return sizes;
  for (PointSize& entry : sizes) {
    double gap = INFINITY;
    for (const PointSize& other : sizes) {
      if (&other == &entry) continue;
      gap = std::min(gap, std::hypot(other.at.u - entry.at.u, other.at.v - entry.at.v));
    }
    for (const BoundarySegment& s : request.segments) {
      const size_t a = static_cast<size_t>(s.point_a), b = static_cast<size_t>(s.point_b);
      if (a >= plane_points.size() || b >= plane_points.size()) continue;
      gap = std::min(gap, DistanceToSegment(entry.at, plane_points[a], plane_points[b]));
    }
    // A point on another or on the boundary is refused or matched elsewhere;
    // it must not ask the mesher for elements of no size.
    if (gap > 0.0) entry.size = std::min(entry.size, 0.5 * gap);
  }
  return sizes;
}

bool InteriorPointsShaped() { return shaped_placement.load(std::memory_order_relaxed); }

void SetInteriorPointsShaped(bool shaped) {
  shaped_placement.store(shaped, std::memory_order_relaxed);
}

}  // namespace mesh

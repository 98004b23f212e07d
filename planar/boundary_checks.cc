#include "planar/boundary_checks.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "planar/request_checks.h"
#include "planar/polygon_geometry.h"
#include "protocol/refusals.h"

namespace mesh {

namespace {

bool IsOuter(const BoundarySegment& segment) { return segment.right_domain == 0; }

bool ShareEndpoint(const BoundarySegment& s, const BoundarySegment& t) {
  return s.point_a == t.point_a || s.point_a == t.point_b || s.point_b == t.point_a ||
         s.point_b == t.point_b;
}

// A segment with the same domain on both sides is an inner cut of that
// domain: it is walked once each way, so it neither opens the boundary nor
// adds area, and the checks below leave it out.
bool SeparatesDomain(const BoundarySegment& segment) {
  return segment.left_domain != segment.right_domain;
}

// Newell's area vector of `chosen` segments, each taken from point_a to
// point_b relative to the centre of their bounding box (so that far-off
// coordinates do not drown the area in rounding), and the squared diagonal
// of that box.
Point3 AreaVector(const std::vector<Point3>& points, const std::vector<BoundarySegment>& segments,
                  const std::vector<size_t>& chosen, double* squared_diagonal) {
  Point3 low = points[segments[chosen[0]].point_a], high = low;
  for (size_t i : chosen) {
    for (int32_t index : {segments[i].point_a, segments[i].point_b}) {
      const Point3& p = points[index];
      low.x = std::min(low.x, p.x);
      low.y = std::min(low.y, p.y);
      low.z = std::min(low.z, p.z);
      high.x = std::max(high.x, p.x);
      high.y = std::max(high.y, p.y);
      high.z = std::max(high.z, p.z);
    }
  }
  const Point3 centre{(low.x + high.x) * 0.5, (low.y + high.y) * 0.5,
                      (low.z + high.z) * 0.5};
  const double dx = high.x - low.x, dy = high.y - low.y, dz = high.z - low.z;
  *squared_diagonal = dx * dx + dy * dy + dz * dz;

  Point3 area;
  AddSegmentAreaVector(points, segments, chosen, centre, &area);
  return area;
}

bool EnclosesArea(const Point3& area, double squared_diagonal) {
  const double threshold = std::max(squared_diagonal * 1e-9, 1e-12);
  return std::sqrt(area.x * area.x + area.y * area.y + area.z * area.z) >= threshold;
}

// The diagonal of the bounding box of every point in the plane.
double PlaneSpan(const std::vector<PlanePoint>& plane_points) {
  if (plane_points.empty()) return 0.0;
  double min_u = plane_points[0].u, max_u = min_u;
  double min_v = plane_points[0].v, max_v = min_v;
  for (const PlanePoint& p : plane_points) {
    min_u = std::min(min_u, p.u);
    max_u = std::max(max_u, p.u);
    min_v = std::min(min_v, p.v);
    max_v = std::max(max_v, p.v);
  }
  return std::hypot(max_u - min_u, max_v - min_v);
}

size_t FindRoot(std::vector<size_t>* parent, size_t i) {
  while ((*parent)[i] != i) i = (*parent)[i] = (*parent)[(*parent)[i]];
  return i;
}

}  // namespace

std::optional<StageRefusal> CheckEnclosedArea(const MeshRequest& request, Point3* boundary_area) {
  const std::vector<BoundarySegment>& segments = request.segments;
  std::vector<size_t> outer;
  for (size_t i = 0; i < segments.size(); ++i) {
    if (IsOuter(segments[i])) outer.push_back(i);
  }
  *boundary_area = Point3();
  if (outer.empty()) return std::nullopt;

  double squared_diagonal = 0.0;
  *boundary_area = AreaVector(request.points, segments, outer, &squared_diagonal);
  bool encloses = EnclosesArea(*boundary_area, squared_diagonal);

  // Each connected piece of the outer boundary must enclose area of its own
  // too: a slit elsewhere would otherwise hide behind the area of a real
  // loop, and Netgen meshes outwards from both sides of a slit without end.
  std::vector<size_t> parent(request.points.size());
  for (size_t i = 0; i < parent.size(); ++i) parent[i] = i;
  for (size_t i : outer) {
    parent[FindRoot(&parent, segments[i].point_a)] = FindRoot(&parent, segments[i].point_b);
  }
  std::map<size_t, std::vector<size_t>> pieces;
  for (size_t i : outer) pieces[FindRoot(&parent, segments[i].point_a)].push_back(i);
  for (auto it = pieces.begin(); encloses && pieces.size() > 1 && it != pieces.end(); ++it) {
    double piece_diagonal = 0.0;
    encloses = EnclosesArea(AreaVector(request.points, segments, it->second, &piece_diagonal),
                            piece_diagonal);
  }

  if (!encloses) return Refuse<RefusalKey::kZeroArea>();
  return std::nullopt;
}

std::optional<StageRefusal> CheckSegmentCap(size_t segment_count) {
  if (segment_count > kSegmentCap) {
    return Refuse<RefusalKey::kTooManySegments>(segment_count, kSegmentCap);
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckPlaneExtent(const std::vector<PlanePoint>& plane_points) {
  // A span too wide for a double is infinite, and refused like any other.
  const double span = PlaneSpan(plane_points);
  if (!(span <= kMaxPlaneExtent)) return Refuse<RefusalKey::kRegionTooLarge>(span, kMaxPlaneExtent);
  return std::nullopt;
}

std::optional<StageRefusal> CheckCoordinateResolution(const MeshRequest& request,
                                                      const std::vector<PlanePoint>& plane_points) {
  double largest_size = request.target_size;
  for (double size : request.domain_target_sizes) largest_size = std::max(largest_size, size);
  double magnitude = 0.0;
  for (const Point3& p : request.points) {
    magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  }
  const double rounding = CoordinateRounding(magnitude);
  const double longest_element = std::min(PlaneSpan(plane_points), 2.0 * largest_size);
  if (longest_element < 5.0 * rounding) {
    return Refuse<RefusalKey::kCoordinatesTooCoarse>(magnitude, rounding, longest_element,
                                                     largest_size);
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckPlaneSegmentLengths(const std::vector<BoundarySegment>& segments,
                                                     const std::vector<PlanePoint>& plane_points,
                                                     double snap_tolerance) {
  for (size_t i = 0; i < segments.size(); ++i) {
    const PlanePoint& a = plane_points[segments[i].point_a];
    const PlanePoint& b = plane_points[segments[i].point_b];
    const double du = b.u - a.u, dv = b.v - a.v;
    const double squared = du * du + dv * dv;
    if (squared < snap_tolerance * snap_tolerance) {
      return Refuse<RefusalKey::kShortSegmentInPlane>(i, segments[i].point_a, segments[i].point_b,
                                                      std::sqrt(squared), snap_tolerance);
    }
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckNoSelfIntersection(const std::vector<BoundarySegment>& segments,
                                                    const std::vector<PlanePoint>& plane_points) {
  const size_t m = segments.size();
  for (size_t i = 0; i < m; ++i) {
    const BoundarySegment& s = segments[i];
    const PlanePoint& a = plane_points[s.point_a];
    const PlanePoint& b = plane_points[s.point_b];
    for (size_t j = i + 1; j < m; ++j) {
      const BoundarySegment& t = segments[j];
      if (ShareEndpoint(s, t)) continue;
      const PlanePoint& e = plane_points[t.point_a];
      const PlanePoint& f = plane_points[t.point_b];
      if (SegmentsCross(a, b, e, f)) {
        return Refuse<RefusalKey::kSelfIntersection>(i, j);
      }
    }
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckDomainBoundariesClosed(
    const std::vector<BoundarySegment>& segments) {
  // One entry per edge end: +1 where an edge of the domain leaves a point,
  // -1 where one arrives. Sorted, the entries of one (domain, point) sit
  // together, in the order the first open one must be reported in.
  std::vector<std::tuple<int32_t, int32_t, int>> ends;
  for (const BoundarySegment& s : segments) {
    if (!SeparatesDomain(s)) continue;
    if (s.left_domain >= 1) {
      ends.emplace_back(s.left_domain, s.point_a, 1);
      ends.emplace_back(s.left_domain, s.point_b, -1);
    }
    if (s.right_domain >= 1) {
      ends.emplace_back(s.right_domain, s.point_b, 1);
      ends.emplace_back(s.right_domain, s.point_a, -1);
    }
  }
  std::sort(ends.begin(), ends.end());

  for (size_t first = 0; first < ends.size();) {
    const int32_t domain = std::get<0>(ends[first]);
    const int32_t point = std::get<1>(ends[first]);
    int balance = 0;
    size_t next = first;
    for (; next < ends.size() && std::get<0>(ends[next]) == domain &&
           std::get<1>(ends[next]) == point;
         ++next) {
      balance += std::get<2>(ends[next]);
    }
    if (balance != 0) {
      return Refuse<RefusalKey::kOpenBoundary>(domain, point);
    }
    first = next;
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckDomainOrientation(const std::vector<BoundarySegment>& segments,
                                                   const std::vector<PlanePoint>& plane_points) {
  // Shoelace sums, each domain's accumulated in segment order so that the
  // reported value does not depend on anything but the request, and the
  // box of each domain's boundary in the plane.
  struct Boundary {
    double twice_area = 0.0;
    bool box_empty = true;
    double min_u = 0, max_u = 0, min_v = 0, max_v = 0;
  };
  std::map<int32_t, Boundary> boundaries;
  auto widen = [](Boundary* b, const PlanePoint& p) {
    if (b->box_empty) {
      b->min_u = b->max_u = p.u;
      b->min_v = b->max_v = p.v;
      b->box_empty = false;
    }
    b->min_u = std::min(b->min_u, p.u);
    b->max_u = std::max(b->max_u, p.u);
    b->min_v = std::min(b->min_v, p.v);
    b->max_v = std::max(b->max_v, p.v);
  };
  auto add_edge = [&](int32_t domain, int32_t from, int32_t to) {
    const PlanePoint& p = plane_points[from];
    const PlanePoint& q = plane_points[to];
    Boundary& b = boundaries[domain];
    b.twice_area += p.u * q.v - q.u * p.v;
    widen(&b, p);
    widen(&b, q);
  };
  for (const BoundarySegment& s : segments) {
    // Every domain is looked at, also one that only segments with it on
    // both sides name: those add nothing to its area.
    if (s.left_domain >= 1) boundaries.emplace(s.left_domain, Boundary());
    if (s.right_domain >= 1) boundaries.emplace(s.right_domain, Boundary());
    if (!SeparatesDomain(s)) continue;
    if (s.left_domain >= 1) add_edge(s.left_domain, s.point_a, s.point_b);
    if (s.right_domain >= 1) add_edge(s.right_domain, s.point_b, s.point_a);
  }
  for (const auto& [domain, b] : boundaries) {
    if (b.twice_area < 0.0) {
      return Refuse<RefusalKey::kDomainOutsideBoundary>(domain, b.twice_area * 0.5);
    }
    // Netgen meshes outwards from both sides of a boundary that encloses
    // nothing and never stops; a sliver, as when a given normal lies nearly
    // in the region's own plane and squashes it, keeps it busy as long. The
    // threshold is the one the enclosed-area check applies in 3-D.
    const double du = b.max_u - b.min_u, dv = b.max_v - b.min_v;
    const double threshold = std::max((du * du + dv * dv) * 1e-9, 1e-12);
    if (!(b.twice_area >= threshold)) {
      return Refuse<RefusalKey::kDomainZeroArea>(domain, b.twice_area * 0.5);
    }
  }
  return std::nullopt;
}

}  // namespace mesh

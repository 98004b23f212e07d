#include "planar/boundary_overlaps.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <utility>
#include <vector>

#include "planar/request_checks.h"
#include "protocol/refusals.h"

namespace mesh {

namespace {

// How much narrower than the run it is measured over a strip between two
// segments may be before they count as one running along the other.
constexpr double kOverlapWidthRatio = 1e-3;

double SmallestTargetSize(const MeshRequest& request) {
  double smallest = request.target_size;
  for (double size : request.domain_target_sizes) {
    if (size > 0.0) smallest = std::min(smallest, size);
  }
  return smallest;
}

double Distance(const PlanePoint& p, const PlanePoint& q) { return std::hypot(q.u - p.u, q.v - p.v); }

// Narrows [*low, *high] to the parameters λ with lo <= c0 + λ c1 <= hi.
void Narrow(double c0, double c1, double lo, double hi, double* low, double* high) {
  if (c1 == 0.0) {
    if (c0 < lo || c0 > hi) *high = -1.0;
    return;
  }
  double a = (lo - c0) / c1, b = (hi - c0) / c1;
  if (a > b) std::swap(a, b);
  *low = std::max(*low, a);
  *high = std::min(*high, b);
}

// The length of the part of segment e-f that lies within `width` of the line
// through a-b and beside a-b, between the perpendiculars at its ends.
double RunBeside(const PlanePoint& a, const PlanePoint& b, const PlanePoint& e,
                 const PlanePoint& f, double width) {
  const double length = Distance(a, b);
  const double du = (b.u - a.u) / length, dv = (b.v - a.v) / length;
  // Relative to a, so that far-off coordinates keep their small differences.
  const double eu = e.u - a.u, ev = e.v - a.v;
  const double tu = f.u - e.u, tv = f.v - e.v;
  double low = 0.0, high = 1.0;
  Narrow(eu * du + ev * dv, tu * du + tv * dv, 0.0, length, &low, &high);
  Narrow(ev * du - eu * dv, tv * du - tu * dv, -width, width, &low, &high);
  return high > low ? (high - low) * Distance(e, f) : 0.0;
}

// The distance from p to the closed segment a-b.
double DistanceToSegment(const PlanePoint& a, const PlanePoint& b, const PlanePoint& p) {
  const double su = b.u - a.u, sv = b.v - a.v;
  const double squared = su * su + sv * sv;
  double t = squared > 0.0 ? ((p.u - a.u) * su + (p.v - a.v) * sv) / squared : 0.0;
  t = std::min(1.0, std::max(0.0, t));
  return std::hypot(p.u - (a.u + t * su), p.v - (a.v + t * sv));
}

size_t FindRoot(std::vector<size_t>* parent, size_t i) {
  while ((*parent)[i] != i) i = (*parent)[i] = (*parent)[(*parent)[i]];
  return i;
}

// An inner cut of one domain given as two segments, one each way: the cut
// the boundary checks expect, not two edges on each other.
bool IsCutWalkedBothWays(const BoundarySegment& s, const BoundarySegment& t) {
  return s.left_domain == s.right_domain && t.left_domain == t.right_domain &&
         s.left_domain == t.left_domain && s.point_a == t.point_b && s.point_b == t.point_a;
}

// The widest strip an overlap or a touch with segment a-b is looked for in:
// the pair's width below is never more, whatever the other segment.
double SearchMargin(const PlanePoint& a, const PlanePoint& b, double touch,
                    double smallest_size) {
  return std::max(touch, kOverlapWidthRatio * std::min(smallest_size, 0.5 * Distance(a, b)));
}

// Pairs (i < j) of segments whose boxes, each widened by its SearchMargin,
// share a cell of a grid of about one cell per segment over the boundary's
// box, sorted and without repeats. Widening each by its own margin rather
// than one for all keeps a boundary far smaller than the target size from
// landing every segment in every cell.
std::vector<std::pair<size_t, size_t>> NearbyPairs(const std::vector<BoundarySegment>& segments,
                                                   const std::vector<PlanePoint>& plane_points,
                                                   double touch, double smallest_size) {
  double min_u = plane_points[segments[0].point_a].u, max_u = min_u;
  double min_v = plane_points[segments[0].point_a].v, max_v = min_v;
  for (const BoundarySegment& s : segments) {
    for (int32_t index : {s.point_a, s.point_b}) {
      const PlanePoint& p = plane_points[index];
      min_u = std::min(min_u, p.u);
      max_u = std::max(max_u, p.u);
      min_v = std::min(min_v, p.v);
      max_v = std::max(max_v, p.v);
    }
  }
  const size_t side = std::max<size_t>(1, static_cast<size_t>(std::ceil(std::sqrt(segments.size()))));
  const double cell_u = (max_u - min_u) / side, cell_v = (max_v - min_v) / side;
  auto cell_of = [side](double x, double low, double cell) {
    if (!(cell > 0.0)) return size_t{0};
    const double at = std::floor((x - low) / cell);
    if (!(at > 0.0)) return size_t{0};
    // A margin or a coordinate far beyond the box (up to infinity) lands in
    // the last cell; converting it first would be undefined.
    if (!(at < static_cast<double>(side - 1))) return side - 1;
    return static_cast<size_t>(at);
  };

  std::vector<std::vector<size_t>> cells(side * side);
  for (size_t i = 0; i < segments.size(); ++i) {
    const PlanePoint& a = plane_points[segments[i].point_a];
    const PlanePoint& b = plane_points[segments[i].point_b];
    const double margin = SearchMargin(a, b, touch, smallest_size);
    const size_t u0 = cell_of(std::min(a.u, b.u) - margin, min_u, cell_u);
    const size_t u1 = cell_of(std::max(a.u, b.u) + margin, min_u, cell_u);
    const size_t v0 = cell_of(std::min(a.v, b.v) - margin, min_v, cell_v);
    const size_t v1 = cell_of(std::max(a.v, b.v) + margin, min_v, cell_v);
    for (size_t u = u0; u <= u1; ++u) {
      for (size_t v = v0; v <= v1; ++v) cells[u * side + v].push_back(i);
    }
  }
  std::vector<std::pair<size_t, size_t>> pairs;
  for (const std::vector<size_t>& cell : cells) {
    for (size_t x = 0; x < cell.size(); ++x) {
      for (size_t y = x + 1; y < cell.size(); ++y) pairs.emplace_back(cell[x], cell[y]);
    }
  }
  std::sort(pairs.begin(), pairs.end());
  pairs.erase(std::unique(pairs.begin(), pairs.end()), pairs.end());
  return pairs;
}

}  // namespace

double TouchTolerance(const MeshRequest& request) {
  double magnitude = 0.0;
  for (const Point3& p : request.points) {
    magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  }
  return std::max(SnapTolerance(request.target_size), CoordinateRounding(magnitude));
}

std::optional<StageRefusal> CheckBoundaryOverlaps(const MeshRequest& request,
                                                  const std::vector<PlanePoint>& plane_points) {
  const std::vector<BoundarySegment>& segments = request.segments;
  if (segments.size() < 2) return std::nullopt;
  const double touch = TouchTolerance(request);
  const double smallest_size = SmallestTargetSize(request);

  std::vector<size_t> ring(plane_points.size());
  for (size_t i = 0; i < ring.size(); ++i) ring[i] = i;
  for (const BoundarySegment& s : segments) {
    ring[FindRoot(&ring, s.point_a)] = FindRoot(&ring, s.point_b);
  }

  const std::vector<std::pair<size_t, size_t>> pairs =
      NearbyPairs(segments, plane_points, touch, smallest_size);
  // Overlaps first, over every pair: where segments run along each other
  // their ends touch too, and the overlap is the plainer reason.
  for (const auto& [i, j] : pairs) {
    if (IsCutWalkedBothWays(segments[i], segments[j])) continue;
    const PlanePoint& a = plane_points[segments[i].point_a];
    const PlanePoint& b = plane_points[segments[i].point_b];
    const PlanePoint& e = plane_points[segments[j].point_a];
    const PlanePoint& f = plane_points[segments[j].point_b];
    const double run = std::min(smallest_size, 0.5 * std::min(Distance(a, b), Distance(e, f)));
    const double width = std::max(touch, kOverlapWidthRatio * run);
    if (RunBeside(a, b, e, f, width) >= run || RunBeside(e, f, a, b, width) >= run) {
      return Refuse<RefusalKey::kBoundaryOverlap>(i, j);
    }
  }

  for (const auto& [i, j] : pairs) {
    const BoundarySegment& s = segments[i];
    const BoundarySegment& t = segments[j];
    if (FindRoot(&ring, s.point_a) != FindRoot(&ring, t.point_a)) continue;
    // Each end of one segment that is not also an end of the other, against
    // the other segment.
    const std::pair<int32_t, const BoundarySegment*> probes[] = {
        {t.point_a, &s}, {t.point_b, &s}, {s.point_a, &t}, {s.point_b, &t}};
    for (const auto& [point, other] : probes) {
      if (point == other->point_a || point == other->point_b) continue;
      const PlanePoint& p = plane_points[point];
      for (int32_t end : {other->point_a, other->point_b}) {
        if (Distance(p, plane_points[end]) < touch) {
          return Refuse<RefusalKey::kBoundaryPointsCoincide>(std::min(point, end),
                                                             std::max(point, end));
        }
      }
      if (DistanceToSegment(plane_points[other->point_a], plane_points[other->point_b], p) <
          touch) {
        return Refuse<RefusalKey::kBoundaryPointOnSegment>(point,
                                                           static_cast<size_t>(other - &segments[0]));
      }
    }
  }
  return std::nullopt;
}

}  // namespace mesh

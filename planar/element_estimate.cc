#include "planar/element_estimate.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace mesh {

namespace {

// An equilateral triangle of side h covers sqrt(3)/4 h^2; triangles are the
// smaller of the two element kinds, so counting them errs high for quads.
constexpr double kTrianglesPerSquareSize = 4.0 / 1.7320508075688772;

// The rate at which the mesher lets element size grow away from a small
// feature (its grading parameter).
constexpr double kGrading = 0.3;

constexpr double kPi = 3.14159265358979323846;

// Along a chain of short segments the mesher puts some 10 triangles (8
// quads) per segment on each side, where the grading alone accounts for 7.7
// (measured on circles of 500 and 2,000 segments at target sizes of 0.1 to
// 0.5 of their radius); strips are charged at a little more than that.
constexpr double kStripExcess = 1.5;

double TargetSizeOf(const MeshRequest& request, int32_t domain) {
  if (static_cast<size_t>(domain) <= request.domain_target_sizes.size() &&
      request.domain_target_sizes[domain - 1] > 0.0) {
    return request.domain_target_sizes[domain - 1];
  }
  return request.target_size;
}

// The elements, beyond the domain's plain count, that the mesher grades in
// where it starts at `length` and grows the size by kGrading per metre up
// to `size`, each integrating 1/h^2 minus the plain 1/size^2 over its zone:
// a strip on one side of a segment of that length, and a whole disc round a
// point. Both are 0 for a length of at least the size.
double StripElements(double length, double size) {
  if (length >= size) return 0.0;
  const double deficit = 1.0 - length / size;
  return kStripExcess * kTrianglesPerSquareSize * deficit * deficit / kGrading;
}

double DiscElements(double length, double size) {
  if (length >= size) return 0.0;
  const double ratio = length / size;
  const double deficit = 1.0 - ratio;
  return kTrianglesPerSquareSize * 2.0 * kPi / (kGrading * kGrading) *
         std::max(0.0, -std::log(ratio) + ratio - 1.0 - 0.5 * deficit * deficit);
}

// One segment where it meets one of its points, seen from a domain on its
// left as the segment runs from `from` to `to`.
struct SegmentEnd {
  int32_t domain;
  int32_t point;
  bool incoming;  // the segment runs to `point`, else from it
  double du, dv;  // its direction, as it runs
  double length;
};

// The graded elements round one point of a domain beyond the strips of its
// segments. Where two segments of a chain meet, their strips already cover
// the point, save for the wedge a reflex corner opens (the whole half disc
// at a cut's loose end) and for the finer one's zone reaching past the
// coarser one's; so a chain of thousands of short segments costs its strips
// and no disc per segment. Anywhere else (a junction of several, a lone
// end) each segment's end counts a quarter disc.
double CornerElements(const SegmentEnd* ends, size_t count, double size) {
  if (count == 2 && ends[0].incoming != ends[1].incoming) {
    const SegmentEnd& in = ends[0].incoming ? ends[0] : ends[1];
    const SegmentEnd& out = ends[0].incoming ? ends[1] : ends[0];
    const double cross = in.du * out.dv - in.dv * out.du;
    const double dot = in.du * out.du + in.dv * out.dv;
    const double norms = in.length * out.length;
    // A turn to the right, away from the domain on the left, opens a reflex
    // corner. A segment run back on itself is a cut's end, with the domain
    // all round it.
    double reflex = std::max(0.0, -std::atan2(cross, dot));
    if (dot < 0 && std::fabs(cross) <= 1e-12 * norms) reflex = kPi;
    const double finer = std::min(in.length, out.length);
    const double coarser = std::max(in.length, out.length);
    const double finer_disc = DiscElements(finer, size);
    return finer_disc * reflex / (2.0 * kPi) +
           0.25 * (finer_disc - DiscElements(coarser, size));
  }
  double elements = 0.0;
  for (size_t i = 0; i < count; ++i) elements += 0.25 * DiscElements(ends[i].length, size);
  return elements;
}

struct DomainTally {
  double twice_area = 0.0;
  double size = 0.0;
  double shortest_segment = 0.0;
  double graded_elements = 0.0;
};

}  // namespace

ElementEstimate EstimateElements(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points) {
  std::map<int32_t, DomainTally> domains;
  std::vector<SegmentEnd> ends;
  ends.reserve(4 * request.segments.size());
  bool any_short = false;
  auto add_side = [&](int32_t domain, int32_t from_index, int32_t to_index, double length,
                      bool encloses) {
    const PlanePoint& from = plane_points[from_index];
    const PlanePoint& to = plane_points[to_index];
    auto [it, fresh] = domains.try_emplace(domain);
    DomainTally& tally = it->second;
    if (fresh) {
      tally.size = TargetSizeOf(request, domain);
      tally.shortest_segment = length;
    }
    if (encloses) tally.twice_area += from.u * to.v - to.u * from.v;
    tally.shortest_segment = std::min(tally.shortest_segment, length);
    if (length < tally.size) {
      tally.graded_elements += StripElements(length, tally.size);
      any_short = true;
    }
    const double du = to.u - from.u, dv = to.v - from.v;
    ends.push_back({domain, from_index, false, du, dv, length});
    ends.push_back({domain, to_index, true, du, dv, length});
  };
  for (const BoundarySegment& s : request.segments) {
    const PlanePoint& a = plane_points[s.point_a];
    const PlanePoint& b = plane_points[s.point_b];
    const double length = std::hypot(b.u - a.u, b.v - a.v);
    // A cut with the same domain on both sides encloses nothing, but the
    // mesher grades in around it from both sides.
    const bool encloses = s.left_domain != s.right_domain;
    if (s.left_domain >= 1) add_side(s.left_domain, s.point_a, s.point_b, length, encloses);
    if (s.right_domain >= 1) add_side(s.right_domain, s.point_b, s.point_a, length, encloses);
  }

  // Without a short segment no point grades anything in.
  if (!any_short) ends.clear();
  std::sort(ends.begin(), ends.end(), [](const SegmentEnd& x, const SegmentEnd& y) {
    return x.domain != y.domain ? x.domain < y.domain : x.point < y.point;
  });
  for (size_t first = 0, last; first < ends.size(); first = last) {
    last = first + 1;
    while (last < ends.size() && ends[last].domain == ends[first].domain &&
           ends[last].point == ends[first].point) {
      ++last;
    }
    DomainTally& tally = domains[ends[first].domain];
    tally.graded_elements += CornerElements(&ends[first], last - first, tally.size);
  }

  ElementEstimate estimate;
  for (const auto& [domain, tally] : domains) {
    const double area = std::max(0.0, 0.5 * tally.twice_area);
    const double plain = kTrianglesPerSquareSize * area / (tally.size * tally.size);
    const double finest = std::min(tally.size, tally.shortest_segment);
    const double ceiling = kTrianglesPerSquareSize * area / (finest * finest);
    estimate.elements += std::min(plain + tally.graded_elements, ceiling);
    estimate.area += area;
    if (estimate.smallest_target_size == 0.0 || tally.size < estimate.smallest_target_size) {
      estimate.smallest_target_size = tally.size;
    }
  }
  return estimate;
}

double InteriorPointElements(const std::vector<double>& sizes, double target_size, double area) {
  // A vertex of a triangle mesh has six triangles round it, two of its own.
  constexpr double kElementsPerPoint = 3.0;
  if (sizes.empty() || !(target_size > 0)) return 0.0;
  double discs = 0.0;
  double smallest = target_size;
  for (double size : sizes) {
    if (!(size > 0)) continue;
    discs += DiscElements(size, target_size);
    smallest = std::min(smallest, size);
  }
  const double filled = kTrianglesPerSquareSize * area / (smallest * smallest);
  return kElementsPerPoint * static_cast<double>(sizes.size()) + std::min(discs, filled);
}

std::optional<StageRefusal> CheckElementEstimate(const MeshRequest& request,
                                                 const std::vector<PlanePoint>& plane_points) {
  const ElementEstimate estimate = EstimateElements(request, plane_points);
  // Written so that a NaN estimate is refused too.
  if (!(estimate.elements <= kElementLimit)) {
    return Refuse<RefusalKey::kTooManyElements>(estimate.elements, estimate.area,
                                                estimate.smallest_target_size, kElementLimit);
  }
  return std::nullopt;
}

}  // namespace mesh

#include "planar/element_estimate.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "common/diagnostic.h"

namespace mesh {

namespace {

// An equilateral triangle of side h covers sqrt(3)/4 h^2; triangles are the
// smaller of the two element kinds, so counting them errs high for quads.
constexpr double kTrianglesPerSquareSize = 4.0 / 1.7320508075688772;

// The rate at which the mesher lets element size grow away from a small
// feature (its grading parameter).
constexpr double kGrading = 0.3;

constexpr double kPi = 3.14159265358979323846;

double TargetSizeOf(const MeshRequest& request, int32_t domain) {
  if (static_cast<size_t>(domain) <= request.domain_target_sizes.size() &&
      request.domain_target_sizes[domain - 1] > 0.0) {
    return request.domain_target_sizes[domain - 1];
  }
  return request.target_size;
}

// The elements, beyond the domain's plain count, on one side of a segment of
// length `length` where the mesher starts at that length and grows it by
// kGrading per metre up to `size`: a strip along the segment and a half disc
// round its ends, each integrating 1/h^2 minus the plain 1/size^2.
double GradedZoneElements(double length, double size) {
  const double ratio = length / size;
  const double deficit = 1.0 - ratio;
  const double strip = deficit * deficit / kGrading;
  const double ends = kPi / (kGrading * kGrading) *
                      (-std::log(ratio) + ratio - 1.0 - 0.5 * deficit * deficit);
  return kTrianglesPerSquareSize * std::max(0.0, strip + ends);
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
  auto add_side = [&](int32_t domain, const PlanePoint& from, const PlanePoint& to,
                      double length, bool encloses) {
    auto [it, fresh] = domains.try_emplace(domain);
    DomainTally& tally = it->second;
    if (fresh) {
      tally.size = TargetSizeOf(request, domain);
      tally.shortest_segment = length;
    }
    if (encloses) tally.twice_area += from.u * to.v - to.u * from.v;
    tally.shortest_segment = std::min(tally.shortest_segment, length);
    if (length < tally.size) tally.graded_elements += GradedZoneElements(length, tally.size);
  };
  for (const BoundarySegment& s : request.segments) {
    const PlanePoint& a = plane_points[s.point_a];
    const PlanePoint& b = plane_points[s.point_b];
    const double length = std::hypot(b.u - a.u, b.v - a.v);
    // A cut with the same domain on both sides encloses nothing, but the
    // mesher grades in around it from both sides.
    const bool encloses = s.left_domain != s.right_domain;
    if (s.left_domain >= 1) add_side(s.left_domain, a, b, length, encloses);
    if (s.right_domain >= 1) add_side(s.right_domain, b, a, length, encloses);
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

bool CheckElementEstimate(const MeshRequest& request,
                          const std::vector<PlanePoint>& plane_points) {
  const ElementEstimate estimate = EstimateElements(request, plane_points);
  // Written so that a NaN estimate is refused too.
  if (!(estimate.elements <= kElementLimit)) {
    EmitBuildPlanarMeshDiagnostic(
        "request asks for about %.3g elements (%g m\xC2\xB2 at target size %g m), more than the "
        "limit of %.3g \xE2\x80\x94 refusing as too large; returning empty",
        estimate.elements, estimate.area, estimate.smallest_target_size, kElementLimit);
    return false;
  }
  return true;
}

}  // namespace mesh

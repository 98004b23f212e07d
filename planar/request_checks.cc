#include "planar/request_checks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <optional>

#include "protocol/refusals.h"

namespace mesh {

namespace {

bool IsFinite(const Point3& p) {
  return std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z);
}

// Indices are compared as signed 32-bit values, so a negative index can
// never wrap into range.
bool IndexInRange(int32_t index, size_t point_count) {
  return index >= 0 && static_cast<size_t>(index) < point_count;
}

double Distance(const Point3& a, const Point3& b) {
  const double dx = b.x - a.x;
  const double dy = b.y - a.y;
  const double dz = b.z - a.z;
  return std::sqrt(dx * dx + dy * dy + dz * dz);
}

// First, since a request asking for what this worker cannot do would get a
// different mesh than it asked for whatever else is right with it.
std::optional<StageRefusal> CheckOptions(const MeshRequest& request) {
  const uint32_t unsupported = request.options & ~kSupportedOptions;
  if (unsupported != 0) {
    char options[16], bits[16];
    std::snprintf(options, sizeof options, "0x%x", static_cast<unsigned>(request.options));
    std::snprintf(bits, sizeof bits, "0x%x", static_cast<unsigned>(unsupported));
    return Refuse<RefusalKey::kUnknownOptions>(static_cast<const char*>(options),
                                               static_cast<const char*>(bits));
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckCountAndTargetSize(const MeshRequest& request) {
  // Written as !(size > 0) so that a NaN size is refused too.
  if (request.points.size() < 3 || !(request.target_size > 0.0) ||
      std::isinf(request.target_size)) {
    return Refuse<RefusalKey::kBadInput>(request.points.size(), request.target_size);
  }
  return std::nullopt;
}

// Only non-finite sizes are refused: zero and negative entries are the
// caller's way of saying "use target_size" for that domain.
std::optional<StageRefusal> CheckDomainSizes(const MeshRequest& request) {
  for (size_t k = 0; k < request.domain_target_sizes.size(); ++k) {
    const double size = request.domain_target_sizes[k];
    if (!std::isfinite(size)) {
      return Refuse<RefusalKey::kDomainSizeNotFinite>(k, size);
    }
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckPoints(const MeshRequest& request) {
  for (size_t i = 0; i < request.points.size(); ++i) {
    const Point3& p = request.points[i];
    if (!IsFinite(p)) {
      return Refuse<RefusalKey::kPointNotFinite>(i, p.x, p.y, p.z);
    }
  }
  return std::nullopt;
}

// The zero vector passes: it means no normal was given.
std::optional<StageRefusal> CheckPlaneNormal(const MeshRequest& request) {
  const Point3& n = request.plane_normal;
  if (!IsFinite(n)) {
    return Refuse<RefusalKey::kPlaneNormalNotFinite>(n.x, n.y, n.z);
  }
  return std::nullopt;
}

// A full pass of its own, so that a bad index anywhere is reported before a
// short segment anywhere, and the length pass can index points safely.
std::optional<StageRefusal> CheckSegmentEndpoints(const MeshRequest& request) {
  const size_t n = request.points.size();
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    if (!IndexInRange(s.point_a, n) || !IndexInRange(s.point_b, n)) {
      return Refuse<RefusalKey::kSegmentEndpointOutOfRange>(i);
    }
  }
  return std::nullopt;
}

std::optional<StageRefusal> CheckSegmentLengths(const MeshRequest& request) {
  const double tolerance = SnapTolerance(request.target_size);
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    const double length = Distance(request.points[s.point_a], request.points[s.point_b]);
    if (length < tolerance) {
      return Refuse<RefusalKey::kShortSegment>(i, s.point_a, s.point_b, length, tolerance);
    }
  }
  return std::nullopt;
}

// The line names the offending value, not its position: that is what the
// caller has to look for.
std::optional<StageRefusal> CheckInteriorOnly(const MeshRequest& request) {
  for (int32_t index : request.interior_only) {
    if (!IndexInRange(index, request.points.size())) {
      return Refuse<RefusalKey::kInteriorIndexOutOfRange>(index);
    }
  }
  return std::nullopt;
}

// The smaller target size of the domains on either side of `segment`;
// 0 when neither side is a domain, which nothing is meshed against.
double SegmentTargetSize(const MeshRequest& request, const BoundarySegment& segment) {
  double smallest = 0.0;
  for (int32_t domain : {segment.left_domain, segment.right_domain}) {
    if (domain < 1) continue;
    double size = request.target_size;
    if (static_cast<size_t>(domain) <= request.domain_target_sizes.size() &&
        request.domain_target_sizes[domain - 1] > 0.0) {
      size = request.domain_target_sizes[domain - 1];
    }
    if (smallest == 0.0 || size < smallest) smallest = size;
  }
  return smallest;
}

std::optional<StageRefusal> CheckKeptSegmentLengths(const MeshRequest& request) {
  if ((request.options & kKeepBoundary) == 0) return std::nullopt;
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    const double size = SegmentTargetSize(request, s);
    if (size == 0.0) continue;
    const double length = Distance(request.points[s.point_a], request.points[s.point_b]);
    if (length > kKeptSegmentLengthLimit * size) {
      return Refuse<RefusalKey::kSegmentTooLongToKeep>(i, length, kKeptSegmentLengthLimit, size);
    }
  }
  return std::nullopt;
}

}  // namespace

double SnapTolerance(double target_size) { return std::max(1e-9, target_size * 1e-6); }

double CoordinateRounding(double magnitude) {
  return 64 * std::numeric_limits<double>::epsilon() * (1.0 + magnitude);
}

std::optional<StageRefusal> CheckRequest(const MeshRequest& request) {
  for (auto check : {CheckOptions, CheckCountAndTargetSize, CheckDomainSizes, CheckPoints,
                     CheckPlaneNormal, CheckSegmentEndpoints, CheckSegmentLengths,
                     CheckInteriorOnly, CheckKeptSegmentLengths}) {
    if (std::optional<StageRefusal> refusal = check(request)) return refusal;
  }
  return std::nullopt;
}

}  // namespace mesh

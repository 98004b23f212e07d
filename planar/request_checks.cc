#include "planar/request_checks.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

#include "common/diagnostic.h"

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
bool CheckOptions(const MeshRequest& request) {
  const uint32_t unsupported = request.options & ~kSupportedOptions;
  if (unsupported != 0) {
    EmitBuildPlanarMeshDiagnostic("options 0x%x has bits this worker does not support (0x%x); "
                                  "returning empty",
                                  request.options, unsupported);
    return false;
  }
  return true;
}

bool CheckCountAndTargetSize(const MeshRequest& request) {
  // Written as !(size > 0) so that a NaN size is refused too.
  if (request.points.size() < 3 || !(request.target_size > 0.0) ||
      std::isinf(request.target_size)) {
    EmitBuildPlanarMeshDiagnostic("bad input (points=%zu, target_size=%g); returning empty",
                                  request.points.size(), request.target_size);
    return false;
  }
  return true;
}

// Only non-finite sizes are refused: zero and negative entries are the
// caller's way of saying "use target_size" for that domain.
bool CheckDomainSizes(const MeshRequest& request) {
  for (size_t k = 0; k < request.domain_target_sizes.size(); ++k) {
    const double size = request.domain_target_sizes[k];
    if (!std::isfinite(size)) {
      EmitBuildPlanarMeshDiagnostic("domain %zu target size is not finite (%g); returning empty",
                                    k, size);
      return false;
    }
  }
  return true;
}

bool CheckPoints(const MeshRequest& request) {
  for (size_t i = 0; i < request.points.size(); ++i) {
    const Point3& p = request.points[i];
    if (!IsFinite(p)) {
      EmitBuildPlanarMeshDiagnostic("point %zu is not finite (%g, %g, %g); returning empty",
                                    i, p.x, p.y, p.z);
      return false;
    }
  }
  return true;
}

// The zero vector passes: it means no normal was given.
bool CheckPlaneNormal(const MeshRequest& request) {
  const Point3& n = request.plane_normal;
  if (!IsFinite(n)) {
    EmitBuildPlanarMeshDiagnostic("plane_normal is not finite (%g, %g, %g); returning empty",
                                  n.x, n.y, n.z);
    return false;
  }
  return true;
}

// A full pass of its own, so that a bad index anywhere is reported before a
// short segment anywhere, and the length pass can index points safely.
bool CheckSegmentEndpoints(const MeshRequest& request) {
  const size_t n = request.points.size();
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    if (!IndexInRange(s.point_a, n) || !IndexInRange(s.point_b, n)) {
      EmitBuildPlanarMeshDiagnostic("segment %zu endpoint out of range; returning empty", i);
      return false;
    }
  }
  return true;
}

bool CheckSegmentLengths(const MeshRequest& request) {
  const double tolerance = SnapTolerance(request.target_size);
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    const double length = Distance(request.points[s.point_a], request.points[s.point_b]);
    if (length < tolerance) {
      EmitBuildPlanarMeshDiagnostic("boundary segment %zu (points %d and %d) is %g m long, under "
                                    "the %g m snap tolerance \xE2\x80\x94 refusing as degenerate; "
                                    "returning empty",
                                    i, s.point_a, s.point_b, length, tolerance);
      return false;
    }
  }
  return true;
}

// The line names the offending value, not its position: that is what the
// caller has to look for.
bool CheckInteriorOnly(const MeshRequest& request) {
  for (int32_t index : request.interior_only) {
    if (!IndexInRange(index, request.points.size())) {
      EmitBuildPlanarMeshDiagnostic("interior-only index %d out of range; returning empty", index);
      return false;
    }
  }
  return true;
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

bool CheckKeptSegmentLengths(const MeshRequest& request) {
  if ((request.options & kKeepBoundary) == 0) return true;
  for (size_t i = 0; i < request.segments.size(); ++i) {
    const BoundarySegment& s = request.segments[i];
    const double size = SegmentTargetSize(request, s);
    if (size == 0.0) continue;
    const double length = Distance(request.points[s.point_a], request.points[s.point_b]);
    if (length > kKeptSegmentLengthLimit * size) {
      EmitBuildPlanarMeshDiagnostic("boundary segment %zu is %g m long, more than %g times the "
                                    "%g m target size; it cannot be kept as one edge; "
                                    "returning empty",
                                    i, length, kKeptSegmentLengthLimit, size);
      return false;
    }
  }
  return true;
}

}  // namespace

double SnapTolerance(double target_size) { return std::max(1e-9, target_size * 1e-6); }

double CoordinateRounding(double magnitude) {
  return 64 * std::numeric_limits<double>::epsilon() * (1.0 + magnitude);
}

bool CheckRequest(const MeshRequest& request) {
  return CheckOptions(request) && CheckCountAndTargetSize(request) &&
         CheckDomainSizes(request) && CheckPoints(request) && CheckPlaneNormal(request) &&
         CheckSegmentEndpoints(request) && CheckSegmentLengths(request) &&
         CheckInteriorOnly(request) && CheckKeptSegmentLengths(request);
}

}  // namespace mesh

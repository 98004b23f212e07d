#include "netgen/spline_geometry.h"

#include <algorithm>
#include <exception>

namespace mesh {

void QuadMeshingGeometry::SetDomainQuadMeshing(int domain, bool quad) {
  if (domain < 1) throw netgen::NgException("domain number out of range");
  const size_t old_size = quadmeshing.Size();
  if (static_cast<size_t>(domain) > old_size) {
    quadmeshing.SetSize(domain);
    for (size_t i = old_size; i < static_cast<size_t>(domain); ++i) quadmeshing[i] = false;
  }
  quadmeshing[domain - 1] = quad;
}

DomainNumbering::DomainNumbering(const std::vector<BoundarySegment>& segments) {
  for (const BoundarySegment& segment : segments) {
    for (int32_t domain : {segment.left_domain, segment.right_domain}) {
      if (domain >= 1) caller_domains_.push_back(domain);
    }
  }
  std::sort(caller_domains_.begin(), caller_domains_.end());
  caller_domains_.erase(std::unique(caller_domains_.begin(), caller_domains_.end()),
                        caller_domains_.end());
}

int32_t DomainNumbering::ToNetgen(int32_t caller_domain) const {
  auto found =
      std::lower_bound(caller_domains_.begin(), caller_domains_.end(), caller_domain);
  if (found == caller_domains_.end() || *found != caller_domain) return caller_domain;
  return static_cast<int32_t>(found - caller_domains_.begin()) + 1;
}

int32_t DomainNumbering::ToCaller(int32_t netgen_domain) const {
  if (netgen_domain < 1 || static_cast<size_t>(netgen_domain) > caller_domains_.size()) {
    return netgen_domain;
  }
  return caller_domains_[netgen_domain - 1];
}

double DomainTargetSize(const MeshRequest& request, int32_t domain) {
  if (domain >= 1 && static_cast<size_t>(domain) <= request.domain_target_sizes.size() &&
      request.domain_target_sizes[domain - 1] > 0) {
    return request.domain_target_sizes[domain - 1];
  }
  return request.target_size;
}

namespace {

// Points and splines are appended inside one guard: Netgen reports trouble
// there by throwing, and that refuses the request instead of ending the
// worker.
std::optional<StageRefusal> AppendPointsAndSplines(const MeshRequest& request,
                                                   const std::vector<PlanePoint>& plane_points,
                                                   const DomainNumbering& numbering,
                                                   QuadMeshingGeometry* geometry) {
  try {
    for (const PlanePoint& point : plane_points) {
      geometry->AppendPoint(netgen::Point<2>(point.u, point.v), 1.0, false);
    }
    for (const BoundarySegment& segment : request.segments) {
      // Held here until the geometry owns it, so a throw on the way frees it.
      auto line = std::make_unique<netgen::LineSeg<2>>(geometry->GetPoint(segment.point_a),
                                                       geometry->GetPoint(segment.point_b));
      auto spline = std::make_unique<netgen::SplineSegExt>(*line);
      line.release();  // the spline deletes its line from here on
      spline->leftdom = numbering.ToNetgen(segment.left_domain);
      spline->rightdom = numbering.ToNetgen(segment.right_domain);
      spline->reffak = 1.0;
      spline->hmax = 1e99;
      spline->bc = 1;
      spline->copyfrom = -1;
      spline->hpref_left = 0.0;
      spline->hpref_right = 0.0;
      geometry->AppendSegment(spline.get());
      spline.release();
    }
  } catch (const std::exception& e) {
    return Refuse<RefusalKey::kGeometryThrew>(e.what());
  }
  return std::nullopt;
}

}  // namespace

std::shared_ptr<QuadMeshingGeometry> BuildSplineGeometry(
    const MeshRequest& request, const std::vector<PlanePoint>& plane_points,
    const DomainNumbering& numbering, std::optional<StageRefusal>* refusal) {
  auto geometry = std::make_shared<QuadMeshingGeometry>();
  *refusal = AppendPointsAndSplines(request, plane_points, numbering, geometry.get());
  if (refusal->has_value()) return nullptr;
  std::vector<bool> configured(numbering.caller_domains().size(), false);
  for (const BoundarySegment& segment : request.segments) {
    for (int32_t domain : {segment.left_domain, segment.right_domain}) {
      if (domain < 1) continue;
      const int32_t netgen_domain = numbering.ToNetgen(domain);
      if (configured[netgen_domain - 1]) continue;
      configured[netgen_domain - 1] = true;
      geometry->SetDomainQuadMeshing(netgen_domain, request.prefer_quads);
      geometry->SetDomainMaxh(netgen_domain, DomainTargetSize(request, domain));
    }
  }
  return geometry;
}

}  // namespace mesh

#include "netgen/meshing_passes.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <utility>

#include "netgen/kept_boundary.h"
#include "netgen/netgen_problems.h"
#include "netgen/netgen_start.h"
#include "netgen/runaway_watch.h"
#include "planar/element_estimate.h"
#include "planar/interior_point_sizes.h"
#include "protocol/refusals.h"

namespace mesh {

namespace {

// The finished mesh behind the worker's own read-only interface, with the
// caller's domain numbers. Holding the mesh keeps its geometry alive too.
class NetgenSurfaceMesh : public SurfaceMesh {
 public:
  NetgenSurfaceMesh(std::shared_ptr<netgen::Mesh> mesh, DomainNumbering numbering)
      : mesh_(std::move(mesh)), numbering_(std::move(numbering)) {}

  int32_t NodeCount() const override { return static_cast<int32_t>(mesh_->GetNP()); }

  PlanePoint Node(int32_t number) const override {
    const netgen::MeshPoint& point = (*mesh_)[netgen::PointIndex(number)];
    return PlanePoint{point(0), point(1)};
  }

  size_t ElementCount() const override { return mesh_->GetNSE(); }

  SurfaceElement Element(size_t index) const override {
    const netgen::Element2d& element = (*mesh_)[netgen::SurfaceElementIndex(index)];
    SurfaceElement result;
    result.node_count = element.GetNP();
    const int stored = std::min(element.GetNP(), 4);
    for (int i = 0; i < stored; ++i) result.nodes[i] = element[i];
    result.domain = numbering_.ToCaller(element.GetIndex());
    return result;
  }

  size_t BoundaryEdgeCount() const override { return mesh_->GetNSeg(); }

  // Spline k of the geometry is request segment k - 1, and the positions are
  // the spline's own parameter, which runs from point_a to point_b.
  BoundaryEdge BoundaryEdgeAt(size_t index) const override {
    const netgen::Segment& segment = (*mesh_)[netgen::SegmentIndex(index)];
    BoundaryEdge result;
    result.spline = segment.edgenr - 1;
    for (int i = 0; i < 2; ++i) {
      result.nodes[i] = segment[i];
      result.positions[i] = segment.epgeominfo[i].dist;
    }
    return result;
  }

 private:
  std::shared_ptr<netgen::Mesh> mesh_;
  DomainNumbering numbering_;
};

// Thrown when the runaway watch stopped the mesher: its message is the whole
// reason, and whatever Netgen last wrote has nothing to do with it.
class MesherRanAway : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Netgen's last warning or error as the end of a refusal line, or "".
std::string NetgenReason() {
  const std::string problem = LastNetgenProblem();
  return problem.empty() ? std::string() : " (Netgen: " + problem + ")";
}

// Why a pass threw: its message, and Netgen's own reason unless the message
// already is the reason. Netgen's bare "meshing failed" with nothing
// written before it is said to be so, rather than left looking like a
// summary that lost its detail.
std::string ThrownReason(const std::exception& e) {
  std::string reason = e.what();
  if (dynamic_cast<const MesherRanAway*>(&e) != nullptr) return reason;
  const std::string netgen = NetgenReason();
  if (!netgen.empty()) return reason + netgen;
  if (reason == "meshing failed") {
    const std::string front = LastNetgenFront();
    reason += front.empty() ? " (Netgen wrote no warning or error)"
                            : " (Netgen wrote no warning or error; " + front + ")";
  }
  return reason;
}

}  // namespace

int GenerateMeshWithNetgen(netgen::SplineGeometry2d& geometry,
                           std::shared_ptr<netgen::Mesh>& mesh,
                           netgen::MeshingParameters& parameters) {
  int result = 0;
  size_t elements = 0;
  double estimate = 0;
  {
    RunawayWatch watch(mesh);
    try {
      result = geometry.GenerateMesh(mesh, parameters);
    } catch (const std::exception&) {
      // A stopped mesher throws its own "meshing failed"; say why instead.
      if (!watch.fired()) throw;
    }
    if (!watch.fired()) return result;
    elements = watch.elements_when_stopped();
    estimate = watch.element_estimate();
  }
  // Whatever the mesher returned after being stopped, its mesh is not one
  // to hand out.
  char line[160];
  std::snprintf(line, sizeof line,
                "mesher ran away (%zu elements where its domains hold about %.0f) and was "
                "stopped",
                elements, std::ceil(estimate));
  throw MesherRanAway(line);
}

void SetMeshingParameters(const MeshRequest& request, netgen::MeshingParameters* parameters) {
  double largest = request.target_size;
  double smallest = request.target_size;
  for (double size : request.domain_target_sizes) {
    largest = std::max(largest, size);
    if (size > 0) smallest = std::min(smallest, size);
  }
  parameters->maxh = largest;
  parameters->minh = 0.1 * smallest;
  parameters->grading = 0.3;
  parameters->uselocalh = true;
  parameters->quad = request.prefer_quads;
}

std::vector<double> RestrictSizeAroundInteriorPoints(const MeshRequest& request,
                                                     const std::vector<PlanePoint>& plane_points,
                                                     netgen::MeshingParameters* parameters) {
  std::vector<double> sizes;
  for (const PointSize& wanted : InteriorPointSizes(request, plane_points)) {
    // Never below the mesher's own smallest size: points closer than that
    // get worse elements rather than an element count without bound.
    const double size = std::max(wanted.size, parameters->minh);
    parameters->meshsize_points.Append(netgen::MeshingParameters::MeshSizePoint(
        netgen::Point<3>(wanted.at.u, wanted.at.v, 0.0), size));
    sizes.push_back(size);
  }
  return sizes;
}

MeshingPassesResult RunMeshingPasses(QuadMeshingGeometry& geometry,
                                     const DomainNumbering& numbering,
                                     netgen::MeshingParameters& parameters,
                                     const GenerateMeshFunction& generate) {
  // A kept boundary is the likelier reason the mesher gave up, and the one
  // the caller can act on: say so.
  const bool kept = BoundaryKeptAsGiven();
  MeshingPassesResult passes;
  ForgetNetgenProblem();
  for (int pass = 0; pass < 2; ++pass) {
    const bool triangle_pass = pass == 1;
    if (triangle_pass) {
      parameters.quad = false;
      const int32_t domain_count = static_cast<int32_t>(numbering.caller_domains().size());
      for (int32_t domain = 1; domain <= domain_count; ++domain) {
        geometry.SetDomainQuadMeshing(domain, false);
      }
    }
    // Only one mesh at a time: a large failed one is gone before the next
    // pass starts.
    passes.mesh.reset();
    passes.mesh = std::make_shared<netgen::Mesh>();
    int result;
    try {
      result = generate(geometry, passes.mesh, parameters);
    } catch (const std::exception& e) {
      // How the quad pass failed does not matter: the triangle pass decides.
      if (!triangle_pass) continue;
      passes.mesh.reset();
      const std::string reason = ThrownReason(e);
      passes.refusal = kept ? Refuse<RefusalKey::kKeptBoundaryThrew>(reason.c_str())
                            : Refuse<RefusalKey::kMesherThrew>(reason.c_str());
      return passes;
    }
    if (result == 0) {
      passes.fell_back_to_triangles = triangle_pass;
      return passes;
    }
    if (triangle_pass) {
      passes.mesh.reset();
      const std::string reason = NetgenReason();
      passes.refusal = kept ? Refuse<RefusalKey::kKeptBoundaryFailed>(result, reason.c_str())
                            : Refuse<RefusalKey::kMesherFailed>(result, reason.c_str());
    }
  }
  return passes;
}

PlaneMeshing MeshPlaneWithNetgen(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points,
                                 const GenerateMeshFunction& generate) {
  EnsureNetgenStarted();
  PlaneMeshing meshing;
  // Declared in this order so that every way out releases the mesh first,
  // then the parameters, the domain set and last this share of the geometry.
  std::shared_ptr<QuadMeshingGeometry> geometry;
  DomainNumbering numbering(request.segments);
  geometry = BuildSplineGeometry(request, plane_points, numbering, &meshing.refusal);
  if (geometry == nullptr) return meshing;
  netgen::MeshingParameters parameters;
  SetMeshingParameters(request, &parameters);
  ElementEstimate expected = EstimateElements(request, plane_points);
  if (InteriorPointsShaped()) {
    // The finer mesh asked for round the points is part of what a sound
    // mesh holds: the runaway watch must not take it for a runaway.
    expected.elements +=
        InteriorPointElements(RestrictSizeAroundInteriorPoints(request, plane_points, &parameters),
                              expected.smallest_target_size, expected.area);
  }
  MeshingPassesResult passes;
  {
    ScopedKeptBoundary keep((request.options & kKeepBoundary) != 0);
    ScopedElementEstimate estimate(expected.elements);
    passes = RunMeshingPasses(*geometry, numbering, parameters, generate);
  }
  if (passes.fell_back_to_triangles) {
    meshing.notes.push_back(StageLine(MeshingStage::kBuildPlanarMesh, kTriangleFallbackNote));
  }
  if (passes.mesh == nullptr) {
    meshing.refusal = std::move(passes.refusal);
    return meshing;
  }
  passes.mesh->SetGeometry(geometry);
  meshing.mesh = std::make_shared<NetgenSurfaceMesh>(std::move(passes.mesh), std::move(numbering));
  return meshing;
}

}  // namespace mesh

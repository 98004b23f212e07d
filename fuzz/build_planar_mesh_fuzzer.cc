// Fuzzes the input checks and the plane frame: BuildPlanarMesh with a fake
// mesher in Netgen's place. Whatever the request, either it is refused with
// a "[meshing] BuildPlanarMesh: ...; returning empty" line, or the
// mesher is handed something Netgen can take: at least three points, all
// indices valid, distinct segment ends, at most the segment cap, a positive
// finite size and finite plane coordinates for every point. The lock is
// free again afterwards either way, and the frame of a build is orthonormal
// (the plane coordinates keep the caller's lengths and angles).
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.h"
#include "common/netgen_lock.h"
#include "planar/boundary_checks.h"
#include "planar/build_planar_mesh.h"
#include "protocol/mesh_request.h"

namespace mesh {
namespace {

class PointsOnlyMesh : public SurfaceMesh {
 public:
  explicit PointsOnlyMesh(std::vector<PlanePoint> nodes) : nodes_(std::move(nodes)) {}
  int32_t NodeCount() const override { return static_cast<int32_t>(nodes_.size()); }
  PlanePoint Node(int32_t number) const override { return nodes_[number - 1]; }
  size_t ElementCount() const override { return 0; }
  SurfaceElement Element(size_t) const override { return SurfaceElement(); }
  size_t BoundaryEdgeCount() const override { return 0; }
  BoundaryEdge BoundaryEdgeAt(size_t) const override { return BoundaryEdge(); }

 private:
  std::vector<PlanePoint> nodes_;
};

bool InRange(int32_t index, size_t count) {
  return index >= 0 && static_cast<size_t>(index) < count;
}

class CheckingMesher : public PlaneMesher {
 public:
  int calls = 0;

  PlaneMeshing MeshPlane(const MeshRequest& request,
                         const std::vector<PlanePoint>& plane_points) override {
    ++calls;
    const size_t n = request.points.size();
    FUZZ_CHECK(n >= 3);
    FUZZ_CHECK(request.target_size > 0 && std::isfinite(request.target_size));
    FUZZ_CHECK(request.segments.size() <= kSegmentCap);
    FUZZ_CHECK(plane_points.size() == n);
    for (const PlanePoint& p : plane_points) FUZZ_CHECK(std::isfinite(p.u) && std::isfinite(p.v));
    for (double size : request.domain_target_sizes) FUZZ_CHECK(std::isfinite(size));
    for (const BoundarySegment& s : request.segments) {
      FUZZ_CHECK(InRange(s.point_a, n) && InRange(s.point_b, n));
      FUZZ_CHECK(s.point_a != s.point_b);
    }
    for (int32_t index : request.interior_only) FUZZ_CHECK(InRange(index, n));

    // Both ways out of the mesher: a refusal, and a mesh.
    PlaneMeshing meshing;
    if (!request.prefer_quads) {
      meshing.refusal = Refuse<RefusalKey::kMesherFailed>(int32_t{1}, "");
    } else {
      meshing.mesh = std::make_shared<PointsOnlyMesh>(plane_points);
    }
    return meshing;
  }
};

double Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

bool StartsWith(const std::string& s, const std::string& prefix) {
  return s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  MeshRequest request;
  if (!DecodeMeshRequest(data, size, &request)) return 0;

  CheckingMesher mesher;
  const PlanarMeshBuild build = BuildPlanarMesh(request, mesher);

  FUZZ_CHECK(netgen_lock.try_lock());
  netgen_lock.unlock();
  FUZZ_CHECK(mesher.calls <= 1);
  if (build.ok) {
    FUZZ_CHECK(mesher.calls == 1);
    FUZZ_CHECK(build.mesh != nullptr);
    FUZZ_CHECK(build.plane_points.size() == request.points.size());
    const PlanarFrame& frame = build.frame;
    FUZZ_CHECK(std::fabs(Dot(frame.u_axis, frame.u_axis) - 1) < 1e-9);
    FUZZ_CHECK(std::fabs(Dot(frame.v_axis, frame.v_axis) - 1) < 1e-9);
    FUZZ_CHECK(std::fabs(Dot(frame.u_axis, frame.v_axis)) < 1e-9);
    FUZZ_CHECK(!build.refusal.has_value());
  } else {
    FUZZ_CHECK(build.refusal.has_value());
    FUZZ_CHECK(build.refusal->stage == MeshingStage::kBuildPlanarMesh);
    const std::string& line = build.refusal->line;
    FUZZ_CHECK(StartsWith(line, "[meshing] BuildPlanarMesh: "));
    FUZZ_CHECK(EndsWith(line, "; returning empty"));
  }
  return 0;
}

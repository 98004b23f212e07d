// What BuildPlanarMesh hands to the extraction: the finished 2-D mesh behind
// a narrow read-only interface (so nothing outside netgen/ sees the mesher's
// types), the frame it was built in, and the plane coordinates of the points.
#ifndef MESH_WORKER_PLANAR_SURFACE_MESH_H_
#define MESH_WORKER_PLANAR_SURFACE_MESH_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/refusals.h"

namespace mesh {

// One surface element as the mesher stores it. Node numbers count from 1;
// only the first min(node_count, 4) entries of `nodes` are meaningful.
struct SurfaceElement {
  int32_t node_count = 0;
  std::array<int32_t, 4> nodes{};
  // The number of the domain the element was meshed in.
  int32_t domain = 0;
};

// One piece of the boundary as the mesher divided it: the request segment
// (`spline`, counted from 0) it lies on, its two node numbers (from 1) in the
// segment's own direction, and where each lies along the segment (0 at
// point_a, 1 at point_b).
struct BoundaryEdge {
  int32_t spline = 0;
  std::array<int32_t, 2> nodes{};
  std::array<double, 2> positions{};
};

// Read access to a finished 2-D mesh. Node coordinates are plane coordinates.
// Read it only with netgen_lock held.
class SurfaceMesh {
 public:
  virtual ~SurfaceMesh() = default;
  virtual int32_t NodeCount() const = 0;
  // `number` runs from 1 to NodeCount().
  virtual PlanePoint Node(int32_t number) const = 0;
  virtual size_t ElementCount() const = 0;
  virtual SurfaceElement Element(size_t index) const = 0;
  virtual size_t BoundaryEdgeCount() const = 0;
  virtual BoundaryEdge BoundaryEdgeAt(size_t index) const = 0;
};

// The optional result of BuildPlanarMesh; `ok` false is the empty result and
// then only `refusal` (always) and `notes` are set. Dropping the last copy
// destroys the mesh and its geometry, so drop it outside netgen_lock.
struct PlanarMeshBuild {
  bool ok = false;
  std::shared_ptr<SurfaceMesh> mesh;
  PlanarFrame frame;
  std::vector<PlanePoint> plane_points;
  std::optional<StageRefusal> refusal;
  // Lines for standard error that report no refusal (the mesher's fallback).
  std::vector<std::string> notes;
};

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_SURFACE_MESH_H_

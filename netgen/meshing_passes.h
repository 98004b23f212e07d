// Netgen's 2-D mesher run over a spline geometry: a quad pass and, if that
// fails, a triangle pass. Uses Netgen's types, so only netgen/*.cc may include
// it.
#ifndef MESH_WORKER_NETGEN_MESHING_PASSES_H_
#define MESH_WORKER_NETGEN_MESHING_PASSES_H_

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include <meshing.hpp>
#include <geometry2d.hpp>

#include "netgen/spline_geometry.h"
#include "planar/plane_frame.h"
#include "planar/plane_mesher.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// One call of the mesher: 0 for success. It may replace the mesh `mesh`
// holds. The worker's is GenerateMeshWithNetgen; tests substitute scripted
// outcomes, since a real geometry that fails the quad pass is hard to find.
using GenerateMeshFunction = std::function<int(
    netgen::SplineGeometry2d& geometry, std::shared_ptr<netgen::Mesh>& mesh,
    netgen::MeshingParameters& parameters)>;

int GenerateMeshWithNetgen(netgen::SplineGeometry2d& geometry,
                           std::shared_ptr<netgen::Mesh>& mesh,
                           netgen::MeshingParameters& parameters);

// maxh is the largest size asked for anywhere and minh a tenth of the
// smallest, counting every domain entry, also those of domains no segment
// names. quad is prefer_quads.
void SetMeshingParameters(const MeshRequest& request, netgen::MeshingParameters* parameters);

// Asks for elements around each interior-only point no wider than
// InteriorPointSizes says, so that the extraction finds a vertex to move
// onto it rather than splitting an element. Returns the sizes asked for.
std::vector<double> RestrictSizeAroundInteriorPoints(const MeshRequest& request,
                                                     const std::vector<PlanePoint>& plane_points,
                                                     netgen::MeshingParameters* parameters);

struct MeshingPassesResult {
  // The mesh of the pass that succeeded; null exactly when `refusal` is set.
  std::shared_ptr<netgen::Mesh> mesh;
  std::optional<StageRefusal> refusal;
  // The quad pass failed and the triangle pass made `mesh`.
  bool fell_back_to_triangles = false;
};

// Runs the passes with one parameter object (only quad changes between them)
// and returns the mesh of the first pass that succeeds, or the refusal that
// speaks for both passes, which says so when the boundary is kept as given. The triangle pass turns quad meshing off for every
// domain of `numbering`.
MeshingPassesResult RunMeshingPasses(QuadMeshingGeometry& geometry,
                                     const DomainNumbering& numbering,
                                     netgen::MeshingParameters& parameters,
                                     const GenerateMeshFunction& generate);

// Everything the worker does with Netgen for one checked request: starts the
// library, builds the geometry, runs the passes. The returned mesh owns the
// geometry; a fall back to triangles is noted. Call with netgen_lock held.
PlaneMeshing MeshPlaneWithNetgen(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points,
                                 const GenerateMeshFunction& generate);

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_MESHING_PASSES_H_

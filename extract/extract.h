// ExtractToPlanarComplexMesh: the second stage of a mesh job. Ties the mesh
// back to the caller's points and segments and lifts it into 3-D.
#ifndef MESH_WORKER_EXTRACT_EXTRACT_H_
#define MESH_WORKER_EXTRACT_EXTRACT_H_

#include <optional>
#include <vector>

#include "planar/plane_frame.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/refusals.h"

namespace mesh {

// Below this many node visits (request points and segments times mesh
// nodes) the plain scans cost less than filing the nodes in a grid first.
constexpr double kNodeVisitsWorthAGrid = 1 << 18;

// Where the extraction's time goes, for the benchmarks.
struct ExtractionSeconds {
  double matching = 0;   // copying the nodes, tying request points to them
  double elements = 0;   // vertices and elements
  double insertion = 0;  // interior-only points Netgen left out
  double chains = 0;     // segment chains
  double all_quads = 0;  // splitting into quads and smoothing (kAllQuads)
  double check = 0;      // the answer's own check before it is sent
};

// The stage's result: the complete record, or the empty record and the
// refusal.
struct Extraction {
  PlanarComplexMesh record;
  std::optional<StageRefusal> refusal;
};

// A record that fails CheckMeshInvariants is never returned: it becomes the
// empty record with the "answer failed its own check" refusal. Holds
// netgen_lock while it reads `mesh`; keeps nothing of it. With `seconds`,
// also times each part; the worker passes none.
Extraction ExtractToPlanarComplexMesh(const SurfaceMesh& mesh, const PlanarFrame& frame,
                                      const std::vector<PlanePoint>& plane_points,
                                      const MeshRequest& request,
                                      ExtractionSeconds* seconds = nullptr);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_EXTRACT_H_

#include "extract/extract.h"

#include <chrono>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "common/netgen_lock.h"
#include "extract/elements.h"
#include "extract/interior_insertion.h"
#include "extract/interior_point_placement.h"
#include "extract/mesh_invariants.h"
#include "extract/node_mapping.h"
#include "extract/point_grid.h"
#include "extract/poor_element_repair.h"
#include "extract/quad_subdivision.h"
#include "extract/segment_chains.h"
#include "planar/interior_point_sizes.h"
#include "protocol/refusals.h"

namespace mesh {

namespace {

// Charges the time since the previous lap to one part of the extraction;
// without a sink it never reads the clock.
class Laps {
 public:
  explicit Laps(ExtractionSeconds* sink) : sink_(sink) {
    if (sink_ == nullptr) return;
    *sink_ = ExtractionSeconds();
    last_ = Clock::now();
  }
  void Charge(double ExtractionSeconds::*part) {
    if (sink_ == nullptr) return;
    const Clock::time_point now = Clock::now();
    sink_->*part += std::chrono::duration<double>(now - last_).count();
    last_ = now;
  }

 private:
  using Clock = std::chrono::steady_clock;
  ExtractionSeconds* sink_;
  Clock::time_point last_;
};

Extraction Refused(StageRefusal refusal) {
  Extraction extraction;
  extraction.refusal = std::move(refusal);
  return extraction;
}

// Everything that reads the mesh, under netgen_lock.
Extraction ExtractLocked(const SurfaceMesh& mesh, const PlanarFrame& frame,
                         const std::vector<PlanePoint>& plane_points, const MeshRequest& request,
                         bool shaped, Laps& laps) {
  // Declared first so that it is released last, after every working object
  // below has been freed.
  std::lock_guard<std::mutex> hold(netgen_lock);

  const int32_t node_count = mesh.NodeCount();
  if (node_count <= 0) return Refused(Refuse<RefusalKey::kNoMeshNodes>());
  std::vector<PlanePoint> mesh_nodes;
  mesh_nodes.reserve(static_cast<size_t>(node_count));
  for (int32_t number = 1; number <= node_count; ++number) {
    mesh_nodes.push_back(mesh.Node(number));
  }

  const ExtractTolerances tolerances = ComputeExtractTolerances(request);
  const std::vector<bool> interior_only = InteriorOnlyFlags(request);

  // The grid only speeds the searches up; every answer is the scans' own.
  std::optional<PointGrid> grid;
  if (static_cast<double>(plane_points.size()) * node_count >=
      kNodeVisitsWorthAGrid) {
    grid.emplace(mesh_nodes, mesh_nodes.size());
  }

  PlanarComplexMesh record;
  std::vector<size_t> pending_interior;
  std::optional<StageRefusal> refusal =
      MatchRequestPoints(mesh_nodes, plane_points, interior_only, tolerances, &record.point_vertex,
                         &pending_interior, grid.has_value() ? &*grid : nullptr);
  if (refusal.has_value()) return Refused(std::move(*refusal));
  laps.Charge(&ExtractionSeconds::matching);

  // Vertex k is node k + 1; the caller's points are tied to vertices only
  // through point_vertex.
  record.vertices.reserve(mesh_nodes.size() + pending_interior.size());
  for (const PlanePoint& node : mesh_nodes) record.vertices.push_back(frame.FromPlane(node));

  AppendSurfaceElements(mesh, &record);
  laps.Charge(&ExtractionSeconds::elements);

  const std::vector<BoundaryEdge> boundary_edges = ReadBoundaryEdges(mesh);

  // Every interior-only point, also those the mesher happened to put a
  // node near: shaped placement puts each exactly where it is.
  std::vector<size_t> interior_points;
  for (size_t i = 0; i < interior_only.size(); ++i) {
    if (interior_only[i]) interior_points.push_back(i);
  }

  // Only now that every element exists can a point the mesher left out be
  // placed inside one.
  if (!interior_points.empty()) {
    std::vector<size_t> to_split = pending_interior;
    if (shaped) {
      to_split = MoveVerticesOntoInteriorPoints(plane_points, interior_points, boundary_edges,
                                                tolerances.smallest_target_size, frame,
                                                &mesh_nodes, &record);
    }
    if (!to_split.empty()) {
      // Vertices moved onto points are no longer where the first grid filed
      // them.
      if (shaped || !grid.has_value()) grid.emplace(mesh_nodes, mesh_nodes.size());
      InteriorPointInserter inserter(*grid, frame, tolerances.smallest_target_size, &mesh_nodes,
                                     &record);
      for (size_t i : to_split) {
        const int32_t vertex = inserter.Insert(plane_points[i]);
        if (vertex < 0) return Refused(Refuse<RefusalKey::kInteriorPointDropped>(i));
        record.point_vertex[i] = vertex;
      }
      inserter.Finish();
    }
    if (shaped) {
      EvenOutAroundInteriorPoints(plane_points, interior_points, boundary_edges, frame,
                                  &mesh_nodes, &record);
    }
  }
  laps.Charge(&ExtractionSeconds::insertion);

  ChainInputs chain_inputs;
  chain_inputs.segments = &request.segments;
  chain_inputs.plane_points = &plane_points;
  chain_inputs.point_vertex = &record.point_vertex;
  chain_inputs.boundary_edges = &boundary_edges;
  chain_inputs.snap_tolerance = tolerances.snap;
  refusal = BuildSegmentChains(chain_inputs, &record.segment_chains);
  laps.Charge(&ExtractionSeconds::chains);
  if (refusal.has_value()) return Refused(std::move(*refusal));

  Extraction extraction;
  extraction.record = std::move(record);
  return extraction;
}

// Mends the mesher's poor elements. A repair that would fail the answer's
// check is a fault of the repair, not of the mesh: the mesh is then sent as
// the mesher made it. True when the repaired record has passed the check.
bool RepairOrKeep(const PlanarFrame& frame, const MeshRequest& request,
                  PlanarComplexMesh* record) {
  if (CountPoorElements(frame, *record) == 0) return false;
  PlanarComplexMesh repaired;
  RepairPoorElements(frame, *record, &repaired);
  if (!CheckMeshInvariants(request, repaired).empty()) return false;
  *record = std::move(repaired);
  return true;
}

}  // namespace

Extraction ExtractToPlanarComplexMesh(const SurfaceMesh& mesh, const PlanarFrame& frame,
                                      const std::vector<PlanePoint>& plane_points,
                                      const MeshRequest& request, ExtractionSeconds* seconds) {
  Laps laps(seconds);
  bool shaped = InteriorPointsShaped() && !request.interior_only.empty();
  Extraction extraction = ExtractLocked(mesh, frame, plane_points, request, shaped, laps);
  if (extraction.refusal.has_value() && !shaped) return extraction;
  // The last line of defence: whatever went wrong above, or in the mesher,
  // a success frame never carries it. Reads only the record, so it needs no
  // lock. A repaired record has passed it already; the repair's time goes
  // with the check's.
  std::vector<std::string> problems;
  auto repair_or_check = [&] {
    if ((request.options & kAllQuads) != 0) {
      // Splitting makes every element a quad and smooths them; mending
      // would put triangles back.
      SubdivideIntoQuads(frame, &extraction.record);
      laps.Charge(&ExtractionSeconds::all_quads);
      problems = CheckMeshInvariants(request, extraction.record);
      return;
    }
    if (!RepairOrKeep(frame, request, &extraction.record)) {
      problems = CheckMeshInvariants(request, extraction.record);
    }
  };
  if (!extraction.refusal.has_value()) repair_or_check();
  if (shaped && (extraction.refusal.has_value() || !problems.empty())) {
    // Better elements are never worth a wrong answer or a refusal: the
    // points go in by splitting alone.
    extraction = ExtractLocked(mesh, frame, plane_points, request, /*shaped=*/false, laps);
    if (extraction.refusal.has_value()) return extraction;
    problems.clear();
    repair_or_check();
  }
  laps.Charge(&ExtractionSeconds::check);
  if (!problems.empty()) {
    return Refused(Refuse<RefusalKey::kSelfCheckFailed>(problems[0].c_str()));
  }
  return extraction;
}

}  // namespace mesh

#include "model/model_mesher.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <numeric>
#include <utility>

#include "model/edge_division.h"
#include "model/face_preparation.h"
#include "model/mesh_check.h"
#include "model/pool_face_mesher.h"
#include "model/vertex_weld.h"

namespace mesh {

namespace {

using std::to_string;

// One face's request, with the model vertex (or edge point) that each of
// its points stands for.
struct FaceRequest {
  size_t face = 0;
  MeshRequest request;
  std::vector<int32_t> vertex_of_point;
  // All quads: the edge point the worker's midpoint of each segment stands
  // for; empty otherwise.
  std::vector<int32_t> midpoint_of_segment;
};

FaceRequest BuildRequest(size_t face_index, const PreparedFace& face, const EdgeDivision& division,
                         const ModelMeshOptions& options) {
  FaceRequest built;
  built.face = face_index;
  MeshRequest& request = built.request;
  auto add_ring = [&](const std::vector<int32_t>& ring) {
    const int32_t first = static_cast<int32_t>(request.points.size());
    std::vector<int32_t> along;
    for (size_t i = 0; i < ring.size(); ++i) {
      const int32_t a = ring[i];
      const int32_t b = ring[(i + 1) % ring.size()];
      along.push_back(a);
      const DividedEdge& edge = division.edges.at(EdgeKey(a, b));
      if (a == edge.low) {
        along.insert(along.end(), edge.inner.begin(), edge.inner.end());
      } else {
        along.insert(along.end(), edge.inner.rbegin(), edge.inner.rend());
      }
    }
    // Halved edges have an even number of pieces each, so the ring's points
    // alternate: a request point, then the midpoint of its segment.
    for (size_t k = 0; k < along.size(); ++k) {
      if (!options.all_quads || k % 2 == 0) {
        built.vertex_of_point.push_back(along[k]);
      } else {
        built.midpoint_of_segment.push_back(along[k]);
      }
    }
    const int32_t end = static_cast<int32_t>(built.vertex_of_point.size());
    for (int32_t p = first; p < end; ++p) {
      request.points.push_back(division.points[built.vertex_of_point[p]]);
      // The face (domain 1) is on the left of an outline running counter-
      // clockwise and of a hole running clockwise alike.
      request.segments.push_back({p, p + 1 < end ? p + 1 : first, 1, 0});
    }
  };
  add_ring(face.outer);
  for (const auto& hole : face.holes) add_ring(hole);
  request.target_size = face.target_size;
  request.plane_normal = face.normal;
  request.prefer_quads = options.prefer_quads;
  request.options = kKeepBoundary | (options.all_quads ? kAllQuads : 0u);
  return built;
}

// Empty when the answer keeps the request's boundary as asked: a vertex for
// every point, and every segment one edge between its ends' vertices (all
// quads: two, through one midpoint).
std::string CheckKeptBoundary(const FaceRequest& built, const PlanarComplexMesh& mesh) {
  const MeshRequest& request = built.request;
  const size_t vertex_count = mesh.vertices.size();
  if (mesh.point_vertex.size() != request.points.size()) {
    return "the answer has " + to_string(mesh.point_vertex.size()) + " point vertices for " +
           to_string(request.points.size()) + " points";
  }
  std::vector<int32_t> point_of_vertex(vertex_count, -1);
  for (size_t p = 0; p < mesh.point_vertex.size(); ++p) {
    const int32_t v = mesh.point_vertex[p];
    if (v < 0 || static_cast<size_t>(v) >= vertex_count) {
      return "point " + to_string(p) + " has vertex " + to_string(v) + ", out of range";
    }
    const int32_t other = point_of_vertex[v];
    if (other >= 0 && built.vertex_of_point[other] != built.vertex_of_point[p]) {
      return "points " + to_string(other) + " and " + to_string(p) + " share vertex " + to_string(v);
    }
    point_of_vertex[v] = static_cast<int32_t>(p);
  }
  if (mesh.segment_chains.size() != request.segments.size()) {
    return "the answer has " + to_string(mesh.segment_chains.size()) + " chains for " +
           to_string(request.segments.size()) + " segments";
  }
  const bool halved = !built.midpoint_of_segment.empty();
  const size_t chain_size = halved ? 3 : 2;
  for (size_t s = 0; s < request.segments.size(); ++s) {
    const auto& chain = mesh.segment_chains[s];
    const BoundarySegment& segment = request.segments[s];
    if (chain.size() != chain_size || chain.front() != mesh.point_vertex[segment.point_a] ||
        chain.back() != mesh.point_vertex[segment.point_b]) {
      return "segment " + to_string(s) + " is a chain of " + to_string(chain.size()) +
             (halved ? " vertices, not the two edges between its ends and its midpoint"
                     : " vertices, not the one edge between its ends");
    }
    if (halved && (chain[1] < 0 || static_cast<size_t>(chain[1]) >= vertex_count ||
                   point_of_vertex[chain[1]] >= 0)) {
      return "segment " + to_string(s) + " has no midpoint of its own";
    }
  }
  auto in_range = [&](const auto& elements) {
    for (const auto& element : elements) {
      for (int32_t v : element) {
        if (v < 0 || static_cast<size_t>(v) >= vertex_count) return false;
      }
    }
    return true;
  };
  if (!in_range(mesh.quads) || !in_range(mesh.triangles)) return "an element's vertex is out of range";
  return {};
}

// Adds a checked answer to `mesh`: its request points as the model's
// vertices and edge points they stand for, its other vertices as new ones.
void Stitch(const FaceRequest& built, const PlanarComplexMesh& answer, ModelMesh* mesh) {
  std::vector<int32_t> global(answer.vertices.size(), -1);
  for (size_t p = 0; p < answer.point_vertex.size(); ++p) {
    global[answer.point_vertex[p]] = built.vertex_of_point[p];
  }
  // Each face has its own copy of a shared edge's midpoint; both become the
  // one edge point, found by the segment, not by where the copies lie.
  for (size_t s = 0; s < built.midpoint_of_segment.size(); ++s) {
    global[answer.segment_chains[s][1]] = built.midpoint_of_segment[s];
  }
  for (size_t v = 0; v < global.size(); ++v) {
    if (global[v] >= 0) continue;
    global[v] = static_cast<int32_t>(mesh->vertices.size());
    mesh->vertices.push_back(answer.vertices[v]);
  }
  const int32_t face = static_cast<int32_t>(built.face);
  for (const auto& quad : answer.quads) {
    mesh->quads.push_back({global[quad[0]], global[quad[1]], global[quad[2]], global[quad[3]]});
    mesh->quad_faces.push_back(face);
  }
  for (const auto& triangle : answer.triangles) {
    mesh->triangles.push_back({global[triangle[0]], global[triangle[1]], global[triangle[2]]});
    mesh->triangle_faces.push_back(face);
  }
}

// Drops the vertices no element uses (those of faces not meshed, and model
// vertices no face uses), keeping the others in order.
void DropUnusedVertices(ModelMesh* mesh) {
  std::vector<int32_t> renumber(mesh->vertices.size(), -1);
  for (const auto& quad : mesh->quads) {
    for (int32_t v : quad) renumber[v] = 0;
  }
  for (const auto& triangle : mesh->triangles) {
    for (int32_t v : triangle) renumber[v] = 0;
  }
  std::vector<Point3> kept;
  for (size_t v = 0; v < renumber.size(); ++v) {
    if (renumber[v] < 0) continue;
    renumber[v] = static_cast<int32_t>(kept.size());
    kept.push_back(mesh->vertices[v]);
  }
  mesh->vertices = std::move(kept);
  for (auto& quad : mesh->quads) {
    for (int32_t& v : quad) v = renumber[v];
  }
  for (auto& triangle : mesh->triangles) {
    for (int32_t& v : triangle) v = renumber[v];
  }
}

bool IsLength(double value) { return std::isfinite(value) && value >= 0; }

}  // namespace

const char* FaceOutcomeName(FaceOutcomeKind kind) {
  switch (kind) {
    case FaceOutcomeKind::kMeshed: return "meshed";
    case FaceOutcomeKind::kRefused: return "refused";
    case FaceOutcomeKind::kFailed: return "failed";
    case FaceOutcomeKind::kSkipped: return "skipped";
    case FaceOutcomeKind::kNotReached: return "not reached";
  }
  return "unknown";
}

ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options,
                          FaceMesher& mesher, const ModelMeshProgress& progress) {
  const auto start = std::chrono::steady_clock::now();
  ModelMeshResult result;
  ModelMeshSummary& summary = result.summary;
  summary.faces = model.faces.size();
  result.faces.resize(model.faces.size());
  auto finish = [&](std::string error) {
    result.ok = error.empty();
    result.error = std::move(error);
    if (!result.ok) result.mesh = ModelMesh();
    summary.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return std::move(result);
  };

  const double tolerance = options.weld_tolerance;
  if (!(IsLength(tolerance) && tolerance > 0)) {
    return finish("the weld tolerance must be a positive length, not " + to_string(tolerance));
  }
  if (!IsLength(options.target_size)) {
    return finish("the target size must be a length, not " + to_string(options.target_size));
  }
  for (size_t f = 0; f < model.faces.size(); ++f) {
    if (model.faces[f].target_size == 0 && options.target_size == 0) {
      return finish("face " + to_string(f) + " has no target size of its own and the options give none");
    }
  }

  const VertexWeld weld = WeldVertices(model.vertices, tolerance);
  summary.welded_vertices = weld.welded;
  std::vector<PreparedFace> faces;
  faces.reserve(model.faces.size());
  FacePreparationCounts counts;
  for (size_t f = 0; f < model.faces.size(); ++f) {
    faces.push_back(PrepareFace(model, weld, f, tolerance, options.target_size, &counts));
    FaceOutcome& outcome = result.faces[f];
    outcome.non_planarity = faces.back().non_planarity;
    summary.max_non_planarity = std::max(summary.max_non_planarity, outcome.non_planarity);
    if (!faces.back().skip_key.empty()) {
      outcome.kind = FaceOutcomeKind::kSkipped;
      outcome.reason_key = faces.back().skip_key;
      outcome.reason = faces.back().skip_reason;
      ++summary.skipped_faces;
    }
  }
  summary.dropped_ring_repeats = counts.dropped_ring_repeats;
  summary.dropped_holes = counts.dropped_holes;
  summary.t_junctions = SplitTJunctions(model.vertices, tolerance, &faces);
  const EdgeDivision division = DivideEdges(model.vertices, faces, options.all_quads);
  if (division.too_many_points > 0) {
    return finish("the target sizes divide the model's edges into " +
                  to_string(division.too_many_points) + " points, far more than can be meshed");
  }
  for (const auto& entry : division.edges) {
    if (entry.second.faces.size() >= 2) ++summary.shared_edges;
    if (entry.second.faces.size() > 2) ++summary.non_manifold_edges;
  }

  std::vector<FaceRequest> requests;
  for (size_t f = 0; f < faces.size(); ++f) {
    if (faces[f].skip_key.empty()) requests.push_back(BuildRequest(f, faces[f], division, options));
  }
  // Largest first, so the pool does not end on one big face while the
  // other workers sit idle.
  std::stable_sort(requests.begin(), requests.end(), [&](const FaceRequest& a, const FaceRequest& b) {
    return faces[a.face].area > faces[b.face].area;
  });
  std::vector<MeshRequest> batch;
  batch.reserve(requests.size());
  for (const FaceRequest& built : requests) batch.push_back(built.request);

  std::vector<PlanarComplexMesh> answers(requests.size());
  std::string error;
  size_t answered = 0;
  mesher.MeshBatch(batch, [&](size_t index, WorkerAnswer answer) {
    const FaceRequest& built = requests[index];
    FaceOutcome& outcome = result.faces[built.face];
    ++answered;
    if (answer.outcome == CallOutcome::kRefused) {
      outcome.kind = FaceOutcomeKind::kRefused;
      outcome.reason = answer.refusal.found() ? answer.refusal.line : answer.Describe();
      outcome.reason_key = answer.refusal.reason;
      ++summary.refused_faces;
    } else if (!answer.ok()) {
      outcome.kind = FaceOutcomeKind::kFailed;
      outcome.reason = answer.Describe();
      outcome.reason_key = "call_failed";
      ++summary.failed_faces;
    } else if (std::string broken = CheckKeptBoundary(built, answer.mesh); !broken.empty()) {
      outcome.kind = FaceOutcomeKind::kFailed;
      outcome.reason = "the answer does not keep the face's boundary: " + broken;
      outcome.reason_key = "boundary_not_kept";
      ++summary.failed_faces;
    } else {
      outcome.kind = FaceOutcomeKind::kMeshed;
      outcome.quads = answer.mesh.quads.size();
      outcome.triangles = answer.mesh.triangles.size();
      answers[index] = std::move(answer.mesh);
      ++summary.meshed_faces;
    }
    if (progress) progress(answered, requests.size());
    if (outcome.kind != FaceOutcomeKind::kMeshed && !options.keep_going) {
      error = "face " + to_string(built.face) + " " + FaceOutcomeName(outcome.kind) + ": " +
              outcome.reason;
      return false;
    }
    return true;
  });
  if (!error.empty()) return finish(error);

  // Stitched in the model's face order, whatever order the answers came in,
  // so that the same model always gives the same numbering.
  std::vector<size_t> order(requests.size());
  std::iota(order.begin(), order.end(), 0);
  std::sort(order.begin(), order.end(),
            [&](size_t a, size_t b) { return requests[a].face < requests[b].face; });
  result.mesh.vertices = division.points;
  std::vector<bool> meshed(faces.size(), false);
  for (size_t index : order) {
    if (result.faces[requests[index].face].kind != FaceOutcomeKind::kMeshed) continue;
    meshed[requests[index].face] = true;
    Stitch(requests[index], answers[index], &result.mesh);
  }
  const MeshCheck check = CheckStitchedMesh(result.mesh, division, meshed);
  summary.open_edges = check.open_edges;
  if (!check.ok) return finish("the stitched mesh fails its check: " + check.error);
  DropUnusedVertices(&result.mesh);
  return finish({});
}

ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options, WorkerPool& pool,
                          const ModelMeshProgress& progress) {
  PoolFaceMesher mesher(pool);
  return MeshModel(model, options, mesher, progress);
}

}  // namespace mesh

#include "model/model_stitcher.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <utility>

#include "model/face_preparation.h"
#include "model/mesh_check.h"
#include "model/vertex_weld.h"
#include "protocol/coding.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

namespace {

using std::to_string;

// A request for one face, the model vertex (or edge point) each of its
// points stands for and, for all quads, the edge point each segment's
// midpoint stands for.
MeshRequest BuildRequest(const PreparedFace& face, const EdgeDivision& division,
                         const ModelMeshOptions& options, std::vector<int32_t>* vertex_of_point,
                         std::vector<int32_t>* midpoint_of_segment) {
  MeshRequest request;
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
        vertex_of_point->push_back(along[k]);
      } else {
        midpoint_of_segment->push_back(along[k]);
      }
    }
    const int32_t end = static_cast<int32_t>(vertex_of_point->size());
    for (int32_t p = first; p < end; ++p) {
      request.points.push_back(division.points[(*vertex_of_point)[p]]);
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
  return request;
}

// Empty when the answer keeps the request's boundary as asked: a vertex for
// every point, and every segment one edge between its ends' vertices (all
// quads: two, through one midpoint).
std::string CheckKeptBoundary(const MeshRequest& request, const std::vector<int32_t>& vertex_of_point,
                              const std::vector<int32_t>& midpoint_of_segment,
                              const PlanarComplexMesh& mesh) {
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
    if (other >= 0 && vertex_of_point[other] != vertex_of_point[p]) {
      return "points " + to_string(other) + " and " + to_string(p) + " share vertex " + to_string(v);
    }
    point_of_vertex[v] = static_cast<int32_t>(p);
  }
  if (mesh.segment_chains.size() != request.segments.size()) {
    return "the answer has " + to_string(mesh.segment_chains.size()) + " chains for " +
           to_string(request.segments.size()) + " segments";
  }
  const bool halved = !midpoint_of_segment.empty();
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

constexpr uint8_t kFaceAnswerVersion = 1;

void PutText(std::string* out, const std::string& text) {
  PutFixed64(out, text.size());
  out->append(text);
}

bool GetText(ByteReader* in, const unsigned char* base, size_t length, std::string* text) {
  uint64_t size;
  if (!in->GetCount(1, &size)) return false;
  const size_t at = length - in->remaining();
  text->assign(reinterpret_cast<const char*>(base) + at, size);
  for (uint64_t i = 0; i < size; ++i) {
    uint8_t skipped;
    in->GetUint8(&skipped);
  }
  return true;
}

}  // namespace

FaceAnswer FaceAnswerOf(WorkerAnswer answer) {
  FaceAnswer face;
  if (answer.outcome == CallOutcome::kRefused) {
    face.kind = FaceOutcomeKind::kRefused;
    face.reason = answer.refusal.found() ? answer.refusal.line : answer.Describe();
    face.reason_key = answer.refusal.reason;
  } else if (!answer.ok()) {
    face.kind = FaceOutcomeKind::kFailed;
    face.reason = answer.Describe();
    face.reason_key = "call_failed";
  } else {
    face.kind = FaceOutcomeKind::kMeshed;
    face.mesh = std::move(answer.mesh);
  }
  return face;
}

std::string EncodeFaceAnswer(const FaceAnswer& answer) {
  std::string out;
  PutUint8(&out, kFaceAnswerVersion);
  PutUint8(&out, static_cast<uint8_t>(answer.kind));
  PutText(&out, answer.reason);
  PutText(&out, answer.reason_key);
  if (answer.kind == FaceOutcomeKind::kMeshed) out += EncodePlanarComplexMesh(answer.mesh);
  return out;
}

bool DecodeFaceAnswer(const void* data, size_t length, FaceAnswer* answer) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  ByteReader in(data, length);
  uint8_t version, kind;
  FaceAnswer decoded;
  if (!in.GetUint8(&version) || version != kFaceAnswerVersion || !in.GetUint8(&kind)) return false;
  if (kind != static_cast<uint8_t>(FaceOutcomeKind::kMeshed) &&
      kind != static_cast<uint8_t>(FaceOutcomeKind::kRefused) &&
      kind != static_cast<uint8_t>(FaceOutcomeKind::kFailed)) {
    return false;
  }
  decoded.kind = static_cast<FaceOutcomeKind>(kind);
  if (!GetText(&in, bytes, length, &decoded.reason) ||
      !GetText(&in, bytes, length, &decoded.reason_key)) {
    return false;
  }
  const size_t at = length - in.remaining();
  if (decoded.kind == FaceOutcomeKind::kMeshed) {
    if (!DecodePlanarComplexMesh(bytes + at, in.remaining(), &decoded.mesh)) return false;
  } else if (!in.at_end()) {
    return false;
  }
  *answer = std::move(decoded);
  return true;
}

PreparedModel PrepareModel(const Model& model, const ModelMeshOptions& options) {
  PreparedModel prepared;
  prepared.started = std::chrono::steady_clock::now();
  ModelMeshResult& result = prepared.result;
  ModelMeshSummary& summary = result.summary;
  summary.faces = model.faces.size();
  result.faces.resize(model.faces.size());
  result.ok = true;
  auto fail = [&](std::string error) {
    result.ok = false;
    result.error = std::move(error);
    return std::move(prepared);
  };

  const double tolerance = options.weld_tolerance;
  if (!(IsLength(tolerance) && tolerance > 0)) {
    return fail("the weld tolerance must be a positive length, not " + to_string(tolerance));
  }
  if (!IsLength(options.target_size)) {
    return fail("the target size must be a length, not " + to_string(options.target_size));
  }
  for (size_t f = 0; f < model.faces.size(); ++f) {
    if (model.faces[f].target_size == 0 && options.target_size == 0) {
      return fail("face " + to_string(f) + " has no target size of its own and the options give none");
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
  prepared.division = DivideEdges(model.vertices, faces, options.all_quads);
  const EdgeDivision& division = prepared.division;
  if (division.too_many_points > 0) {
    return fail("the target sizes divide the model's edges into " +
                to_string(division.too_many_points) + " points, far more than can be meshed");
  }
  for (const auto& entry : division.edges) {
    if (entry.second.faces.size() >= 2) ++summary.shared_edges;
    if (entry.second.faces.size() > 2) ++summary.non_manifold_edges;
  }

  std::vector<size_t> order;
  for (size_t f = 0; f < faces.size(); ++f) {
    if (faces[f].skip_key.empty()) order.push_back(f);
  }
  std::stable_sort(order.begin(), order.end(),
                   [&](size_t a, size_t b) { return faces[a].area > faces[b].area; });
  prepared.requests.reserve(order.size());
  prepared.vertex_of_point.resize(order.size());
  prepared.midpoint_of_segment.resize(order.size());
  for (size_t i = 0; i < order.size(); ++i) {
    prepared.requests.push_back(BuildRequest(faces[order[i]], division, options,
                                             &prepared.vertex_of_point[i],
                                             &prepared.midpoint_of_segment[i]));
  }
  prepared.request_faces = std::move(order);
  return prepared;
}

ModelStitcher::ModelStitcher(PreparedModel prepared, bool keep_going)
    : prepared_(std::move(prepared)),
      keep_going_(keep_going),
      running_(prepared_.result.ok),
      error_(prepared_.result.error),
      answered_requests_(prepared_.requests.size(), false) {
  if (running_) prepared_.result.mesh.vertices = prepared_.division.points;
}

bool ModelStitcher::Add(size_t request, FaceAnswer answer) {
  if (request >= prepared_.requests.size()) {
    throw std::out_of_range("request " + to_string(request) + " of " +
                            to_string(prepared_.requests.size()));
  }
  if (answered_requests_[request]) {
    throw std::logic_error("request " + to_string(request) + " was answered already");
  }
  // Answers of requests already under way when the run ended are not wanted.
  if (!running_) return false;
  answered_requests_[request] = true;
  ++answered_;
  const size_t face = prepared_.request_faces[request];
  ModelMeshResult& result = prepared_.result;
  ModelMeshSummary& summary = result.summary;
  FaceOutcome& outcome = result.faces[face];
  outcome.kind = answer.kind;
  outcome.reason = std::move(answer.reason);
  outcome.reason_key = std::move(answer.reason_key);
  MeshRequest& asked = prepared_.requests[request];
  std::vector<int32_t>& vertex_of_point = prepared_.vertex_of_point[request];
  std::vector<int32_t>& midpoint_of_segment = prepared_.midpoint_of_segment[request];
  if (outcome.kind == FaceOutcomeKind::kMeshed) {
    if (std::string broken =
            CheckKeptBoundary(asked, vertex_of_point, midpoint_of_segment, answer.mesh);
        !broken.empty()) {
      outcome.kind = FaceOutcomeKind::kFailed;
      outcome.reason = "the answer does not keep the face's boundary: " + broken;
      outcome.reason_key = "boundary_not_kept";
    }
  }
  switch (outcome.kind) {
    case FaceOutcomeKind::kMeshed: {
      ++summary.meshed_faces;
      const PlanarComplexMesh& part = answer.mesh;
      ModelMesh& mesh = result.mesh;
      outcome.quads = part.quads.size();
      outcome.triangles = part.triangles.size();
      // The request's points become the model vertices and edge points they
      // stand for, the answer's other vertices new ones.
      Stitched block;
      block.face = face;
      block.first_vertex = mesh.vertices.size();
      block.first_quad = mesh.quads.size();
      block.first_triangle = mesh.triangles.size();
      std::vector<int32_t> global(part.vertices.size(), -1);
      for (size_t p = 0; p < part.point_vertex.size(); ++p) {
        global[part.point_vertex[p]] = vertex_of_point[p];
      }
      // Each face has its own copy of a shared edge's midpoint; both become
      // the one edge point, found by the segment, not by where the copies lie.
      for (size_t s = 0; s < midpoint_of_segment.size(); ++s) {
        global[part.segment_chains[s][1]] = midpoint_of_segment[s];
      }
      for (size_t v = 0; v < global.size(); ++v) {
        if (global[v] >= 0) continue;
        global[v] = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.push_back(part.vertices[v]);
      }
      const int32_t face_tag = static_cast<int32_t>(face);
      for (const auto& quad : part.quads) {
        mesh.quads.push_back({global[quad[0]], global[quad[1]], global[quad[2]], global[quad[3]]});
        mesh.quad_faces.push_back(face_tag);
      }
      for (const auto& triangle : part.triangles) {
        mesh.triangles.push_back({global[triangle[0]], global[triangle[1]], global[triangle[2]]});
        mesh.triangle_faces.push_back(face_tag);
      }
      block.vertex_count = mesh.vertices.size() - block.first_vertex;
      block.quad_count = part.quads.size();
      block.triangle_count = part.triangles.size();
      stitched_.push_back(block);
      break;
    }
    case FaceOutcomeKind::kRefused: ++summary.refused_faces; break;
    default:
      outcome.kind = FaceOutcomeKind::kFailed;
      ++summary.failed_faces;
      break;
  }
  // Its answer is in the mesh now; the request is no longer needed.
  asked = MeshRequest();
  std::vector<int32_t>().swap(vertex_of_point);
  std::vector<int32_t>().swap(midpoint_of_segment);
  if (outcome.kind != FaceOutcomeKind::kMeshed && !keep_going_) {
    error_ = "face " + to_string(face) + " " + FaceOutcomeName(outcome.kind) + ": " + outcome.reason;
    running_ = false;
  }
  return running_;
}

void ModelStitcher::PutInFaceOrder(ModelMesh* stitched) {
  std::stable_sort(stitched_.begin(), stitched_.end(),
                   [](const Stitched& a, const Stitched& b) { return a.face < b.face; });
  bool in_order = true;
  for (size_t i = 1; i < stitched_.size() && in_order; ++i) {
    in_order = stitched_[i - 1].first_vertex < stitched_[i].first_vertex;
  }
  if (in_order) return;
  ModelMesh& mesh = *stitched;
  ModelMesh ordered;
  const size_t shared = prepared_.division.points.size();
  std::vector<int32_t> renumber(mesh.vertices.size());
  for (size_t v = 0; v < shared; ++v) renumber[v] = static_cast<int32_t>(v);
  ordered.vertices.reserve(mesh.vertices.size());
  ordered.vertices.assign(mesh.vertices.begin(), mesh.vertices.begin() + static_cast<long>(shared));
  for (const Stitched& block : stitched_) {
    for (size_t v = block.first_vertex; v < block.first_vertex + block.vertex_count; ++v) {
      renumber[v] = static_cast<int32_t>(ordered.vertices.size());
      ordered.vertices.push_back(mesh.vertices[v]);
    }
  }
  std::vector<Point3>().swap(mesh.vertices);
  ordered.quads.reserve(mesh.quads.size());
  ordered.quad_faces.reserve(mesh.quads.size());
  ordered.triangles.reserve(mesh.triangles.size());
  ordered.triangle_faces.reserve(mesh.triangles.size());
  for (const Stitched& block : stitched_) {
    for (size_t q = block.first_quad; q < block.first_quad + block.quad_count; ++q) {
      const auto& quad = mesh.quads[q];
      ordered.quads.push_back({renumber[quad[0]], renumber[quad[1]], renumber[quad[2]], renumber[quad[3]]});
      ordered.quad_faces.push_back(mesh.quad_faces[q]);
    }
    for (size_t t = block.first_triangle; t < block.first_triangle + block.triangle_count; ++t) {
      const auto& triangle = mesh.triangles[t];
      ordered.triangles.push_back({renumber[triangle[0]], renumber[triangle[1]], renumber[triangle[2]]});
      ordered.triangle_faces.push_back(mesh.triangle_faces[t]);
    }
  }
  mesh = std::move(ordered);
}

ModelMeshResult ModelStitcher::Finish() {
  ModelMeshResult result = std::move(prepared_.result);
  auto finish = [&](std::string error) {
    result.ok = error.empty();
    result.error = std::move(error);
    if (!result.ok) result.mesh = ModelMesh();
    result.summary.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - prepared_.started).count();
    return std::move(result);
  };
  if (!error_.empty()) return finish(error_);
  PutInFaceOrder(&result.mesh);
  std::vector<bool> meshed(result.faces.size(), false);
  for (const Stitched& block : stitched_) meshed[block.face] = true;
  const MeshCheck check = CheckStitchedMesh(result.mesh, prepared_.division, meshed);
  result.summary.open_edges = check.open_edges;
  if (!check.ok) return finish("the stitched mesh fails its check: " + check.error);
  DropUnusedVertices(&result.mesh);
  return finish({});
}

}  // namespace mesh

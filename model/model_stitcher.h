// The two halves of meshing a model, for callers that mesh its faces
// elsewhere (other machines, other processes) and stitch the answers here.
// PrepareModel does everything before meshing (weld, ring cleanup,
// T-junctions, edge division) and builds one self-contained request per face;
// a ModelStitcher takes the answers one at a time, in any order, adds each to
// the mesh at once and releases its request, so memory grows with the mesh,
// not with the answers still to come. MeshModel (model/model_mesher.h) is
// these two around a FaceMesher; any other way of meshing the requests gives
// the same mesh, numbered the same.
#ifndef MESH_WORKER_MODEL_MODEL_STITCHER_H_
#define MESH_WORKER_MODEL_MODEL_STITCHER_H_

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "client/worker_process.h"
#include "formats/polygon_model.h"
#include "model/edge_division.h"
#include "model/model_mesher.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// One face's answer reduced to what stitching needs, so that it can travel
// from wherever the face was meshed: kMeshed with the mesh, or kRefused or
// kFailed with the reason (as FaceOutcome has them).
struct FaceAnswer {
  FaceOutcomeKind kind = FaceOutcomeKind::kFailed;
  std::string reason;
  std::string reason_key;
  PlanarComplexMesh mesh;
};

// kMeshed for a success (whether it kept the boundary is the stitcher's to
// judge), kRefused with the refusal's line and key, kFailed otherwise.
FaceAnswer FaceAnswerOf(WorkerAnswer answer);

// A compact byte form of a FaceAnswer; Decode is true only for a whole,
// well-formed one.
std::string EncodeFaceAnswer(const FaceAnswer& answer);
bool DecodeFaceAnswer(const void* data, size_t length, FaceAnswer* answer);

struct PreparedModel {
  // One per face to mesh, largest face first (so that a pool does not end
  // on one big face while the other workers sit idle).
  std::vector<MeshRequest> requests;
  // The model face each request is for.
  std::vector<size_t> request_faces;
  // For each request, the model vertex or edge point each of its points
  // stands for.
  std::vector<std::vector<int32_t>> vertex_of_point;
  // All quads: for each request, the edge point the worker's midpoint of
  // each segment stands for; empty otherwise.
  std::vector<std::vector<int32_t>> midpoint_of_segment;
  EdgeDivision division;
  // Skipped faces marked, summary filled in as far as preparation goes; not
  // ok with `error` when the options or the model rule out meshing.
  ModelMeshResult result;
  std::chrono::steady_clock::time_point started;
};

PreparedModel PrepareModel(const Model& model, const ModelMeshOptions& options);

class ModelStitcher {
 public:
  explicit ModelStitcher(PreparedModel prepared, bool keep_going = true);

  // The requests still to be answered stay here; an answered one is emptied.
  const std::vector<MeshRequest>& requests() const { return prepared_.requests; }
  size_t face_of(size_t request) const { return prepared_.request_faces.at(request); }
  size_t answered() const { return answered_; }
  // False once the run has ended: preparation failed, or a face was not
  // meshed with keep_going false.
  bool running() const { return running_; }

  // Takes the answer to requests()[request] and stitches it in. Returns
  // running(). An index out of range or answered already is a caller's
  // fault: std::out_of_range / std::logic_error.
  bool Add(size_t request, FaceAnswer answer);

  // Numbers the mesh as if the answers had come in the model's face order,
  // checks it and returns the result (not ok with `error` when the run
  // ended early or the check fails). Faces never answered stay "not
  // reached". Call once.
  ModelMeshResult Finish();

 private:
  struct Stitched {
    size_t face = 0;
    size_t first_vertex = 0, vertex_count = 0;
    size_t first_quad = 0, quad_count = 0;
    size_t first_triangle = 0, triangle_count = 0;
  };
  void PutInFaceOrder(ModelMesh* stitched);

  PreparedModel prepared_;
  bool keep_going_;
  bool running_;
  std::string error_;
  std::vector<bool> answered_requests_;
  size_t answered_ = 0;
  std::vector<Stitched> stitched_;
};

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_MODEL_STITCHER_H_

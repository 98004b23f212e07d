// MeshModel: a whole polygon model (a building's walls, roofs and slabs)
// meshed into one conforming mesh. Faces meshed one by one disagree on the
// edges they share; here every model edge is divided once, each face is
// meshed keeping exactly those divisions as its boundary, and the answers
// are stitched by vertex identity, so neighbours share their edge vertices
// and the mesh has no cracks.
//
// Before meshing, vertices closer than a tolerance are welded, rings lose
// repeated vertices (an explicit closing vertex among them), and a vertex
// lying on another face's edge (a T-junction) splits that edge in every face
// that uses it. Degenerate faces are skipped, refused ones left out, and both
// are reported; the stitched mesh is checked before it is returned.
#ifndef MESH_WORKER_MODEL_MODEL_MESHER_H_
#define MESH_WORKER_MODEL_MODEL_MESHER_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/worker_pool.h"
#include "formats/polygon_model.h"
#include "model/face_mesher.h"

namespace mesh {

// The weld tolerance unless the options say otherwise, in metres. CityJSON
// stores integer coordinates times a scale, commonly 1 mm, so distinct
// vertices of real files lie at least 1 mm apart, ten times this; element
// sizes are centimetres at the least, far above it; and coordinates of
// 1e7 m (projected national grids) are rounded to about 2e-9 m in float64,
// far below it.
constexpr double kDefaultWeldTolerance = 1e-4;

struct ModelMeshOptions {
  // Vertices closer than this (metres, > 0 and finite) are one vertex; it
  // is also how close a vertex must lie to an edge to split it, and how thin
  // a face may be before it counts as degenerate.
  double weld_tolerance = kDefaultWeldTolerance;
  // The target element size (metres) of faces without one of their own (a
  // face's 0); must be > 0 if any face has none, or the run is an error.
  double target_size = 0.0;
  // Quads where the mesher can, triangles elsewhere; false: triangles only.
  bool prefer_quads = true;
  // Every element a quad (the request's kAllQuads).
  bool all_quads = false;
  // A face the mesher refuses is left out and reported; false: the first
  // refusal ends the run with an error.
  bool keep_going = true;
};

enum class FaceOutcomeKind {
  kMeshed,
  kRefused,     // the worker refused it: `reason` is its line, `reason_key` the check
  kFailed,      // no usable answer: the call failed (timed out, worker died,
                // ...) or the answer broke the kept boundary
  kSkipped,     // degenerate, never sent: `reason` says why
  kNotReached,  // the run ended (keep_going false) before it was meshed
};

// "meshed", "refused", "failed", "skipped", "not reached".
const char* FaceOutcomeName(FaceOutcomeKind kind);

struct FaceOutcome {
  FaceOutcomeKind kind = FaceOutcomeKind::kNotReached;
  // For kRefused the worker's refusal line (or, with no line, what its
  // answer says); for kFailed and kSkipped what went wrong, in words.
  std::string reason;
  // For kRefused the refusal's key (client/refusal.h; empty when the line
  // is not one known there); for kFailed "call_failed" or
  // "boundary_not_kept"; for kSkipped one of "bad_vertex_index",
  // "vertex_not_finite", "too_few_vertices", "zero_area",
  // "hole_outside_outline", "bad_target_size".
  std::string reason_key;
  size_t quads = 0;
  size_t triangles = 0;
  // The largest distance of one of the face's vertices from its Newell
  // plane, in metres (0 for a skipped face with no plane).
  double non_planarity = 0.0;
};

struct ModelMeshSummary {
  size_t faces = 0;
  size_t meshed_faces = 0;
  size_t refused_faces = 0;
  size_t failed_faces = 0;
  size_t skipped_faces = 0;
  // Vertices welded into another closer than the tolerance.
  size_t welded_vertices = 0;
  // Ring entries dropped as repeats of their predecessor after welding
  // (an explicit closing vertex is one).
  size_t dropped_ring_repeats = 0;
  // Holes dropped because they enclose nothing (fewer than 3 vertices or
  // zero area); the face is meshed without them.
  size_t dropped_holes = 0;
  // Vertices inserted into an edge they lay on, counted once per edge.
  size_t t_junctions = 0;
  // Model edges (after T-junction splits) used by two faces or more; those
  // used by more than two are also counted as non-manifold.
  size_t shared_edges = 0;
  size_t non_manifold_edges = 0;
  // Element edges used by one element only, other than those on the
  // model's own border (model edges of one face): cracks left by faces
  // that were not meshed. 0 for a closed solid whose faces all meshed.
  size_t open_edges = 0;
  // The largest FaceOutcome::non_planarity.
  double max_non_planarity = 0.0;
  double seconds = 0.0;
};

struct ModelMeshResult {
  // False with `error` for bad options, a refusal with keep_going false,
  // and a stitched mesh that failed its own check; `mesh` is then empty.
  bool ok = false;
  std::string error;
  ModelMesh mesh;
  // One per model face, in the model's order.
  std::vector<FaceOutcome> faces;
  ModelMeshSummary summary;
};

// The target size chosen when none is given: a tenth of the median face's
// bounding-box diagonal, so a building gets elements of about a metre and a
// model in millimetres elements of its own scale. 0 for a model without a
// usable face.
double DefaultModelTargetSize(const Model& model);

// Called on the calling thread after each face's answer: faces answered so
// far and faces sent in all.
using ModelMeshProgress = std::function<void(size_t answered, size_t sent)>;

ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options,
                          FaceMesher& mesher, const ModelMeshProgress& progress = nullptr);

// Through the pool's workers (model/pool_face_mesher.h); the pool's own
// deadline applies to each face.
ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options,
                          WorkerPool& pool, const ModelMeshProgress& progress = nullptr);

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_MODEL_MESHER_H_

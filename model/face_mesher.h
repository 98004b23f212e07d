// FaceMesher: the seam between the model layer and whatever meshes its faces.
// The model layer builds one request per face and needs every answer back,
// in any order; the real implementation feeds a WorkerPool
// (model/pool_face_mesher.h), tests put a fake in its place.
#ifndef MESH_WORKER_MODEL_FACE_MESHER_H_
#define MESH_WORKER_MODEL_FACE_MESHER_H_

#include <cstddef>
#include <functional>
#include <vector>

#include "client/worker_process.h"
#include "protocol/mesh_request.h"

namespace mesh {

class FaceMesher {
 public:
  // Given each answer with the position of its request in the batch. Returns
  // false to stop: no further request is started, and `done` is not called
  // again (answers of requests already started are waited for, unseen).
  using AnswerCallback = std::function<bool(size_t request, WorkerAnswer answer)>;

  virtual ~FaceMesher() = default;

  // Meshes the batch, starting requests in their order, and returns once
  // every started request is answered. `done` runs on the calling thread,
  // once per answered request, one call at a time.
  virtual void MeshBatch(const std::vector<MeshRequest>& requests,
                         const AnswerCallback& done) = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_FACE_MESHER_H_

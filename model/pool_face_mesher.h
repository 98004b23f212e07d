// PoolFaceMesher: a FaceMesher over a WorkerPool the caller owns.
//
// The batch is fed to the pool a few requests at a time rather than queued
// whole: the pool may be shared with other work, which a model of thousands
// of faces would otherwise stall, and stopping early then needs no
// WorkerPool::Cancel, which would end the other work too.
#ifndef MESH_WORKER_MODEL_POOL_FACE_MESHER_H_
#define MESH_WORKER_MODEL_POOL_FACE_MESHER_H_

#include <vector>

#include "client/worker_pool.h"
#include "model/face_mesher.h"

namespace mesh {

class PoolFaceMesher : public FaceMesher {
 public:
  // Keeps `pool` by reference: it must outlive this object.
  explicit PoolFaceMesher(WorkerPool& pool, SubmitOptions submit = {})
      : pool_(pool), submit_(submit) {}

  void MeshBatch(const std::vector<MeshRequest>& requests,
                 const AnswerCallback& done) override;

 private:
  WorkerPool& pool_;
  const SubmitOptions submit_;
};

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_POOL_FACE_MESHER_H_

// FakeFaceMesher: a FaceMesher for tests that meshes in-process, keeping the
// boundary as the real worker is asked to: a convex face is fanned from its
// centroid (one interior vertex), any other face, holes included, is cut
// into triangles between its own points. Answers carry plane positions, as
// the worker's do, so tests see the model layer put its own back.
#ifndef MESH_WORKER_MODEL_FAKE_FACE_MESHER_H_
#define MESH_WORKER_MODEL_FAKE_FACE_MESHER_H_

#include <functional>
#include <vector>

#include "model/face_mesher.h"

namespace mesh {
namespace test {

class FakeFaceMesher : public FaceMesher {
 public:
  // Requests for which `refuse` is true are refused as self-intersecting.
  std::function<bool(const MeshRequest&)> refuse;
  // Requests for which `break_boundary` is true get an extra vertex in the
  // middle of their first segment's chain.
  std::function<bool(const MeshRequest&)> break_boundary;
  // Every request received, in order.
  std::vector<MeshRequest> received;

  void MeshBatch(const std::vector<MeshRequest>& requests, const AnswerCallback& done) override;

  // The answer the fake gives one request.
  WorkerAnswer Mesh(const MeshRequest& request);
};

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_MODEL_FAKE_FACE_MESHER_H_

#include "model/model_mesher.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "model/model_stitcher.h"
#include "model/pool_face_mesher.h"

namespace mesh {

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

double DefaultModelTargetSize(const Model& model) {
  std::vector<double> extents;
  for (const ModelFace& face : model.faces) {
    Point3 low{HUGE_VAL, HUGE_VAL, HUGE_VAL}, high{-HUGE_VAL, -HUGE_VAL, -HUGE_VAL};
    for (int32_t index : face.outer) {
      if (index < 0 || static_cast<size_t>(index) >= model.vertices.size()) continue;
      const Point3& p = model.vertices[static_cast<size_t>(index)];
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    const double extent = std::hypot(high.x - low.x, high.y - low.y, high.z - low.z);
    if (std::isfinite(extent) && extent > 0) extents.push_back(extent);
  }
  if (extents.empty()) return 0;
  std::nth_element(extents.begin(), extents.begin() + static_cast<long>(extents.size() / 2),
                   extents.end());
  return extents[extents.size() / 2] / 10;
}

ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options,
                          FaceMesher& mesher, const ModelMeshProgress& progress) {
  ModelStitcher stitcher(PrepareModel(model, options), options.keep_going);
  if (stitcher.running()) {
    const size_t sent = stitcher.requests().size();
    mesher.MeshBatch(stitcher.requests(), [&](size_t index, WorkerAnswer answer) {
      const bool going = stitcher.Add(index, FaceAnswerOf(std::move(answer)));
      if (progress) progress(stitcher.answered(), sent);
      return going;
    });
  }
  return stitcher.Finish();
}

ModelMeshResult MeshModel(const Model& model, const ModelMeshOptions& options, WorkerPool& pool,
                          const ModelMeshProgress& progress) {
  PoolFaceMesher mesher(pool);
  return MeshModel(model, options, mesher, progress);
}

}  // namespace mesh

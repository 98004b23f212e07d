// A box meshed through the real worker pool: one closed, conforming mesh,
// its edge points where the model layer put them.
#include <gtest/gtest.h>

#include "client/worker_pool.h"
#include "model/model_mesher.h"
#include "model/model_test_shapes.h"

namespace mesh {
namespace {

// Disabled until the worker keeps request segments as single mesh edges
// (kKeepBoundary): without it, it divides them again and every face fails
// as "boundary_not_kept".
TEST(MeshModelWorkerTest, DISABLED_BoxThroughTheRealPoolIsClosed) {
  Model model;
  test::AddBox(&model, {0, 0, 0}, {1.0, 1.5, 2.0}, 0.4);
  WorkerPoolOptions pool_options;
  pool_options.worker.worker_path = MESH_WORKER_PATH;
  pool_options.workers = 2;
  WorkerPool pool(pool_options);
  for (bool quads : {true, false}) {
    ModelMeshOptions options;
    options.prefer_quads = quads;
    const ModelMeshResult result = MeshModel(model, options, pool);
    ASSERT_TRUE(result.ok) << result.error;
    for (const FaceOutcome& face : result.faces) {
      EXPECT_EQ(face.kind, FaceOutcomeKind::kMeshed) << face.reason;
    }
    EXPECT_EQ(result.summary.open_edges, 0u);
    for (const auto& entry : test::ElementEdgeUses(result.mesh)) EXPECT_EQ(entry.second, 2);
    // The 2 m edges in five pieces of 0.4 m, at the layer's own positions.
    bool found = false;
    for (const Point3& v : result.mesh.vertices) {
      found = found || (v.x == 0 && v.y == 0 && v.z == 2.0 * (3.0 / 5.0));
    }
    EXPECT_TRUE(found);
    if (quads) {
      EXPECT_GT(result.mesh.quads.size(), 0u);
    }
  }
}

}  // namespace
}  // namespace mesh

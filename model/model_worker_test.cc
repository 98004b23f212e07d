// Models meshed through the real worker pool: closed, conforming meshes with
// their edge points where the model layer put them; and the pool adapter
// stopping when asked.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include "client/worker_pool.h"
#include "model/model_mesher.h"
#include "model/model_test_shapes.h"
#include "model/pool_face_mesher.h"

namespace mesh {
namespace {

TEST(MeshModelWorkerTest, BoxThroughTheRealPoolIsClosed) {
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

TEST(MeshModelWorkerTest, BoxesOfTwoSizesSharingAWallConform) {
  Model model;
  test::AddBox(&model, {0, 0, 0}, {1, 1, 1}, 0.3);
  test::AddBox(&model, {1, 0, 0}, {2, 1, 1}, 0.15);
  WorkerPoolOptions pool_options;
  pool_options.worker.worker_path = MESH_WORKER_PATH;
  pool_options.workers = 2;
  WorkerPool pool(pool_options);
  size_t last_progress = 0;
  const ModelMeshResult result =
      MeshModel(model, ModelMeshOptions(), pool, [&](size_t answered, size_t sent) {
        EXPECT_EQ(sent, 12u);
        EXPECT_EQ(answered, last_progress + 1);
        last_progress = answered;
      });
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.meshed_faces, 12u);
  EXPECT_EQ(result.summary.welded_vertices, 4u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  for (const auto& entry : test::ElementEdgeUses(result.mesh)) {
    EXPECT_TRUE(entry.second == 2 || entry.second == 4) << entry.second;
  }
}

// All quads: every face's segments each gain a midpoint of the worker's,
// and the two faces on an edge must still meet vertex for vertex there.
TEST(MeshModelWorkerTest, AllQuadBoxesSharingAWallConformWithoutATriangle) {
  Model model;
  test::AddBox(&model, {0, 0, 0}, {1, 1, 1}, 0.3);
  test::AddBox(&model, {1, 0, 0}, {2, 1, 1}, 0.15);
  WorkerPoolOptions pool_options;
  pool_options.worker.worker_path = MESH_WORKER_PATH;
  pool_options.workers = 2;
  WorkerPool pool(pool_options);
  ModelMeshOptions options;
  options.all_quads = true;
  const ModelMeshResult result = MeshModel(model, options, pool);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.meshed_faces, 12u);
  for (const FaceOutcome& face : result.faces) EXPECT_EQ(face.triangles, 0u) << face.reason;
  EXPECT_TRUE(result.mesh.triangles.empty());
  EXPECT_EQ(result.summary.open_edges, 0u);
  for (const auto& entry : test::ElementEdgeUses(result.mesh)) {
    EXPECT_TRUE(entry.second == 2 || entry.second == 4) << entry.second;
  }
  // The first box's own 1 m edges cut at 0.6 m into two and each half
  // halved again: the midpoints at the layer's own positions too.
  bool found = false;
  for (const Point3& v : result.mesh.vertices) {
    found = found || (v.x == 0 && v.y == 0 && v.z == 0.25);
  }
  EXPECT_TRUE(found);
}

TEST(PoolFaceMesherTest, StopsStartingRequestsWhenTold) {
  WorkerPoolOptions pool_options;
  pool_options.worker.worker_path = MESH_WORKER_PATH;
  pool_options.workers = 1;
  WorkerPool pool(pool_options);
  PoolFaceMesher mesher(pool);
  // Requests the worker refuses at once (too few points).
  const std::vector<MeshRequest> requests(20, MeshRequest());
  std::vector<size_t> seen;
  mesher.MeshBatch(requests, [&](size_t index, WorkerAnswer answer) {
    EXPECT_EQ(answer.outcome, CallOutcome::kRefused);
    seen.push_back(index);
    return seen.size() < 3;
  });
  EXPECT_EQ(seen.size(), 3u);

  seen.clear();
  mesher.MeshBatch(requests, [&](size_t index, WorkerAnswer) {
    seen.push_back(index);
    return true;
  });
  std::sort(seen.begin(), seen.end());
  ASSERT_EQ(seen.size(), 20u);
  for (size_t i = 0; i < seen.size(); ++i) EXPECT_EQ(seen[i], i);
}

}  // namespace
}  // namespace mesh

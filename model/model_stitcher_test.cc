// Meshing a model in two halves, as a caller that sends its faces elsewhere
// does: answers in any order, carried as bytes, give the mesh MeshModel
// gives; a run that ends early, and answers that are not wanted.
#include "model/model_stitcher.h"

#include <algorithm>
#include <random>
#include <stdexcept>

#include <gtest/gtest.h>

#include "model/fake_face_mesher.h"
#include "model/model_test_shapes.h"

namespace mesh {
namespace {

using test::AddBox;
using test::FakeFaceMesher;

// Two boxes sharing a wall, one with a finer size, and a loose plate: faces
// of different sizes, so the largest-first order differs from face order.
Model SampleModel() {
  Model model;
  AddBox(&model, {0, 0, 0}, {2, 2, 2});
  AddBox(&model, {2, 0, 0}, {5, 2, 3}, 0.4);
  AddBox(&model, {10, 0, 0}, {11, 1, 1});
  return model;
}

ModelMeshOptions Options() {
  ModelMeshOptions options;
  options.target_size = 0.5;
  return options;
}

void ExpectSameMesh(const ModelMesh& a, const ModelMesh& b) {
  ASSERT_EQ(a.vertices.size(), b.vertices.size());
  for (size_t v = 0; v < a.vertices.size(); ++v) {
    EXPECT_EQ(a.vertices[v].x, b.vertices[v].x);
    EXPECT_EQ(a.vertices[v].y, b.vertices[v].y);
    EXPECT_EQ(a.vertices[v].z, b.vertices[v].z);
  }
  EXPECT_EQ(a.quads, b.quads);
  EXPECT_EQ(a.triangles, b.triangles);
  EXPECT_EQ(a.quad_faces, b.quad_faces);
  EXPECT_EQ(a.triangle_faces, b.triangle_faces);
}

TEST(ModelStitcherTest, AnswersInAnyOrderAsBytesGiveTheMeshOfMeshModel) {
  const Model model = SampleModel();
  FakeFaceMesher local;
  const ModelMeshResult expected = MeshModel(model, Options(), local);
  ASSERT_TRUE(expected.ok) << expected.error;
  // Numbered in face order although the largest faces were meshed first.
  EXPECT_NE(local.received.front().target_size, 0.5);
  EXPECT_TRUE(std::is_sorted(expected.mesh.quad_faces.begin(), expected.mesh.quad_faces.end()));
  EXPECT_TRUE(std::is_sorted(expected.mesh.triangle_faces.begin(),
                             expected.mesh.triangle_faces.end()));

  for (unsigned seed : {1u, 2u, 3u}) {
    ModelStitcher stitcher(PrepareModel(model, Options()));
    ASSERT_TRUE(stitcher.running());
    const std::vector<MeshRequest> requests = stitcher.requests();
    ASSERT_EQ(requests.size(), model.faces.size());
    std::vector<size_t> order(requests.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    std::shuffle(order.begin(), order.end(), std::mt19937(seed));
    FakeFaceMesher remote;
    for (size_t index : order) {
      // Through bytes both ways, as a request and its answer travel.
      MeshRequest decoded;
      const std::string payload = EncodeMeshRequest(requests[index]);
      ASSERT_TRUE(DecodeMeshRequest(payload.data(), payload.size(), &decoded));
      const std::string answer = EncodeFaceAnswer(FaceAnswerOf(remote.Mesh(decoded)));
      FaceAnswer carried;
      ASSERT_TRUE(DecodeFaceAnswer(answer.data(), answer.size(), &carried));
      EXPECT_TRUE(stitcher.Add(index, std::move(carried)));
      // Answered requests are released as they come in.
      EXPECT_TRUE(stitcher.requests()[index].points.empty());
    }
    const ModelMeshResult result = stitcher.Finish();
    ASSERT_TRUE(result.ok) << result.error;
    ExpectSameMesh(result.mesh, expected.mesh);
    EXPECT_EQ(result.summary.meshed_faces, model.faces.size());
    EXPECT_EQ(result.summary.shared_edges, expected.summary.shared_edges);
  }
}

TEST(ModelStitcherTest, RefusalsAndBrokenBoundariesAreCountedAndLeftOut) {
  const Model model = SampleModel();
  FakeFaceMesher fake;
  fake.refuse = [](const MeshRequest& request) { return request.target_size == 0.4; };
  ModelStitcher stitcher(PrepareModel(model, Options()));
  const std::vector<MeshRequest> requests = stitcher.requests();
  for (size_t i = 0; i < requests.size(); ++i) {
    FaceAnswer answer = FaceAnswerOf(fake.Mesh(requests[i]));
    // A face whose answer adds a point to its outline has not kept it.
    if (stitcher.face_of(i) == 0) answer.mesh.point_vertex.pop_back();
    const std::string bytes = EncodeFaceAnswer(answer);
    FaceAnswer carried;
    ASSERT_TRUE(DecodeFaceAnswer(bytes.data(), bytes.size(), &carried));
    EXPECT_EQ(carried.reason, answer.reason);
    stitcher.Add(i, std::move(carried));
  }
  EXPECT_THROW(stitcher.Add(0, FaceAnswer()), std::logic_error);
  EXPECT_THROW(stitcher.Add(requests.size(), FaceAnswer()), std::out_of_range);
  const ModelMeshResult result = stitcher.Finish();
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.refused_faces, 6u);
  EXPECT_EQ(result.summary.failed_faces, 1u);
  EXPECT_EQ(result.faces[0].reason_key, "boundary_not_kept");
  EXPECT_EQ(result.faces[6].kind, FaceOutcomeKind::kRefused);
  EXPECT_EQ(result.faces[6].reason_key, "self_intersection");
  for (int32_t face : result.mesh.quad_faces) EXPECT_TRUE(face >= 12 || (face >= 1 && face < 6));
  for (int32_t face : result.mesh.triangle_faces) EXPECT_TRUE(face >= 12 || (face >= 1 && face < 6));
}

TEST(ModelStitcherTest, WithoutKeepGoingTheFirstFailureEndsTheRun) {
  const Model model = SampleModel();
  ModelStitcher stitcher(PrepareModel(model, Options()), /*keep_going=*/false);
  FaceAnswer refused;
  refused.kind = FaceOutcomeKind::kRefused;
  refused.reason = "no";
  EXPECT_FALSE(stitcher.Add(2, refused));
  EXPECT_FALSE(stitcher.running());
  // An answer already under way is not wanted, and harms nothing.
  FakeFaceMesher fake;
  EXPECT_FALSE(stitcher.Add(3, FaceAnswerOf(fake.Mesh(stitcher.requests()[3]))));
  const ModelMeshResult result = stitcher.Finish();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("refused: no"), std::string::npos) << result.error;
  EXPECT_TRUE(result.mesh.vertices.empty());
}

TEST(ModelStitcherTest, BadOptionsEndTheRunBeforeAnyRequest) {
  ModelMeshOptions options;  // no target size, and the faces have none
  ModelStitcher stitcher(PrepareModel(SampleModel(), options));
  EXPECT_FALSE(stitcher.running());
  EXPECT_TRUE(stitcher.requests().empty());
  const ModelMeshResult result = stitcher.Finish();
  EXPECT_FALSE(result.ok);
  EXPECT_NE(result.error.find("no target size"), std::string::npos);
}

TEST(ModelStitcherTest, DamagedAnswerBytesAreRejected) {
  FaceAnswer answer;
  answer.kind = FaceOutcomeKind::kMeshed;
  answer.mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  answer.mesh.triangles = {{0, 1, 2}};
  answer.mesh.triangle_domains = {1};
  const std::string bytes = EncodeFaceAnswer(answer);
  FaceAnswer decoded;
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    EXPECT_FALSE(DecodeFaceAnswer(bytes.data(), cut, &decoded)) << cut;
  }
  std::string longer = bytes + "x";
  EXPECT_FALSE(DecodeFaceAnswer(longer.data(), longer.size(), &decoded));
  std::string odd_kind = bytes;
  odd_kind[1] = static_cast<char>(FaceOutcomeKind::kSkipped);
  EXPECT_FALSE(DecodeFaceAnswer(odd_kind.data(), odd_kind.size(), &decoded));
  ASSERT_TRUE(DecodeFaceAnswer(bytes.data(), bytes.size(), &decoded));
  EXPECT_EQ(decoded.mesh.triangles, answer.mesh.triangles);
}

}  // namespace
}  // namespace mesh

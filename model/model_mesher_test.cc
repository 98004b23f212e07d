// The model layer against the fake mesher: conforming meshes of boxes that
// share walls, T-junctions, holes, welded duplicates, non-planar faces, and
// faces that are refused, broken or degenerate.
#include "model/model_mesher.h"

#include <cmath>
#include <set>

#include <gtest/gtest.h>

#include "model/fake_face_mesher.h"
#include "model/model_test_shapes.h"
#include "model/vec3.h"

namespace mesh {
namespace {

using test::AddBox;
using test::ElementEdgeUses;
using test::FakeFaceMesher;

ModelMeshOptions Options(double target_size) {
  ModelMeshOptions options;
  options.target_size = target_size;
  return options;
}

// Every element edge is used by two elements or, where `faces_on_edge` says
// more faces meet, by that many; none is used once.
void ExpectClosed(const ModelMesh& mesh, int most_uses = 2) {
  for (const auto& entry : ElementEdgeUses(mesh)) {
    EXPECT_GE(entry.second, 2) << "open edge " << entry.first.first << "-" << entry.first.second;
    EXPECT_LE(entry.second, most_uses) << "edge " << entry.first.first << "-" << entry.first.second;
    EXPECT_EQ(entry.second % 2, 0);
  }
}

double Area(const ModelMesh& mesh, int32_t face) {
  double area = 0;
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    if (face >= 0 && mesh.triangle_faces[t] != face) continue;
    const auto& tri = mesh.triangles[t];
    area += Length(Cross(Sub(mesh.vertices[tri[1]], mesh.vertices[tri[0]]),
                         Sub(mesh.vertices[tri[2]], mesh.vertices[tri[0]]))) / 2;
  }
  return area;
}

bool HasVertex(const ModelMesh& mesh, const Point3& p) {
  for (const Point3& v : mesh.vertices) {
    if (v.x == p.x && v.y == p.y && v.z == p.z) return true;
  }
  return false;
}

TEST(MeshModelTest, SingleBoxIsClosedWithEdgePointsAtExactPositions) {
  Model model;
  AddBox(&model, {0, 0, 0}, {2, 2, 2});
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(model, Options(0.5), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.meshed_faces, 6u);
  EXPECT_EQ(result.summary.shared_edges, 12u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  ExpectClosed(result.mesh);
  EXPECT_NEAR(Area(result.mesh, -1), 24.0, 1e-9);
  // Each 2 m edge in four pieces of 0.5 m: corners, edge points and one
  // fan centre per face.
  EXPECT_EQ(result.mesh.vertices.size(), 8u + 12u * 3u + 6u);
  for (double x : {0.0, 0.5, 1.0, 1.5, 2.0}) {
    EXPECT_TRUE(HasVertex(result.mesh, {x, 0, 0})) << x;
    EXPECT_TRUE(HasVertex(result.mesh, {2, 2, x})) << x;
  }
  ASSERT_EQ(result.faces.size(), 6u);
  for (const FaceOutcome& face : result.faces) {
    EXPECT_EQ(face.kind, FaceOutcomeKind::kMeshed);
    EXPECT_EQ(face.triangles, 16u);  // one per boundary piece, about the centre
  }
  // Every request keeps its boundary: one segment per point, in one loop.
  for (const MeshRequest& request : fake.received) {
    EXPECT_EQ(request.options & kKeepBoundary, kKeepBoundary);
    EXPECT_EQ(request.points.size(), 16u);
    EXPECT_EQ(request.segments.size(), 16u);
  }
}

TEST(MeshModelTest, TwoBoxesSharingAWallMeetVertexForVertex) {
  // Two buildings, each a closed solid with its own copy of the common
  // wall, meshed at different sizes: the common wall's edges take the finer.
  Model model;
  AddBox(&model, {0, 0, 0}, {2, 2, 2}, 1.0);
  AddBox(&model, {2, 0, 0}, {4, 2, 2}, 0.5);
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(model, Options(0), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.welded_vertices, 4u);
  EXPECT_EQ(result.summary.meshed_faces, 12u);
  // The four edges of the common wall are met by four faces each.
  EXPECT_EQ(result.summary.non_manifold_edges, 4u);
  EXPECT_EQ(result.summary.shared_edges, 20u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  ExpectClosed(result.mesh, 4);
  // The wall's copies (face 5 of the first box, face 4 of the second) have
  // the same boundary vertices.
  auto boundary = [&](int32_t face) {
    std::set<int32_t> vertices;
    for (size_t t = 0; t < result.mesh.triangles.size(); ++t) {
      if (result.mesh.triangle_faces[t] != face) continue;
      for (int32_t v : result.mesh.triangles[t]) {
        if (result.mesh.vertices[v].y == 0 || result.mesh.vertices[v].y == 2 ||
            result.mesh.vertices[v].z == 0 || result.mesh.vertices[v].z == 2) {
          vertices.insert(v);
        }
      }
    }
    return vertices;
  };
  EXPECT_EQ(boundary(5), boundary(10));
  EXPECT_EQ(boundary(5).size(), 16u);  // four 2 m edges at 0.5 m
  EXPECT_TRUE(HasVertex(result.mesh, {2, 0, 1.5}));
  // A face of the coarser box away from the wall keeps its own size.
  EXPECT_FALSE(HasVertex(result.mesh, {0, 0, 1.5}));
  EXPECT_TRUE(HasVertex(result.mesh, {0, 0, 1}));
}

TEST(MeshModelTest, TJunctionSplitsTheLongEdgeInBothFaces) {
  // A 4 x 2 x 2 box whose roof is two 2 x 2 halves: their common corner
  // vertices lie on the long top edges of the two long walls.
  Model model;
  model.vertices = {{0, 0, 0}, {4, 0, 0}, {4, 2, 0}, {0, 2, 0},
                    {0, 0, 2}, {4, 0, 2}, {4, 2, 2}, {0, 2, 2},
                    {2, 0.00003, 2}, {2, 2, 2}};
  auto face = [&](std::vector<int32_t> ring) {
    ModelFace added;
    added.outer = std::move(ring);
    model.faces.push_back(added);
  };
  face({0, 3, 2, 1});     // floor
  face({0, 1, 5, 4});     // long wall y = 0, top edge 5-4
  face({2, 3, 7, 6});     // long wall y = 2, top edge 7-6
  face({0, 4, 7, 3});     // x = 0
  face({1, 2, 6, 5});     // x = 4
  face({4, 8, 9, 7});     // roof half x < 2
  face({8, 5, 6, 9});     // roof half x > 2
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(model, Options(4.0), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.t_junctions, 2u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  ExpectClosed(result.mesh);
  EXPECT_NEAR(Area(result.mesh, -1), 2 * 8 + 2 * 8 + 2 * 4, 1e-3);
  // The wall got the roof's vertex, where the file put it.
  EXPECT_TRUE(HasVertex(result.mesh, {2, 0.00003, 2}));
  EXPECT_EQ(fake.received.size(), 7u);
}

TEST(MeshModelTest, HoleRunsClockwiseAndItsWindowShareItsEdges) {
  // A 4 x 4 wall with a 2 x 2 opening drawn the same way round as the
  // outline, and a window face filling the opening.
  Model model;
  model.vertices = {{0, 0, 0}, {4, 0, 0}, {4, 0, 4}, {0, 0, 4},
                    {1, 0, 1}, {3, 0, 1}, {3, 0, 3}, {1, 0, 3}};
  ModelFace wall;
  wall.outer = {0, 1, 2, 3};
  wall.holes = {{4, 5, 6, 7}};
  ModelFace window;
  window.outer = {7, 6, 5, 4};
  window.target_size = 0.5;
  model.faces = {wall, window};
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(model, Options(1.0), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.shared_edges, 4u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  EXPECT_NEAR(Area(result.mesh, 0), 12.0, 1e-9);
  EXPECT_NEAR(Area(result.mesh, 1), 4.0, 1e-9);
  // Only the wall's outline is used once.
  int once = 0;
  for (const auto& entry : ElementEdgeUses(result.mesh)) {
    EXPECT_LE(entry.second, 2);
    once += entry.second == 1;
  }
  EXPECT_EQ(once, 16);
  // The wall's request: the hole's loop turns against the outline's about
  // the normal (the fake's ear clipping depends on it too).
  const MeshRequest* wall_request = nullptr;
  for (const MeshRequest& request : fake.received) {
    if (request.points.size() > 16) wall_request = &request;
  }
  ASSERT_NE(wall_request, nullptr);
  Point3 outline, hole;
  for (const BoundarySegment& s : wall_request->segments) {
    const Point3& a = wall_request->points[s.point_a];
    const Point3& b = wall_request->points[s.point_b];
    const bool in_hole = a.x > 0.5 && a.x < 3.5 && a.z > 0.5 && a.z < 3.5;
    Point3& sum = in_hole ? hole : outline;
    sum = Add(sum, Cross(a, b));
    EXPECT_EQ(s.left_domain, 1);
    EXPECT_EQ(s.right_domain, 0);
  }
  EXPECT_GT(Dot(outline, wall_request->plane_normal), 0);
  EXPECT_LT(Dot(hole, wall_request->plane_normal), 0);
}

TEST(MeshModelTest, DuplicateVerticesAndClosedRingsAreWeldedAndCounted) {
  // Each face lists its own copies of its corners, each copy 2 um further
  // off along (1, 1, 1) than the one before (no two alike, all within 80 um,
  // none within 2 um of another's edge), and closes its ring explicitly;
  // one repeats a vertex as well.
  Model model;
  AddBox(&model, {0, 0, 0}, {1, 1, 1});
  Model copies;
  copies.faces = model.faces;
  for (ModelFace& face : copies.faces) {
    for (int32_t& v : face.outer) {
      Point3 p = model.vertices[v];
      const double offset = static_cast<double>(copies.vertices.size()) * 2e-6;
      p = {p.x + offset, p.y + offset, p.z + offset};
      v = static_cast<int32_t>(copies.vertices.size());
      copies.vertices.push_back(p);
    }
    face.outer.push_back(face.outer.front());
  }
  copies.faces[2].outer.insert(copies.faces[2].outer.begin() + 1, copies.faces[2].outer[1]);
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(copies, Options(0.5), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.summary.welded_vertices, 24u - 8u);
  EXPECT_EQ(result.summary.dropped_ring_repeats, 7u);
  EXPECT_EQ(result.summary.t_junctions, 0u);
  EXPECT_EQ(result.summary.open_edges, 0u);
  ExpectClosed(result.mesh);

  // A tolerance under the jiggle welds nothing, and the box falls apart
  // into faces that meet nowhere: reported, never stitched by coordinates.
  ModelMeshOptions fine = Options(0.5);
  fine.weld_tolerance = 1e-6;
  const ModelMeshResult apart = MeshModel(copies, fine, fake);
  ASSERT_TRUE(apart.ok) << apart.error;
  EXPECT_EQ(apart.summary.welded_vertices, 0u);
  EXPECT_EQ(apart.summary.t_junctions, 0u);
  EXPECT_EQ(apart.summary.shared_edges, 0u);
  EXPECT_EQ(apart.summary.meshed_faces, 6u);
}

TEST(MeshModelTest, NonPlanarFaceKeepsItsCornersAndReportsHowFarOff) {
  Model model;
  model.vertices = {{0, 0, 0}, {2, 0, 0}, {2, 2, 0.04}, {0, 2, 0}};
  ModelFace face;
  face.outer = {0, 1, 2, 3};
  model.faces = {face};
  FakeFaceMesher fake;
  // 1.1 m: the 2 m edges and the slightly longer ones alike in two pieces.
  const ModelMeshResult result = MeshModel(model, Options(1.1), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_NEAR(result.summary.max_non_planarity, 0.01, 1e-4);
  EXPECT_EQ(result.faces[0].non_planarity, result.summary.max_non_planarity);
  // Corners and edge points where the model has them, not on the plane.
  EXPECT_TRUE(HasVertex(result.mesh, {2, 2, 0.04}));
  EXPECT_TRUE(HasVertex(result.mesh, {2, 1, 0.02}));
  EXPECT_TRUE(HasVertex(result.mesh, {0, 1, 0}));
  // The fan centre is the answer's, on the face's plane.
  const Point3& centre = result.mesh.vertices.back();
  EXPECT_NEAR(centre.x, 1, 1e-3);
  EXPECT_NEAR(centre.z, 0.01, 1e-3);
}

TEST(MeshModelTest, RefusedFaceIsLeftOutAndLeavesItsEdgesOpen) {
  Model model;
  AddBox(&model, {0, 0, 0}, {2, 2, 2});
  FakeFaceMesher fake;
  fake.refuse = [](const MeshRequest& request) {
    for (const Point3& p : request.points) {
      if (p.z != 2) return false;
    }
    return true;
  };
  int progress_calls = 0;
  const ModelMeshResult result = MeshModel(model, Options(1.0), fake, [&](size_t done, size_t sent) {
    EXPECT_EQ(sent, 6u);
    EXPECT_EQ(done, static_cast<size_t>(++progress_calls));
  });
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(progress_calls, 6);
  EXPECT_EQ(result.summary.meshed_faces, 5u);
  EXPECT_EQ(result.summary.refused_faces, 1u);
  const FaceOutcome& top = result.faces[1];
  EXPECT_EQ(top.kind, FaceOutcomeKind::kRefused);
  EXPECT_EQ(top.reason_key, "self_intersection");
  EXPECT_NE(top.reason.find("BuildPlanarMesh: boundary self-intersects"), std::string::npos);
  for (int32_t f : result.mesh.triangle_faces) EXPECT_NE(f, 1);
  // The roof's four edges, two pieces each, are open.
  EXPECT_EQ(result.summary.open_edges, 8u);

  ModelMeshOptions strict = Options(1.0);
  strict.keep_going = false;
  FakeFaceMesher strict_fake;
  strict_fake.refuse = fake.refuse;
  const ModelMeshResult stopped = MeshModel(model, strict, strict_fake);
  EXPECT_FALSE(stopped.ok);
  EXPECT_NE(stopped.error.find("face 1 refused"), std::string::npos) << stopped.error;
  EXPECT_TRUE(stopped.mesh.vertices.empty());
  EXPECT_LT(strict_fake.received.size(), 6u);  // it stopped at the refusal
  EXPECT_EQ(stopped.faces[1].kind, FaceOutcomeKind::kRefused);
}

TEST(MeshModelTest, AnswerThatBreaksTheBoundaryFailsItsFace) {
  Model model;
  AddBox(&model, {0, 0, 0}, {1, 1, 1});
  FakeFaceMesher fake;
  fake.break_boundary = [](const MeshRequest& request) { return request.points[0].z == 1 &&
                                                                request.points[1].z == 1 &&
                                                                request.points[2].z == 1; };
  const ModelMeshResult result = MeshModel(model, Options(1.0), fake);
  ASSERT_TRUE(result.ok) << result.error;
  EXPECT_EQ(result.faces[1].kind, FaceOutcomeKind::kFailed);
  EXPECT_EQ(result.faces[1].reason_key, "boundary_not_kept");
  EXPECT_EQ(result.summary.failed_faces, 1u);
  EXPECT_EQ(result.summary.open_edges, 4u);

  ModelMeshOptions strict = Options(1.0);
  strict.keep_going = false;
  const ModelMeshResult stopped = MeshModel(model, strict, fake);
  EXPECT_FALSE(stopped.ok);
  EXPECT_NE(stopped.error.find("does not keep the face's boundary"), std::string::npos);
}

TEST(MeshModelTest, DegenerateFacesAreSkippedWithWhyAndNeverSent) {
  Model model;
  model.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0},
                    {2, 0, 0}, {0.00002, 0, 0},                 // 4: on the line, 5: near 0
                    {5, 5, 0}, {6, 5, 0}, {6, 6, 0},            // 6..8: outside the square
                    {NAN, 0, 0}};
  auto face = [&](std::vector<int32_t> outer, std::vector<std::vector<int32_t>> holes = {}) {
    ModelFace added;
    added.outer = std::move(outer);
    added.holes = std::move(holes);
    model.faces.push_back(added);
  };
  face({0, 1, 2, 3});                // 0: fine
  face({0, 5, 1});                   // 1: two distinct vertices once welded
  face({0, 1, 4});                   // 2: collinear
  face({0, 1, 2, 3}, {{6, 7, 8}});   // 3: hole outside
  face({0, 1, 17});                  // 4: bad index
  face({0, 1, 9});                   // 5: not finite
  face({0, 1, 2, 3}, {{0, 5, 1}});   // 6: a hole that encloses nothing is dropped
  FakeFaceMesher fake;
  const ModelMeshResult result = MeshModel(model, Options(1.0), fake);
  ASSERT_TRUE(result.ok) << result.error;
  const char* keys[] = {"", "too_few_vertices", "zero_area", "hole_outside_outline",
                        "bad_vertex_index", "vertex_not_finite", ""};
  for (size_t f = 0; f < model.faces.size(); ++f) {
    EXPECT_EQ(result.faces[f].reason_key, keys[f]) << f;
    EXPECT_EQ(result.faces[f].kind, keys[f][0] ? FaceOutcomeKind::kSkipped : FaceOutcomeKind::kMeshed)
        << f;
    if (keys[f][0]) {
      EXPECT_FALSE(result.faces[f].reason.empty());
    }
  }
  EXPECT_EQ(result.summary.skipped_faces, 5u);
  EXPECT_EQ(result.summary.dropped_holes, 1u);
  EXPECT_EQ(fake.received.size(), 2u);
}

TEST(MeshModelTest, BadOptionsAreErrors) {
  Model model;
  AddBox(&model, {0, 0, 0}, {1, 1, 1});
  FakeFaceMesher fake;
  EXPECT_NE(MeshModel(model, Options(0), fake).error.find("no target size"), std::string::npos);
  ModelMeshOptions options = Options(1.0);
  options.weld_tolerance = 0;
  EXPECT_FALSE(MeshModel(model, options, fake).ok);
  options.weld_tolerance = NAN;
  EXPECT_FALSE(MeshModel(model, options, fake).ok);
  // Sizes that would divide the edges into billions of points.
  const ModelMeshResult tiny = MeshModel(model, Options(1e-9), fake);
  EXPECT_NE(tiny.error.find("far more than can be meshed"), std::string::npos) << tiny.error;
  EXPECT_TRUE(fake.received.empty());
}

}  // namespace
}  // namespace mesh

// The stitched mesh's check: two triangles meeting on an edge divided in
// two, meshed consistently, with a crack, with a hole, with a face missing.
#include "model/mesh_check.h"

#include <gtest/gtest.h>

namespace mesh {
namespace {

// Face 0 is the triangle 0-1-2 above the x axis, face 1 the triangle 1-0-3
// below it; their common edge 0-1 has the point 4 in its middle. Vertex 5
// is inside face 0.
EdgeDivision Division() {
  EdgeDivision division;
  division.points = {{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {1, -1, 0}, {1, 0, 0}, {1, 0.3, 0}};
  auto add = [&](int32_t a, int32_t b, std::vector<int32_t> faces, std::vector<int32_t> inner = {}) {
    DividedEdge edge;
    edge.low = std::min(a, b);
    edge.high = std::max(a, b);
    edge.faces = std::move(faces);
    edge.inner = std::move(inner);
    division.edges[EdgeKey(a, b)] = edge;
  };
  add(0, 1, {0, 1}, {4});
  add(1, 2, {0});
  add(2, 0, {0});
  add(0, 3, {1});
  add(3, 1, {1});
  return division;
}

ModelMesh Mesh(std::vector<std::array<int32_t, 3>> upper, std::vector<std::array<int32_t, 3>> lower) {
  ModelMesh mesh;
  mesh.vertices = Division().points;
  for (const auto& t : upper) {
    mesh.triangles.push_back(t);
    mesh.triangle_faces.push_back(0);
  }
  for (const auto& t : lower) {
    mesh.triangles.push_back(t);
    mesh.triangle_faces.push_back(1);
  }
  return mesh;
}

const std::vector<std::array<int32_t, 3>> kUpper = {{0, 4, 5}, {4, 1, 5}, {1, 2, 5}, {2, 0, 5}};
const std::vector<std::array<int32_t, 3>> kLower = {{4, 0, 3}, {1, 4, 3}};

TEST(CheckStitchedMeshTest, ConsistentFacesPassAndAMissingFaceLeavesOpenEdges) {
  const MeshCheck both = CheckStitchedMesh(Mesh(kUpper, kLower), Division(), {true, true});
  EXPECT_TRUE(both.ok) << both.error;
  EXPECT_EQ(both.open_edges, 0u);

  const MeshCheck one = CheckStitchedMesh(Mesh(kUpper, {}), Division(), {true, false});
  EXPECT_TRUE(one.ok) << one.error;
  EXPECT_EQ(one.open_edges, 2u);  // the two pieces of 0-1
}

TEST(CheckStitchedMeshTest, CracksHolesAndBrokenElementsFail) {
  // The lower face across the whole edge, missing the point in its middle.
  const MeshCheck crack = CheckStitchedMesh(Mesh(kUpper, {{1, 0, 3}}), Division(), {true, true});
  EXPECT_FALSE(crack.ok);
  EXPECT_NE(crack.error.find("used by 1 elements where 2 meshed faces meet"), std::string::npos)
      << crack.error;

  // One triangle of the upper face missing: a gap along its outline.
  const MeshCheck gap = CheckStitchedMesh(Mesh({{0, 4, 5}, {4, 1, 5}, {1, 2, 5}}, kLower),
                                          Division(), {true, true});
  EXPECT_FALSE(gap.ok);
  EXPECT_NE(gap.error.find("used by 0 elements where 1 meshed faces meet"), std::string::npos)
      << gap.error;

  // A stray triangle inside the upper face, its edges there used three
  // times and once.
  std::vector<std::array<int32_t, 3>> stray = kUpper;
  stray.push_back({4, 5, 2});
  const MeshCheck inside = CheckStitchedMesh(Mesh(stray, kLower), Division(), {true, true});
  EXPECT_FALSE(inside.ok);
  EXPECT_NE(inside.error.find("inside face 0"), std::string::npos) << inside.error;

  // The upper face meshed twice over: its pieces used by three elements.
  std::vector<std::array<int32_t, 3>> twice = kUpper;
  twice.insert(twice.end(), kUpper.begin(), kUpper.end());
  EXPECT_FALSE(CheckStitchedMesh(Mesh(twice, kLower), Division(), {true, true}).ok);

  std::vector<std::array<int32_t, 3>> out_of_range = kUpper;
  out_of_range[0][2] = 6;
  EXPECT_NE(CheckStitchedMesh(Mesh(out_of_range, kLower), Division(), {true, true})
                .error.find("out of range"),
            std::string::npos);
  std::vector<std::array<int32_t, 3>> repeated = kUpper;
  repeated[0][2] = 0;
  EXPECT_NE(CheckStitchedMesh(Mesh(repeated, kLower), Division(), {true, true})
                .error.find("twice"),
            std::string::npos);
}

// Adjoining buildings each carry their common wall: two faces over the same
// outline, each cut by the same diagonal, which is then used twice in each.
TEST(CheckStitchedMeshTest, CoincidentFacesMeshedAlikePass) {
  EdgeDivision division;
  division.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  for (int32_t k = 0; k < 4; ++k) {
    DividedEdge edge;
    edge.low = std::min(k, (k + 1) % 4);
    edge.high = std::max(k, (k + 1) % 4);
    edge.faces = {0, 1};
    division.edges[EdgeKey(k, (k + 1) % 4)] = edge;
  }
  ModelMesh mesh;
  mesh.vertices = division.points;
  for (int32_t face : {0, 1}) {
    mesh.triangles.push_back({0, 1, 2});
    mesh.triangles.push_back({0, 2, 3});
    mesh.triangle_faces.insert(mesh.triangle_faces.end(), {face, face});
  }
  const MeshCheck check = CheckStitchedMesh(mesh, division, {true, true});
  EXPECT_TRUE(check.ok) << check.error;

  // The same diagonal used three times in one face is still a fault.
  mesh.triangles.push_back({0, 2, 1});
  mesh.triangle_faces.push_back(1);
  EXPECT_FALSE(CheckStitchedMesh(mesh, division, {true, true}).ok);
}

// At coarse sizes a face can join two of its corners by a diagonal that is
// a model edge of two other faces: the square 0-1-2-3 meshed as two
// triangles, beside the triangles 0-1-2 and 0-2-3 whose common edge is 0-2.
TEST(CheckStitchedMeshTest, ADiagonalAlongAnotherFacesModelEdgeIsAnInsideEdge) {
  EdgeDivision division;
  division.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  auto add = [&](int32_t a, int32_t b, std::vector<int32_t> faces) {
    DividedEdge edge;
    edge.low = std::min(a, b);
    edge.high = std::max(a, b);
    edge.faces = std::move(faces);
    division.edges[EdgeKey(a, b)] = edge;
  };
  add(0, 1, {0, 2});
  add(1, 2, {0, 2});
  add(2, 3, {1, 2});
  add(3, 0, {1, 2});
  add(0, 2, {0, 1});
  ModelMesh mesh;
  mesh.vertices = division.points;
  mesh.triangles = {{0, 1, 2}, {0, 2, 3}, {0, 1, 2}, {0, 2, 3}};
  mesh.triangle_faces = {0, 1, 2, 2};
  const MeshCheck check = CheckStitchedMesh(mesh, division, {true, true, true});
  EXPECT_TRUE(check.ok) << check.error;
  EXPECT_EQ(check.open_edges, 0u);

  // Face 1 missing: 0-2, 2-3 and 3-0 are then open, whatever face 2 does
  // inside.
  mesh.triangle_faces = {0, 2, 2};
  mesh.triangles = {{0, 1, 2}, {0, 1, 2}, {0, 2, 3}};
  const MeshCheck open = CheckStitchedMesh(mesh, division, {true, false, true});
  EXPECT_TRUE(open.ok) << open.error;
  EXPECT_EQ(open.open_edges, 3u);
}

}  // namespace
}  // namespace mesh

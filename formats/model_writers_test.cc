#include "formats/model_writers.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "formats/obj_reader.h"

namespace mesh {
namespace {

// Two faces of two objects, one without a semantic, meshed as a quad and
// two triangles, and a stray triangle of no model face.
void TwoFaces(Model* model, ModelMesh* mesh) {
  model->objects = {"b1", "b\n2"};
  model->semantics = {"RoofSurface"};
  model->faces.resize(2);
  model->faces[0].object = 0;
  model->faces[0].semantic = 0;
  model->faces[1].object = 1;
  mesh->vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
  mesh->quads = {{0, 1, 2, 3}};
  mesh->quad_faces = {0};
  mesh->triangles = {{1, 4, 2}, {0, 1, 3}};
  mesh->triangle_faces = {1, 7};
}

TEST(ModelWritersTest, ObjReadsBackWithEveryTag) {
  Model model;
  ModelMesh mesh;
  TwoFaces(&model, &mesh);
  ModelReadResult back;
  std::string error;
  ASSERT_TRUE(ParseObj("out.obj", ModelMeshToObj(model, mesh), &back, &error)) << error;
  EXPECT_EQ(back.model.vertices.size(), 5u);
  // Grouped by object then semantic: the stray triangle (no tags) first.
  ASSERT_EQ(back.model.faces.size(), 3u);
  EXPECT_EQ(back.model.faces[0].outer, (std::vector<int32_t>{0, 1, 3}));
  EXPECT_EQ(back.model.faces[0].object, -1);
  EXPECT_EQ(back.model.faces[0].semantic, -1);
  EXPECT_EQ(back.model.faces[1].outer, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_EQ(back.model.objects, (std::vector<std::string>{"b1", "b_2"}));
  EXPECT_EQ(back.model.semantics, (std::vector<std::string>{"RoofSurface"}));
  EXPECT_EQ(back.model.faces[1].object, 0);
  EXPECT_EQ(back.model.faces[1].semantic, 0);
  EXPECT_EQ(back.model.faces[2].object, 1);
  EXPECT_EQ(back.model.faces[2].semantic, -1);
}

TEST(ModelWritersTest, MshGivesEachFaceAnEntityInItsSemanticAndObjectGroups) {
  Model model;
  ModelMesh mesh;
  TwoFaces(&model, &mesh);
  const std::string msh = ModelMeshToMsh(model, mesh);
  EXPECT_NE(msh.find("$PhysicalNames\n4\n2 1 \"RoofSurface\"\n2 2 \"(none)\"\n"
                     "2 3 \"object b1\"\n2 4 \"object b_2\"\n$EndPhysicalNames\n"),
            std::string::npos)
      << msh;
  // Face 0 in RoofSurface and b1, face 1 in (none) and b_2, the stray
  // triangle (entity 3, past the faces) in (none) alone.
  EXPECT_NE(msh.find("$Entities\n0 0 3 0\n1 0 0 0 1 1 0 2 1 3 0\n2 1 0 0 2 1 0 2 2 4 0\n"
                     "3 0 0 0 1 1 0 1 2 0\n$EndEntities\n"),
            std::string::npos)
      << msh;
  EXPECT_NE(msh.find("$Elements\n3 3 1 3\n2 1 3 1\n1 1 2 3 4\n2 2 2 1\n2 2 5 3\n2 3 2 1\n3 1 2 4\n"),
            std::string::npos)
      << msh;
}

}  // namespace
}  // namespace mesh

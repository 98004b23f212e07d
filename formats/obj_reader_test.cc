#include "formats/obj_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

std::string ErrorOf(const std::string& text) {
  ModelReadResult result;
  std::string error;
  if (ParseObj("m.obj", text, &result, &error)) return "(read)";
  EXPECT_TRUE(result.model.faces.empty() && result.model.vertices.empty());
  return error;
}

TEST(ObjReaderTest, ReadsTheTwoBoxesWithObjectsFromOAndSemanticsFromG) {
  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ReadObjFile("examples/models/two_boxes.obj", &result, &error)) << error;
  const Model& model = result.model;
  EXPECT_EQ(model.vertices.size(), 12u);
  ASSERT_EQ(model.faces.size(), 12u);
  EXPECT_EQ(model.objects, (std::vector<std::string>{"box_a", "box_b"}));
  EXPECT_EQ(model.semantics,
            (std::vector<std::string>{"GroundSurface", "RoofSurface", "WallSurface"}));
  EXPECT_EQ(model.faces[0].outer, (std::vector<int32_t>{0, 3, 4, 1}));
  EXPECT_EQ(model.faces[0].object, 0);
  EXPECT_EQ(model.faces[0].semantic, 0);
  EXPECT_EQ(model.faces[7].object, 1);
  EXPECT_EQ(model.faces[7].semantic, 1);
  // Negative indices count back from the last vertex: the shared wall.
  EXPECT_EQ(model.faces[11].outer, (std::vector<int32_t>{1, 7, 10, 4}));
  EXPECT_EQ(model.faces[11].semantic, 2);
  EXPECT_EQ(model.vertices[10].x, 1.0);
  EXPECT_EQ(model.vertices[10].z, 1.0);
}

TEST(ObjReaderTest, TakesObjectsFromGroupsAndSemanticsFromMaterialsWhenThereIsNoO) {
  const std::string text =
      "v 153200.847921 414118.20999 2.701\nv 1 0 0 1\nv 0 1 0\nv 1 1 0\n"
      "mtllib ignored.mtl\n"
      "g house 7\nusemtl RoofSurface\nf 1/1/1 2//3 3\n"
      "usemtl WallSurface\nf 2 4 3 # a comment\n"
      "g \nf 1 2 4\n";
  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ParseObj("m.obj", text, &result, &error)) << error;
  const Model& model = result.model;
  ASSERT_EQ(model.faces.size(), 3u);
  // Coordinates are rounded correctly, as strtod does.
  EXPECT_EQ(model.vertices[0].x, 153200.847921);
  EXPECT_EQ(model.vertices[0].y, 414118.20999);
  EXPECT_EQ(model.objects, (std::vector<std::string>{"house 7"}));
  EXPECT_EQ(model.semantics, (std::vector<std::string>{"RoofSurface", "WallSurface"}));
  EXPECT_EQ(model.faces[0].outer, (std::vector<int32_t>{0, 1, 2}));
  EXPECT_EQ(model.faces[1].outer, (std::vector<int32_t>{1, 3, 2}));
  EXPECT_EQ(model.faces[1].semantic, 1);
  EXPECT_EQ(model.faces[2].object, -1);
  EXPECT_EQ(model.faces[2].semantic, 1);
}

TEST(ObjReaderTest, RefusesBadNumbersWithTheirLine) {
  EXPECT_EQ(ErrorOf("v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 4\n"),
            "m.obj:4: vertex index 4 out of range (file has 3 vertices)");
  EXPECT_EQ(ErrorOf("v 0 0 0\n\nv 1 x 0\n"), "m.obj:3: not a number: 'x'");
  EXPECT_EQ(ErrorOf("v 0 0\n"), "m.obj:1: a vertex needs 3 coordinates, found 2 numbers");
  EXPECT_EQ(ErrorOf("v 0 0 1e999\n"), "m.obj:1: coordinate is not finite: '1e999'");
  EXPECT_EQ(ErrorOf("v 0 0 0\r\nf 1 0 1\r\n"), "m.obj:2: vertex index 0 (indices count from 1)");
  EXPECT_EQ(ErrorOf("v 0 0 0\nf 1 -2 1\n"),
            "m.obj:2: vertex index -2 out of range (1 vertex so far)");
  EXPECT_EQ(ErrorOf("v 0 0 0\nf 1 99999999999 1\n"),
            "m.obj:2: vertex index 99999999999 out of range (1 vertex so far)");
  EXPECT_EQ(ErrorOf("v 0 0 0\nf 1 a/2 1\n"), "m.obj:2: not a vertex index: 'a/2'");
}

}  // namespace
}  // namespace mesh

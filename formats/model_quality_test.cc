#include "formats/model_quality.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

// A wall facing south (x-z plane), a roof facing up and a face without a
// type, each with its own elements, some turning one way and some the
// other as a model's faces do.
struct SmallModel {
  Model model;
  ModelMesh mesh;

  SmallModel() {
    model.semantics = {"RoofSurface", "WallSurface"};
    model.faces.resize(3);
    model.faces[0].semantic = 1;
    model.faces[1].semantic = 0;
    model.faces[2].semantic = -1;
    mesh.vertices = {
        // wall: a unit square, then a sliver triangle (quality about 0.0007)
        {0, 0, 0}, {1, 0, 0}, {1, 0, 1}, {0, 0, 1}, {2, 0, 0}, {3, 0, 0}, {2.5, 0, 0.0002},
        // roof: a 2 x 1 rectangle turning clockwise seen from above
        {0, 0, 5}, {0, 1, 5}, {2, 1, 5}, {2, 0, 5},
        // untyped: an equilateral triangle
        {0, 0, 9}, {1, 0, 9}, {0.5, 0.8660254037844386, 9}};
    mesh.quads = {{0, 1, 2, 3}, {7, 8, 9, 10}};
    mesh.quad_faces = {0, 1};
    mesh.triangles = {{11, 12, 13}, {4, 5, 6}};
    mesh.triangle_faces = {2, 0};
  }
};

TEST(ModelQualityTest, EachSemanticTypeSumsItsFacesAndNamesItsWorstElement) {
  const SmallModel m;
  const std::vector<SemanticQuality> entries = MeasureModelQuality(m.model, m.mesh);
  ASSERT_EQ(entries.size(), 3u);
  const SemanticQuality& roof = entries[0];
  const SemanticQuality& wall = entries[1];
  const SemanticQuality& untyped = entries[2];

  EXPECT_EQ(roof.semantic, 0);
  EXPECT_EQ(roof.quads, 1u);
  EXPECT_EQ(roof.triangles, 0u);
  // Measured as its corners run, a clockwise face is as good as any.
  EXPECT_NEAR(roof.min_quality, 1.0, 1e-12);
  EXPECT_EQ(roof.poor, 0u);
  EXPECT_EQ(roof.worst_face, 1);
  EXPECT_TRUE(roof.worst_is_quad);
  EXPECT_EQ(roof.worst_element, 1u);

  EXPECT_EQ(wall.semantic, 1);
  EXPECT_EQ(wall.quads, 1u);
  EXPECT_EQ(wall.triangles, 1u);
  EXPECT_LT(wall.min_quality, 0.01);
  EXPECT_NEAR(wall.mean_quality, (1.0 + wall.min_quality) / 2, 1e-12);
  EXPECT_EQ(wall.poor, 1u);
  EXPECT_EQ(wall.worst_face, 0);
  EXPECT_FALSE(wall.worst_is_quad);
  EXPECT_EQ(wall.worst_element, 1u);
  EXPECT_LT(wall.min_angle, 0.1);
  EXPECT_GT(wall.max_angle, 179.8);

  EXPECT_EQ(untyped.semantic, -1);
  EXPECT_NEAR(untyped.min_quality, 1.0, 1e-9);

  const std::string text = FormatModelQuality(m.model, entries);
  EXPECT_NE(text.find("  WallSurface: 1 quads, 1 triangles; angles 0.0 to 180.0 degrees; quality "
                      "min 0.00, mean 0.50; 1 under 0.3 (worst: face 0, triangle 1)\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("  (no semantic type): 0 quads, 1 triangles;"), std::string::npos) << text;
  EXPECT_EQ(text.rfind("  RoofSurface: 1 quads, 0 triangles;", 0), 0u) << text;
}

TEST(ModelQualityTest, CountsAreGroupedAndAnEmptyMeshHasNoEntries) {
  SmallModel m;
  EXPECT_TRUE(MeasureModelQuality(m.model, ModelMesh()).empty());
  // Twelve hundred copies of the roof's quad.
  m.mesh.quads.assign(1200, m.mesh.quads[1]);
  m.mesh.quad_faces.assign(1200, 1);
  m.mesh.triangles.clear();
  m.mesh.triangle_faces.clear();
  const std::vector<SemanticQuality> entries = MeasureModelQuality(m.model, m.mesh);
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_NE(FormatModelQuality(m.model, entries).find("RoofSurface: 1,200 quads, 0 triangles"),
            std::string::npos);
}

}  // namespace
}  // namespace mesh

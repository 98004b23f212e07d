#include "formats/cityjson_reader.h"

#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace mesh {
namespace {

ModelReadResult ReadBundled(const std::string& path, const std::string& lod = "") {
  ModelReadOptions options;
  options.lod = lod;
  ModelReadResult result;
  std::string error;
  EXPECT_TRUE(ReadCityJsonFile(path, options, &result, &error)) << error;
  return result;
}

size_t CountSemantic(const Model& model, const std::string& type) {
  size_t count = 0;
  for (const ModelFace& face : model.faces) {
    if (face.semantic >= 0 && model.semantics[static_cast<size_t>(face.semantic)] == type) ++count;
  }
  return count;
}

// What a small document reads to, or the error it gives.
std::string ErrorOf(const std::string& text, const std::string& lod = "") {
  ModelReadOptions options;
  options.lod = lod;
  ModelReadResult result;
  std::string error;
  if (ParseCityJson("model.city.json", text, options, &result, &error)) return "(read)";
  EXPECT_TRUE(result.model.faces.empty() && result.model.vertices.empty());
  return error;
}

// A CityJSON 2.0 document holding one object "b" with the given geometry.
std::string WithGeometry(const std::string& geometry, const std::string& vertices =
                             "[[0,0,0],[1,0,0],[1,1,0],[0,1,0]]") {
  return R"({"type":"CityJSON","version":"2.0","CityObjects":{"b":{"type":"Building",)"
         R"("geometry":[)" +
         geometry + R"(]}},"vertices":)" + vertices + "}";
}

TEST(CityJsonReaderTest, ReadsSolidsOfBuildingPartsWithTheirOwnIdsAndTransform) {
  const ModelReadResult read = ReadBundled("examples/models/DH_01_subs.city.json");
  const Model& model = read.model;
  EXPECT_EQ(model.vertices.size(), 92u);
  EXPECT_EQ(model.faces.size(), 70u);
  ASSERT_EQ(model.objects.size(), 9u);
  EXPECT_EQ(model.objects[0], "GUID_8CE54418-E2F7-49A7-9A8D-C3D172BA62C4_1");
  EXPECT_EQ(model.faces[0].outer, (std::vector<int32_t>{0, 1, 2, 3}));
  EXPECT_TRUE(model.faces[0].holes.empty());
  EXPECT_EQ(model.faces[0].object, 0);
  EXPECT_EQ(model.semantics[static_cast<size_t>(model.faces[0].semantic)], "WallSurface");
  EXPECT_EQ(CountSemantic(model, "WallSurface"), 48u);
  EXPECT_EQ(CountSemantic(model, "RoofSurface"), 13u);
  EXPECT_EQ(CountSemantic(model, "GroundSurface"), 9u);
  // The file's first vertex is [28211, 361399, 9420]: scaled then
  // translated, each coordinate rounded once.
  EXPECT_EQ(model.vertices[0].x, 28211 * 0.001 + 78612.16900000001);
  EXPECT_EQ(model.vertices[0].y, 361399 * 0.001 + 457782.107);
  EXPECT_EQ(model.vertices[0].z, 9420 * 0.001 + 3.451);
  EXPECT_TRUE(read.notes.empty());
}

TEST(CityJsonReaderTest, ReadsMultiSurfacesAndChoosesTheLevelOfDetail) {
  const Model rotterdam = ReadBundled("examples/models/rotterdam_subset.json").model;
  EXPECT_EQ(rotterdam.vertices.size(), 383u);
  EXPECT_EQ(rotterdam.faces.size(), 248u);
  EXPECT_EQ(rotterdam.objects.size(), 16u);
  EXPECT_EQ(rotterdam.faces[0].outer, (std::vector<int32_t>{0, 1, 2, 3, 4}));
  EXPECT_EQ(CountSemantic(rotterdam, "RoofSurface"), 41u);
  EXPECT_EQ(CountSemantic(rotterdam, "WallSurface"), 191u);

  // Three levels per building; the highest (2.2) by default.
  const Model highest = ReadBundled("examples/models/multi_lod.json").model;
  EXPECT_EQ(highest.faces.size(), 348u);
  EXPECT_EQ(highest.faces[0].outer, (std::vector<int32_t>{0, 21, 2}));
  EXPECT_EQ(CountSemantic(highest, "GroundSurface"), 60u);
  const Model lod12 = ReadBundled("examples/models/multi_lod.json", "1.2").model;
  EXPECT_EQ(lod12.faces.size(), 180u);
  EXPECT_EQ(lod12.objects.size(), 10u);
  EXPECT_TRUE(lod12.semantics.empty());
  EXPECT_EQ(lod12.faces[0].outer, (std::vector<int32_t>{0, 1, 2}));

  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,1,2]]]},)"
                                 R"({"type":"MultiSurface","lod":"1","boundaries":[[[0,1,2]]]})"),
                    "3"),
            "model.city.json: no geometry at lod 3 (the file has lod 1, 2)");
}

TEST(CityJsonReaderTest, ReadsVersionOneWithNumericLevelsAndPlainCoordinates) {
  // No transform: coordinates as written. lod 2 matches the option "2.0".
  const std::string text =
      R"({"type":"CityJSON","version":"1.0","CityObjects":{"a":{"type":"Building","geometry":[)"
      R"({"type":"MultiSurface","lod":1,"boundaries":[[[0,1,2]]]},)"
      R"({"type":"MultiSurface","lod":2,"boundaries":[[[0,1,2,3],[4,5,6]]]}]},)"
      R"("c":{"type":"Building","geometry":[{"type":"MultiSurface","lod":1,"boundaries":[[[0,1,2]]]}]}},)"
      R"("vertices":[[0.5,0,0],[10,0,0],[10,10,0],[0,10,0],[2,2,0],[3,2,0],[2,3,0]]})";
  ModelReadOptions options;
  options.lod = "2.0";
  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ParseCityJson("old.json", text, options, &result, &error)) << error;
  ASSERT_EQ(result.model.faces.size(), 1u);
  EXPECT_EQ(result.model.faces[0].outer, (std::vector<int32_t>{0, 1, 2, 3}));
  ASSERT_EQ(result.model.faces[0].holes.size(), 1u);
  EXPECT_EQ(result.model.faces[0].holes[0], (std::vector<int32_t>{4, 5, 6}));
  EXPECT_EQ(result.model.vertices[0].x, 0.5);
  EXPECT_EQ(result.model.objects, (std::vector<std::string>{"a"}));
  ASSERT_EQ(result.notes.size(), 1u);
  EXPECT_EQ(result.notes[0], "1 object has no geometry at lod 2.0 (\"c\"); left out");
}

TEST(CityJsonReaderTest, FollowsSemanticValuesThroughMultiSolidsWithNulls) {
  // Two solids, the first with a cavity shell; values mirror the
  // boundaries, with null for a whole solid and for single surfaces.
  const std::string geometry =
      R"({"type":"MultiSolid","lod":"2","boundaries":[)"
      R"([[[[0,1,2]],[[1,2,3]]],[[[0,2,3]]]],)"
      R"([[[[3,2,1]]]]],)"
      R"("semantics":{"surfaces":[{"type":"RoofSurface"},{"type":"WallSurface"}],)"
      R"("values":[[[1,null],[0]],null]}})";
  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ParseCityJson("m.json", WithGeometry(geometry), ModelReadOptions(), &result, &error))
      << error;
  const Model& model = result.model;
  ASSERT_EQ(model.faces.size(), 4u);
  EXPECT_EQ(model.faces[2].outer, (std::vector<int32_t>{0, 2, 3}));
  EXPECT_EQ(model.semantics, (std::vector<std::string>{"WallSurface", "RoofSurface"}));
  EXPECT_EQ(model.faces[0].semantic, 0);
  EXPECT_EQ(model.faces[1].semantic, -1);
  EXPECT_EQ(model.faces[2].semantic, 1);
  EXPECT_EQ(model.faces[3].semantic, -1);
  for (const ModelFace& face : model.faces) EXPECT_EQ(face.object, 0);
}

TEST(CityJsonReaderTest, RefusesMalformedFilesWithTheirPath) {
  EXPECT_EQ(ErrorOf(R"({"type": "CityJSON",)"),
            "model.city.json: line 1, column 21: syntax error while parsing object key - "
            "unexpected end of input; expected string literal");
  EXPECT_EQ(ErrorOf(R"({"type":"CityJSON","version":"2.0","CityObjects":{}})"),
            "model.city.json: no \"vertices\" member");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,1,2,1234]]]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].boundaries[0][0][3]: vertex index "
            "1234 out of range (file has 4 vertices)");
  EXPECT_EQ(ErrorOf(WithGeometry(
                R"({"type":"Solid","lod":"2","boundaries":[[[0,1,2]]]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].boundaries[0][0][0]: expected a ring "
            "(an array of vertex indices), found a number");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,[1],2]]]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].boundaries[0][0][1]: expected a "
            "vertex index, found an array");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"Polyhedron","lod":"2","boundaries":[]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].type: unknown geometry type "
            "\"Polyhedron\"");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"GeometryInstance","template":0,"boundaries":[0],)"
                                 R"("transformationMatrix":[1,0,0,0,0,1,0,0,0,0,1,0,0,0,0,1]})")),
            "model.city.json: CityObjects.\"b\".geometry[0]: geometry templates "
            "(GeometryInstance) are not supported");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,-1,2]]]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].boundaries[0][0][1]: vertex index -1 "
            "is negative");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,1,99999999999]]]})")),
            "model.city.json: CityObjects.\"b\".geometry[0].boundaries[0][0][2]: vertex index "
            "99999999999 out of range (file has 4 vertices)");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,1,2]]],)"
                                 R"("semantics":{"surfaces":[{"type":"RoofSurface"}],"values":[1]}})")),
            "model.city.json: CityObjects.\"b\".geometry[0].semantics.values[0]: semantic surface "
            "index 1 out of range (1 semantic surfaces)");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[]})",
                                 "[[0,0,0],[1,0]]")),
            "model.city.json: vertices[1]: 2 coordinates, expected 3");
  EXPECT_EQ(ErrorOf(WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[]})",
                                 "[[0,0,1e999]]")),
            "model.city.json: byte 160: number overflow parsing '1e999'");
  EXPECT_EQ(ErrorOf(R"({"type":"CityJSONFeature","id":"b","CityObjects":{},"vertices":[]})"),
            "model.city.json: type: a CityJSONFeature (one line of CityJSON Lines) is not "
            "supported; read a whole CityJSON file");
  EXPECT_EQ(ErrorOf("{\"type\":\"CityJSON\",\"CityObjects\":{},\"vertices\":[]}\n{\"type\":"
                    "\"CityJSONFeature\"}"),
            "model.city.json: line 2, column 1: syntax error while parsing value - unexpected "
            "'{'; expected end of input (a second JSON value follows the document: CityJSON "
            "Lines, one CityJSONFeature a line, are not supported)");
  EXPECT_EQ(ErrorOf(R"({"type":"CityJSON","CityObjects":{},"vertices":[[0,0,0]],"vertices":[]})"),
            "model.city.json: vertices: given twice");
  EXPECT_EQ(ErrorOf(R"({"type":"CityJSON","CityObjects":{},"vertices":[],"transform":{"scale":[1,1],"translate":[0,0,0]}})"),
            "model.city.json: transform.scale: expected 3 numbers");
  EXPECT_EQ(ErrorOf(R"({"type":"CityJSON","CityObjects":{},"metadata":)" + std::string(100, '[') +
                    std::string(100, ']') + R"(,"vertices":[]})"),
            "model.city.json: JSON nested deeper than 64 levels");
}

TEST(CityJsonReaderTest, KeepsDegenerateRingsAndIgnoresLinesAndPoints) {
  ModelReadResult result;
  std::string error;
  ASSERT_TRUE(ParseCityJson(
      "m.json",
      WithGeometry(R"({"type":"MultiSurface","lod":"2","boundaries":[[[0,1]],[[]]]},)"
                   R"({"type":"MultiLineString","lod":"2","boundaries":[[0,1]]})"),
      ModelReadOptions(), &result, &error))
      << error;
  ASSERT_EQ(result.model.faces.size(), 2u);
  EXPECT_EQ(result.model.faces[0].outer, (std::vector<int32_t>{0, 1}));
  EXPECT_TRUE(result.model.faces[1].outer.empty());
  EXPECT_EQ(result.notes, (std::vector<std::string>{"1 MultiLineString geometry carries no faces; ignored"}));
}

}  // namespace
}  // namespace mesh

#include "formats/mesh_json.h"

#include <string>

#include <gtest/gtest.h>

#include "protocol/frame.h"
#include "protocol/coding.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

const char kSquare[] = R"({
  "points": [[0, 0, 0], [1, 0, 0], [1, 1, 0], [0, 1, 0]],
  "segments": [[0, 1, 1, 0], [1, 2, 1, 0], [2, 3, 1, 0], [3, 0, 1, 0]],
  "target_size": 0.25
})";

std::string ProblemWith(const std::string& text) {
  MeshRequest request;
  JsonProblem problem;
  if (ParseMeshRequestJson(text, &request, &problem)) return "(parsed)";
  return problem.ToString();
}

TEST(MeshJsonTest, ErrorsNameTheFieldAndWhereItIs) {
  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {"{\n  \"points\": [[0, 0, 0]],\n  \"segments\": []\n}",
       "1:1: field 'target_size': missing"},
      {"{\"points\": [[0, 0, 0], [1, 0]], \"segments\": [], \"target_size\": 1}",
       "1:24: field 'points[1]': expected [x, y, z]"},
      {"{\"points\": [], \"target_size\": 1,\n \"segments\": [[0, 1, 1, 0],\n"
       "   [1, 2, \"one\", 0]]}",
       "3:11: field 'segments[1][2]': expected a whole number, found a string"},
      {"{\"points\": [], \"segments\": [[0, 1.5, 1, 0]], \"target_size\": 1}",
       "1:33: field 'segments[0][1]': expected a whole number, found 1.5"},
      {"{\"points\": [], \"segments\": [[0, 3000000000, 1, 0]], \"target_size\": 1}",
       "1:33: field 'segments[0][1]': whole number 3000000000 is out of the 32-bit range"},
      {"{\"points\": [], \"segments\": [], \"target_size\": null}",
       "1:47: field 'target_size': expected a number, found null"},
      {"{\"points\": [], \"segments\": [],\n\t\"target_size\": 1, \"prefer_quad\": true}",
       "2:20: field 'prefer_quad': unknown field (expected points, segments, interior_only, "
       "target_size, domain_target_sizes, prefer_quads, plane_normal, keep_boundary, all_quads "
       "or options)"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"keep_boundary\": 1}",
       "1:67: field 'keep_boundary': expected true or false"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"options\": -1}",
       "1:61: field 'options': whole number -1 is out of the unsigned 32-bit range"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"options\": 4294967296}",
       "1:61: field 'options': whole number 4294967296 is out of the unsigned 32-bit range"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"options\": 2,\n"
       " \"keep_boundary\": true}",
       "2:19: field 'keep_boundary': is true but bit 0 of options says otherwise"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"options\": 1,\n"
       " \"all_quads\": true}",
       "2:15: field 'all_quads': is true but bit 1 of options says otherwise"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"prefer_quads\": 1}",
       "1:66: field 'prefer_quads': expected true or false"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"interior_only\": 4}",
       "1:67: field 'interior_only': expected an array"},
      {"[1, 2]", "1:1: field '(top level)': expected an object with the request's fields"},
      {"{\"points\": [], \"segments\": [], \"target_size\": 1, \"plane_normal\": [0, \"0\", 0]}",
       "1:70: field 'plane_normal[1]': expected a number, found a string"},
  };
  for (const Case& c : cases) EXPECT_EQ(ProblemWith(c.text), c.expected) << c.text;
}

TEST(MeshJsonTest, SyntaxErrorsPointAtTheOffendingCharacter) {
  const std::string text = "{\n  \"points\": [[0, 0, 0],, [1, 0, 0]]\n}";
  const std::string problem = ProblemWith(text);
  EXPECT_EQ(problem.compare(0, 20, "2:24: invalid JSON: "), 0) << problem;
  EXPECT_NE(problem.find("unexpected ','"), std::string::npos) << problem;
  // The end of the input is the column after the last character.
  EXPECT_EQ(ProblemWith("{\"points\": [").compare(0, 5, "1:13:"), 0) << ProblemWith("{\"points\": [");
  // Columns count characters: é is one column, though two bytes.
  EXPECT_EQ(ProblemWith("{\"é\": ,}").compare(0, 4, "1:7:"), 0) << ProblemWith("{\"é\": ,}");
  EXPECT_EQ(ProblemWith("").compare(0, 4, "1:1:"), 0);
  // A number no double can hold is refused where it stands, for requests
  // and answers alike, rather than thrown out of the reader.
  EXPECT_EQ(ProblemWith("{\"points\": [[0, 0, 0],\n  [1e400, 0, 0]], \"segments\": [], "
                        "\"target_size\": 1}"),
            "2:4: number 1e400 is beyond the range of a double");
  PlanarComplexMesh mesh;
  JsonProblem answer_problem;
  EXPECT_FALSE(ParsePlanarComplexMeshJson("{\"vertices\": [[-2e308, 0, 0]]}", &mesh,
                                          &answer_problem));
  EXPECT_EQ(answer_problem.ToString(), "1:16: number -2e308 is beyond the range of a double");
}

TEST(MeshJsonTest, AFailedParseLeavesTheRequestAlone) {
  MeshRequest request;
  request.target_size = 7;
  JsonProblem problem;
  EXPECT_FALSE(ParseMeshRequestJson(R"({"points": [], "segments": [[0]], "target_size": 1})",
                                    &request, &problem));
  EXPECT_EQ(request.target_size, 7);
}

TEST(MeshJsonTest, DefaultsMatchTheBinaryRecord) {
  MeshRequest request;
  JsonProblem problem;
  ASSERT_TRUE(ParseMeshRequestJson(kSquare, &request, &problem)) << problem.ToString();
  const MeshRequest defaults;
  EXPECT_EQ(request.prefer_quads, defaults.prefer_quads);
  EXPECT_TRUE(request.interior_only.empty());
  EXPECT_TRUE(request.domain_target_sizes.empty());
  EXPECT_EQ(request.plane_normal.x, 0);
  EXPECT_EQ(request.plane_normal.z, 0);
  // The square of four points and four segments is 226 payload bytes.
  EXPECT_EQ(EncodeMeshRequest(request).size(), 226u);
}

TEST(MeshJsonTest, RequestsSurviveJsonToFrameToJson) {
  const std::string text = R"({
    "points": [[0, 0, 0], [2.5, -0.0, 1e-300], [1.7976931348623157e308, 0.1, 0.3]],
    "segments": [[0, 1, 1, 0], [1, 2, -2, 2147483647]],
    "interior_only": [2, 2],
    "target_size": 0.1,
    "domain_target_sizes": [0.0, -1.0, 0.05],
    "prefer_quads": false,
    "plane_normal": [0, 0, 1]
  })";
  MeshRequest request;
  JsonProblem problem;
  ASSERT_TRUE(ParseMeshRequestJson(text, &request, &problem)) << problem.ToString();

  const std::string frame = EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request));
  const FrameHeader header = DecodeFrameHeader(reinterpret_cast<const unsigned char*>(frame.data()));
  ASSERT_EQ(header.payload_length, frame.size() - kFrameHeaderSize);
  MeshRequest decoded;
  ASSERT_TRUE(DecodeMeshRequest(frame.data() + kFrameHeaderSize, header.payload_length, &decoded));

  const std::string first = MeshRequestToJson(request).dump();
  EXPECT_EQ(MeshRequestToJson(decoded).dump(), first);
  // And the JSON written reads back to the very same bytes.
  MeshRequest reread;
  ASSERT_TRUE(ParseMeshRequestJson(DumpReadable(MeshRequestToJson(decoded)), &reread, &problem))
      << problem.ToString();
  EXPECT_EQ(EncodeMeshRequest(reread), EncodeMeshRequest(request));
  EXPECT_EQ(DoubleBits(reread.points[1].y), DoubleBits(-0.0));
}

TEST(MeshJsonTest, OptionsByNameOrByNumberReachTheFrame) {
  struct Case {
    const char* fields;
    uint32_t options;
    const char* written;  // what MeshRequestToJson writes after plane_normal
  } const cases[] = {
      {"", 0, R"("keep_boundary":false)"},
      {R"(, "keep_boundary": false)", 0, R"("keep_boundary":false)"},
      {R"(, "keep_boundary": true)", kKeepBoundary, R"("keep_boundary":true)"},
      {R"(, "options": 1)", kKeepBoundary, R"("keep_boundary":true)"},
      {R"(, "options": 3, "keep_boundary": true)", kKeepBoundary | kAllQuads,
       R"("keep_boundary":true,"all_quads":true)"},
      {R"(, "all_quads": true)", kAllQuads, R"("keep_boundary":false,"all_quads":true)"},
      {R"(, "options": 6)", kAllQuads | 4u, R"("keep_boundary":false,"all_quads":true,"options":6)"},
      {R"(, "options": 2147483648)", 0x80000000u, R"("keep_boundary":false,"options":2147483648)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.fields);
    std::string text = kSquare;
    text.insert(text.rfind('}'), c.fields);
    MeshRequest request;
    JsonProblem problem;
    ASSERT_TRUE(ParseMeshRequestJson(text, &request, &problem)) << problem.ToString();
    EXPECT_EQ(request.options, c.options);
    // Version 3 unless an option is set: 4 bytes more for the options.
    EXPECT_EQ(EncodeMeshRequest(request).size(), c.options == 0 ? 226u : 230u);
    const std::string json = MeshRequestToJson(request).dump();
    EXPECT_NE(json.find(std::string("0.0],") + c.written + "}"), std::string::npos) << json;
    MeshRequest reread;
    ASSERT_TRUE(ParseMeshRequestJson(json, &reread, &problem)) << problem.ToString();
    EXPECT_EQ(reread.options, c.options);
  }
}

TEST(MeshJsonTest, AnswersUseTheResultRecordsFieldNamesInOrder) {
  const nlohmann::ordered_json json = PlanarComplexMeshToJson(test::OneQuadMesh());
  std::vector<std::string> keys;
  for (const auto& item : json.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"vertices", "quads", "triangles", "point_vertex",
                                            "quad_domains", "triangle_domains",
                                            "segment_chains"}));
  const std::string readable = DumpReadable(json);
  EXPECT_NE(readable.find("  \"quads\": [\n    [0,1,2,3]\n  ],\n"), std::string::npos) << readable;
  EXPECT_EQ(nlohmann::ordered_json::parse(readable), json);
}

TEST(MeshJsonTest, SavedAnswersReadBackAndBadOnesSayWhere) {
  const PlanarComplexMesh written = test::OneQuadMesh();
  PlanarComplexMesh read;
  JsonProblem problem;
  ASSERT_TRUE(ParsePlanarComplexMeshJson(DumpReadable(PlanarComplexMeshToJson(written)), &read,
                                         &problem))
      << problem.ToString();
  EXPECT_EQ(EncodePlanarComplexMesh(read), EncodePlanarComplexMesh(written));
  // A batch line: its own fields are passed over.
  nlohmann::ordered_json line = {{"line", 3}, {"ok", true}, {"outcome", "meshed"}};
  const nlohmann::ordered_json fields = PlanarComplexMeshToJson(written);
  for (const auto& field : fields.items()) line[field.key()] = field.value();
  ASSERT_TRUE(ParsePlanarComplexMeshJson(line.dump(), &read, &problem)) << problem.ToString();

  struct Case {
    const char* text;
    const char* expected;
  } cases[] = {
      {R"({"vertices": [[0,0,0],[1,0,0],[0,1,0]], "quads": [],
 "triangles": [[0, 1, 3]], "quad_domains": [], "triangle_domains": [1]})",
       "2:23: field 'triangles[0][2]': vertex 3 is not one of the 3 vertices"},
      {R"({"vertices": [[0,0,0],[1,0,0],[0,1,0]], "quads": [], "triangles": [[0, 1, 2]],
 "quad_domains": [], "triangle_domains": []})",
       "2:42: field 'triangle_domains': has 0 entries for 1 triangles"},
      {R"({"vertices": [], "quads": [[0, 1, 2]], "triangles": [], "quad_domains": [],
 "triangle_domains": []})",
       "1:28: field 'quads[0]': expected 4 vertex indices"},
      {R"({"vertices": [[0,0,0]], "quads": [], "triangles": [], "quad_domains": [],
 "triangle_domains": [], "segment_chains": [[0, -1]]})",
       "2:49: field 'segment_chains[0][1]': vertex -1 is not one of the 1 vertices"},
      {R"({"ok": false, "outcome": "refused"})", "1:1: field 'vertices': missing"},
  };
  for (const Case& c : cases) {
    PlanarComplexMesh untouched = written;
    EXPECT_FALSE(ParsePlanarComplexMeshJson(c.text, &untouched, &problem)) << c.text;
    EXPECT_EQ(problem.ToString(), c.expected) << c.text;
    EXPECT_EQ(EncodePlanarComplexMesh(untouched), EncodePlanarComplexMesh(written));
  }
}

}  // namespace
}  // namespace mesh

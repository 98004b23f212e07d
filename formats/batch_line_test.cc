#include "formats/batch_line.h"

#include <gtest/gtest.h>

#include <string>

namespace mesh {
namespace {

using nlohmann::ordered_json;

const char kSquare[] =
    R"({"points": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]],)"
    R"( "segments": [[0,1,1,0],[1,2,1,0],[2,3,1,0],[3,0,1,0]], "target_size": 0.5})";

TEST(BatchLineTest, BlankLinesAreOnlySpacesTabsAndCarriageReturns) {
  EXPECT_TRUE(IsBlankBatchLine(""));
  EXPECT_TRUE(IsBlankBatchLine(" \t\r"));
  EXPECT_FALSE(IsBlankBatchLine(" x"));
  EXPECT_FALSE(IsBlankBatchLine(std::string(1, '\0')));
}

TEST(BatchLineTest, InvalidLinesNameTheFileLine) {
  MeshRequest request;
  ordered_json invalid;
  ASSERT_TRUE(ParseBatchRequestLine(kSquare, 7, &request, &invalid));
  EXPECT_EQ(request.points.size(), 4u);
  EXPECT_TRUE(invalid.is_null());

  ASSERT_FALSE(ParseBatchRequestLine(R"({"points": []})", 12, &request, &invalid));
  EXPECT_EQ(DumpBatchLine(invalid),
            R"({"line":12,"ok":false,"outcome":"invalid","error":"12:1: field 'segments': missing"})");
  EXPECT_EQ(request.points.size(), 4u);  // untouched

  // Bytes that are not UTF-8, quoted back by the parser's message, must not
  // make the line unwritable.
  ASSERT_FALSE(ParseBatchRequestLine("{\"points\": \"\xff\xfe\"}", 3, &request, &invalid));
  const std::string line = DumpBatchLine(invalid);
  EXPECT_EQ(line.rfind(R"({"line":3,"ok":false,"outcome":"invalid","error":"3:)", 0), 0u) << line;
  EXPECT_EQ(ordered_json::parse(line)["outcome"], "invalid");
}

TEST(BatchLineTest, AnswerLinesCarryOutcomeDiagnosticsAndMesh) {
  WorkerAnswer refused;
  refused.outcome = CallOutcome::kRefused;
  refused.diagnostics = {"netgen: 1 message", "refused: target_size=-1"};
  EXPECT_EQ(DumpBatchLine(BatchAnswerLine(4, refused)),
            R"({"line":4,"ok":false,"outcome":"refused",)"
            R"("diagnostics":["netgen: 1 message","refused: target_size=-1"]})");

  WorkerAnswer lost;
  lost.outcome = CallOutcome::kTimedOut;
  lost.error = "no answer within 0.2 s";
  EXPECT_EQ(DumpBatchLine(BatchAnswerLine(9, lost)),
            R"({"line":9,"ok":false,"outcome":"timed_out","error":"no answer within 0.2 s"})");

  WorkerAnswer meshed;
  meshed.outcome = CallOutcome::kSuccess;
  meshed.mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  meshed.mesh.triangles = {{0, 1, 2}};
  meshed.mesh.triangle_domains = {1};
  const ordered_json line = BatchAnswerLine(1, meshed);
  std::string keys;
  for (const auto& field : line.items()) keys += field.key() + " ";
  EXPECT_EQ(keys.rfind("line ok outcome vertices ", 0), 0u) << keys;
  EXPECT_EQ(line["triangles"], ordered_json::parse("[[0,1,2]]"));
}

}  // namespace
}  // namespace mesh

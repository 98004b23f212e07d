// The quality a user reads off meshctl: the reproduction of a roof outline
// whose nearly straight corner used to come out as a collapsed quad, and
// `meshctl stats` over one answer and over a whole batch file.
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "protocol/worker_contract.h"
#include "testing/export_readers.h"

namespace mesh {
namespace {

using nlohmann::json;

ProcessOutput Meshctl(const std::vector<std::string>& args, const std::string& input = "") {
  TestProcessOptions options;
  options.unset_env = {"MESHCTL_WORKER", kHangTestVariable};
  return RunProgram(MESHCTL_PATH, args, input, options);
}

void ExpectExit(const ProcessOutput& out, int code) {
  EXPECT_TRUE(out.status.exited) << "signal " << out.status.signal;
  EXPECT_EQ(out.status.code, code) << out.err;
}

// A roof outline from a surveyed building: point 4 lies 6 mm off the line
// from point 3 to point 5, and the quad pass closed a quad across it.
const char kRoofWithStraightCorner[] =
    R"({"points": [[4424710.038, 5482775.788, 322.47], [4424710.07, 5482775.22, 322.47],)"
    R"( [4424711.01, 5482775.32, 322.47], [4424712.33, 5482775.62, 322.47],)"
    R"( [4424713.332, 5482775.962, 322.47], [4424715.0, 5482776.53, 322.47],)"
    R"( [4424715.42, 5482776.67, 322.47], [4424715.411, 5482777.063, 322.47],)"
    R"( [4424709.983, 5482776.778, 322.47]], "segments": [[0,1,1,0],[1,2,1,0],[2,3,1,0],)"
    R"([3,4,1,0],[4,5,1,0],[5,6,1,0],[6,7,1,0],[7,8,1,0],[8,0,1,0]], "target_size": 0.5})";

const char kUnitSquare[] =
    R"({"points": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]], "segments": [[0,1,1,0],[1,2,1,0],)"
    R"([2,3,1,0],[3,0,1,0]], "target_size": 0.25})";

// Three sides of a square: refused as an open boundary.
const char kOpenSquare[] =
    R"({"points": [[0,0,0],[1,0,0],[1,1,0],[0,1,0]], "segments": [[0,1,1,0],[1,2,1,0],)"
    R"([2,3,1,0]], "target_size": 0.25})";

TEST(QualityStatsTest, StraightRoofCornerLeavesNoElementUnderPointThree) {
  ScratchDirectory dir;
  WriteFile(dir / "roof.json", kRoofWithStraightCorner);
  const ProcessOutput meshed = Meshctl({"mesh", dir / "roof.json", "-o", dir / "roof.out.json"});
  ExpectExit(meshed, kExitOk);
  EXPECT_NE(meshed.err.find("; 0 under 0.3 (worst: "), std::string::npos) << meshed.err;

  const ProcessOutput stats = Meshctl({"stats", "--json", dir / "roof.out.json"});
  ExpectExit(stats, kExitOk);
  const json measures = json::parse(stats.out);
  EXPECT_GE(measures["min_quality"].get<double>(), 0.3) << stats.out;
  EXPECT_LT(measures["max_angle"].get<double>(), 163.0) << stats.out;
  EXPECT_EQ(measures["poor"], 0);
  EXPECT_GT(measures["quads"].get<size_t>(), 0u);
}

TEST(QualityStatsTest, OneAnswerNamesItsWorstElement) {
  ScratchDirectory dir;
  WriteFile(dir / "square.json", kUnitSquare);
  ExpectExit(Meshctl({"mesh", dir / "square.json", "-o", dir / "a.json", "-q"}), kExitOk);
  const ProcessOutput text = Meshctl({"stats", dir / "a.json"});
  ExpectExit(text, kExitOk);
  EXPECT_NE(text.out.find("\n  all domains: 16 quads, 0 triangles; quality min 1.00, mean 1.00; "
                          "0 under 0.3 (worst: domain 1, quad "),
            std::string::npos)
      << text.out;
  const json measures = json::parse(Meshctl({"stats", "--json", dir / "a.json"}).out);
  EXPECT_EQ(measures["worst"]["domain"], 1);
  EXPECT_EQ(measures["worst"]["element"], "quad");
  EXPECT_FALSE(measures["worst"].contains("line"));
  EXPECT_EQ(measures["domains"][0]["poor"], 0);
}

TEST(QualityStatsTest, StatsSumsAWholeBatchFileAndCountsWhatDidNotMesh) {
  ScratchDirectory dir;
  WriteFile(dir / "requests.jsonl", std::string(kUnitSquare) + "\n" + kOpenSquare + "\n" +
                                        "{not json\n\n" + kRoofWithStraightCorner + "\n");
  ExpectExit(Meshctl({"batch", dir / "requests.jsonl", "-o", dir / "answers.jsonl"}),
             kExitNotMeshed);

  const ProcessOutput text = Meshctl({"stats", dir / "answers.jsonl"});
  ExpectExit(text, kExitOk);
  EXPECT_EQ(text.out.substr(0, text.out.find('\n')),
            dir / "answers.jsonl" + ": 4 lines: 2 meshed, 1 refused, 1 invalid");

  const ProcessOutput summed = Meshctl({"stats", "--json", dir / "answers.jsonl"});
  ExpectExit(summed, kExitOk);
  const json total = json::parse(summed.out);
  EXPECT_EQ(total["lines"], 4);
  EXPECT_EQ(total["outcomes"], json({{"meshed", 2}, {"refused", 1}, {"invalid", 1}}));
  EXPECT_EQ(total["answers"], 2);

  // The sum is the two meshed lines' own summaries added up, and the worst
  // element is the worse answer's, named with its line.
  const std::string answers = ReadFile(dir / "answers.jsonl");
  std::vector<json> lone;
  std::string refused_line;
  size_t start = 0;
  for (size_t end; (end = answers.find('\n', start)) != std::string::npos; start = end + 1) {
    const std::string line = answers.substr(start, end - start);
    if (json::parse(line)["outcome"] == "refused") refused_line = line;
    if (!json::parse(line)["ok"].get<bool>()) continue;
    const ProcessOutput one = Meshctl({"stats", "--json", "-"}, line);
    ExpectExit(one, kExitOk);
    lone.push_back(json::parse(one.out));
  }
  ASSERT_EQ(lone.size(), 2u);
  for (const char* count : {"vertices", "quads", "triangles", "poor"}) {
    EXPECT_EQ(total[count], lone[0][count].get<size_t>() + lone[1][count].get<size_t>()) << count;
  }
  const json& worse = lone[0]["min_quality"] < lone[1]["min_quality"] ? lone[0] : lone[1];
  EXPECT_EQ(total["min_quality"], worse["min_quality"]);
  EXPECT_EQ(total["worst"]["line"], worse["worst"]["line"]);
  EXPECT_EQ(total["worst"]["line"], 5);  // the roof's line in the request file
  EXPECT_EQ(total["worst"]["index"], worse["worst"]["index"]);
  for (size_t k = 0; k < 10; ++k) {
    EXPECT_EQ(total["quality_histogram"][k], lone[0]["quality_histogram"][k].get<size_t>() +
                                                 lone[1]["quality_histogram"][k].get<size_t>());
  }

  // Only refusals: nothing to measure, and still no error.
  ASSERT_FALSE(refused_line.empty());
  WriteFile(dir / "refused.jsonl", refused_line + "\n");
  const ProcessOutput none = Meshctl({"stats", "--json", dir / "refused.jsonl"});
  ExpectExit(none, kExitOk);
  EXPECT_EQ(json::parse(none.out)["outcomes"], json({{"meshed", 0}, {"refused", 1}}));
  EXPECT_TRUE(json::parse(none.out)["min_quality"].is_null());

  // A line that no batch wrote is bad input, named by its place.
  WriteFile(dir / "mixed.jsonl", answers + "[1, 2]\n");
  const ProcessOutput mixed = Meshctl({"stats", dir / "mixed.jsonl"});
  ExpectExit(mixed, kExitBadInput);
  EXPECT_NE(mixed.err.find("mixed.jsonl:5: not a line of `meshctl batch` output"),
            std::string::npos)
      << mixed.err;
}

}  // namespace
}  // namespace mesh

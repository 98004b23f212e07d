// meshctl as people run it: its exit codes, its messages, and its files
// read back by other programs.
#include <algorithm>
#include <cstddef>
#include <set>
#include <sstream>
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

TestProcessOptions Environment(std::vector<std::string> set = {}) {
  TestProcessOptions options;
  options.unset_env = {"MESHCTL_WORKER", kHangTestVariable};
  options.set_env = std::move(set);
  return options;
}

ProcessOutput Meshctl(const std::vector<std::string>& args, const std::string& input = "",
                      const TestProcessOptions& options = Environment()) {
  return RunProgram(MESHCTL_PATH, args, input, options);
}

void ExpectExit(const ProcessOutput& out, int code) {
  EXPECT_TRUE(out.status.exited) << "signal " << out.status.signal;
  EXPECT_EQ(out.status.code, code) << out.err;
}

size_t ElementCount(const json& answer) {
  return answer["quads"].size() + answer["triangles"].size();
}

TEST(MeshctlTest, BadRequestsNameTheFileFieldAndPosition) {
  ScratchDirectory dir;
  WriteFile(dir / "bad.json",
            "{\n  \"points\": [[0, 0, 0], [1, 0, 0], [1, 1, 0]],\n"
            "  \"segments\": [[0, 1, 1, 0], [1, 2, 1]],\n  \"target_size\": 0.5\n}\n");
  const ProcessOutput out = Meshctl({"mesh", dir / "bad.json", "-o", dir / "out.json"});
  ExpectExit(out, kExitBadInput);
  EXPECT_EQ(out.err, "meshctl: " + (dir / "bad.json") +
                         ":3:30: field 'segments[1]': expected [point_a, point_b, left_domain, "
                         "right_domain]\n");

  const ProcessOutput syntax = Meshctl({"encode", "-", "-o", dir / "frame"}, "{\"points\": [1,]}");
  ExpectExit(syntax, kExitBadInput);
  EXPECT_EQ(syntax.err.compare(0, 35, "meshctl: <stdin>:1:15: invalid JSON"), 0) << syntax.err;

  const ProcessOutput memory =
      Meshctl({"mesh", "examples/unit_square.json", "--max-memory", "lots"});
  ExpectExit(memory, kExitBadInput);
  EXPECT_EQ(memory.err,
            "meshctl: --max-memory: expected a size such as 2G, 512M or 0 (no limit), not "
            "'lots'\n");
  ExpectExit(Meshctl({"batch", "-", "-o", "-", "--max-memory", "2Q"}), kExitBadInput);

  ExpectExit(Meshctl({"mesh", dir / "missing.json"}), kExitBadInput);
  ExpectExit(Meshctl({"mesh"}), kExitBadInput);
  ExpectExit(Meshctl({"--help"}), kExitOk);
}

TEST(MeshctlTest, MeshWritesFilesThatOtherProgramsRead) {
  ScratchDirectory dir;
  const ProcessOutput out =
      Meshctl({"mesh", "examples/two_domains.json", "-o", dir / "a.json", "--svg", dir / "a.svg",
               "--vtu", dir / "a.vtu", "--msh", dir / "a.msh"});
  ExpectExit(out, kExitOk);
  EXPECT_NE(out.err.find("in 2 domains"), std::string::npos) << out.err;

  const json answer = json::parse(ReadFile(dir / "a.json"));
  ASSERT_GT(ElementCount(answer), 0u);
  const size_t vertices = answer["vertices"].size();
  const size_t elements = ElementCount(answer);

  size_t boundary_lines = 0;
  for (const json& chain : answer["segment_chains"]) boundary_lines += chain.size() - 1;

  for (const char* file : {"a.vtu", "a.msh"}) {
    const json read = ReadWithMeshio(dir / file);
    EXPECT_EQ(read["points"].size(), vertices) << file;
    std::set<int> domains, segments;
    size_t read_elements = 0, read_lines = 0;
    for (const json& element : read["elements"]) {
      const bool line = element[0] == "line";
      (line ? segments : domains).insert(element[1].get<int>());
      ++(line ? read_lines : read_elements);
    }
    EXPECT_EQ(read_elements, elements) << file;
    EXPECT_EQ(domains, (std::set<int>{1, 2})) << file;
    EXPECT_EQ(read_lines, boundary_lines) << file;
    EXPECT_EQ(segments, (std::set<int>{0, 1, 2, 3, 4, 5, 6})) << file;
  }
  EXPECT_EQ(ReadWithMeshio(dir / "a.msh")["segment_names"]["6"],
            "segment 6 (left domain 1, right domain 2)");
  const GmshCounts gmsh = CheckWithGmsh(dir / "a.msh");
  EXPECT_EQ(gmsh.nodes, static_cast<int>(vertices));
  EXPECT_EQ(gmsh.elements, static_cast<int>(elements + boundary_lines));

  const json svg = ReadSvg(dir / "a.svg");
  EXPECT_EQ(svg["domains"]["1"].get<size_t>() + svg["domains"]["2"].get<size_t>(), elements);
  EXPECT_EQ(svg["chains"], 7);
  EXPECT_EQ(svg["dots"], 6);
}

TEST(MeshctlTest, PolyFilesAreMeshedAsTheyAre) {
  ScratchDirectory dir;
  const ProcessOutput out = Meshctl({"mesh", "examples/bracket.poly", "--target-size", "0.4",
                                     "-o", dir / "bracket.json"});
  ExpectExit(out, kExitOk);
  const json answer = json::parse(ReadFile(dir / "bracket.json"));
  EXPECT_EQ(answer["point_vertex"].size(), 15u);
  EXPECT_EQ(answer["segment_chains"].size(), 15u);
  std::set<int> domains;
  for (const char* key : {"quad_domains", "triangle_domains"}) {
    for (const json& d : answer[key]) domains.insert(d.get<int>());
  }
  EXPECT_EQ(domains, (std::set<int>{1, 2}));

  WriteFile(dir / "crossed.poly", "4 2 0 0\n0 0 0\n1 1 1\n2 1 0\n3 0 1\n2 0\n0 0 1\n1 2 3\n0\n");
  const ProcessOutput crossed = Meshctl({"mesh", dir / "crossed.poly"});
  ExpectExit(crossed, kExitBadInput);
  EXPECT_NE(crossed.err.find("crossed.poly:7: segment 0 (line 7) and segment 1 (line 8) cross"),
            std::string::npos)
      << crossed.err;
}

TEST(MeshctlTest, RefusalsAndWorkerFailuresHaveTheirOwnExitCodes) {
  ScratchDirectory dir;
  WriteFile(dir / "flat.json",
            R"({"points": [[0,0,0],[1,0,0],[2,0,0]], "segments": [[0,1,1,0],[1,2,1,0],[2,0,1,0]],
                "target_size": 0.5})");
  const ProcessOutput refused = Meshctl({"mesh", dir / "flat.json", "-o", dir / "out.json"});
  ExpectExit(refused, kExitNotMeshed);
  EXPECT_NE(refused.err.find("refused: [meshing] BuildPlanarMesh: "), std::string::npos)
      << refused.err;
  EXPECT_TRUE(ReadFile(dir / "out.json").empty());

  const ProcessOutput hung =
      Meshctl({"mesh", "examples/unit_square.json", "--timeout", "0.3", "--worker", FAKE_WORKER_PATH},
              "", Environment({"FAKE_WORKER_MODE=silent"}));
  ExpectExit(hung, kExitWorkerFailed);
  EXPECT_NE(hung.err.find("timed out"), std::string::npos) << hung.err;

  const ProcessOutput nowhere = Meshctl({"mesh", "examples/unit_square.json"}, "",
                                        Environment({"MESHCTL_WORKER=/nonexistent/worker"}));
  ExpectExit(nowhere, kExitBadInput);
  EXPECT_EQ(nowhere.err,
            "meshctl: MESHCTL_WORKER names /nonexistent/worker, which is not an executable\n");
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

TEST(MeshctlTest, TheReasonIsTheLastLineAfterTheEndOfTheWorkersOutput) {
  const std::vector<std::string> args = {"mesh", "examples/unit_square.json", "--timeout", "1.5",
                                         "--worker", FAKE_WORKER_PATH};
  const TestProcessOptions chatter = Environment({"FAKE_WORKER_MODE=mesher-chatter"});
  const ProcessOutput hung = Meshctl(args, "", chatter);
  ExpectExit(hung, kExitWorkerFailed);
  const std::vector<std::string> lines = Lines(hung.err);
  ASSERT_EQ(lines.size(), 7u) << hung.err;
  EXPECT_EQ(lines[0], "  (15 earlier lines of the worker's output; --verbose shows them)");
  EXPECT_EQ(lines[1], "   faces = 10 trials = 16000 elements = 1600 els/sec = 1000");
  EXPECT_EQ(lines[5], "   faces = 10 trials = 20000 elements = 2000 els/sec = 1000");
  const std::string reason = "meshctl: examples/unit_square.json: timed out: no answer within 1500 ms";
  EXPECT_EQ(lines[6].rfind(reason, 0), 0u) << lines[6];

  std::vector<std::string> verbose_args = args;
  verbose_args.push_back("--verbose");
  const ProcessOutput verbose = Meshctl(verbose_args, "", chatter);
  ExpectExit(verbose, kExitWorkerFailed);
  const std::vector<std::string> all = Lines(verbose.err);
  ASSERT_EQ(all.size(), 21u) << verbose.err;
  EXPECT_EQ(all[0], "   faces = 10 trials = 1000 elements = 100 els/sec = 1000");
  EXPECT_EQ(all[20], lines[6]);

  // A refusal's reason, the worker's own last line, is not repeated above it.
  ScratchDirectory dir;
  WriteFile(dir / "flat.json",
            R"({"points": [[0,0,0],[1,0,0],[2,0,0]], "segments": [[0,1,1,0],[1,2,1,0],[2,0,1,0]],
                "target_size": 0.5})");
  const ProcessOutput refused = Meshctl({"mesh", dir / "flat.json", "--verbose"});
  ExpectExit(refused, kExitNotMeshed);
  const std::vector<std::string> refusal = Lines(refused.err);
  ASSERT_EQ(refusal.size(), 1u) << refused.err;
  EXPECT_NE(refusal[0].find("refused: [meshing] BuildPlanarMesh: "), std::string::npos);
}

TEST(MeshctlTest, EncodeAndDecodeRoundTripThroughTheWorker) {
  ScratchDirectory dir;
  ExpectExit(Meshctl({"encode", "examples/tilted_face.json", "-o", dir / "request.frame"}),
             kExitOk);
  const ProcessOutput requests = Meshctl({"decode", "--requests", dir / "request.frame"});
  ExpectExit(requests, kExitOk);
  const ProcessOutput shown = Meshctl({"request", "examples/tilted_face.json"});
  ExpectExit(shown, kExitOk);
  EXPECT_EQ(json::parse(requests.out), json::parse(shown.out));

  const ProcessOutput worker =
      RunProgram(MESH_WORKER_PATH, {}, ReadFile(dir / "request.frame") + ReadFile(dir / "request.frame"));
  ExpectExit(worker, kWorkerExitChannelClosed);
  const ProcessOutput answers = Meshctl({"decode", "-"}, worker.out);
  ExpectExit(answers, kExitOk);
  const size_t newline = answers.out.find('\n');
  ASSERT_NE(newline, std::string::npos);
  const json first = json::parse(answers.out.substr(0, newline));
  EXPECT_EQ(first["ok"], true);
  EXPECT_EQ(first["point_vertex"].size(), 8u);
  EXPECT_EQ(answers.out.substr(newline + 1), answers.out.substr(0, newline + 1));

  ExpectExit(Meshctl({"decode", "-"}, "MSH1"), kExitBadInput);
}

TEST(MeshctlTest, BatchAnswersInInputOrderAndSumsUp) {
  ScratchDirectory dir;
  const std::string square = ReadFile("examples/unit_square.json");
  json small = json::parse(square), large = json::parse(square), refused = json::parse(square);
  small["target_size"] = 0.5;
  large["target_size"] = 0.05;
  refused["target_size"] = -1;
  WriteFile(dir / "in.jsonl", large.dump() + "\n" + small.dump() + "\n\n" +
                                  "{\"points\": []}\n" + refused.dump() + "\n" + small.dump() + "\n");
  const ProcessOutput out =
      Meshctl({"batch", dir / "in.jsonl", "-o", dir / "out.jsonl", "--jobs", "2"});
  ExpectExit(out, kExitNotMeshed);
  EXPECT_NE(out.err.find("5 requests in "), std::string::npos) << out.err;
  EXPECT_NE(out.err.find(": 3 meshed, 1 refused, 0 timed out, 1 invalid\n"), std::string::npos)
      << out.err;
  EXPECT_EQ(out.err.find('\r'), std::string::npos);  // no progress bar off a terminal

  std::vector<json> lines;
  std::istringstream text(ReadFile(dir / "out.jsonl"));
  for (std::string line; std::getline(text, line);) lines.push_back(json::parse(line));
  ASSERT_EQ(lines.size(), 5u);
  const int expected_lines[] = {1, 2, 4, 5, 6};
  const char* expected_outcomes[] = {"meshed", "meshed", "invalid", "refused", "meshed"};
  for (size_t i = 0; i < 5; ++i) {
    EXPECT_EQ(lines[i]["line"], expected_lines[i]);
    EXPECT_EQ(lines[i]["outcome"], expected_outcomes[i]);
  }
  EXPECT_GT(ElementCount(lines[0]), ElementCount(lines[1]));
  EXPECT_EQ(lines[1]["vertices"], lines[4]["vertices"]);
  EXPECT_EQ(lines[2]["error"], "4:1: field 'segments': missing");
  EXPECT_NE(lines[3]["diagnostics"][0].get<std::string>().find("target_size=-1"),
            std::string::npos);

  // A request that never comes back costs only itself.
  WriteFile(dir / "two.jsonl", small.dump() + "\n" + small.dump() + "\n");
  const ProcessOutput stuck =
      Meshctl({"batch", dir / "two.jsonl", "-o", "-", "--timeout", "0.2", "--worker", FAKE_WORKER_PATH},
              "", Environment({"FAKE_WORKER_MODE=silent"}));
  ExpectExit(stuck, kExitNotMeshed);
  EXPECT_NE(stuck.err.find("0 meshed, 0 refused, 2 timed out"), std::string::npos) << stuck.err;
}

// The lines under the count line of `mesh`, and under the name line of
// `stats`: the per-domain quality summary.
std::string QualityLines(const std::string& summary) {
  const size_t first_line_end = summary.find('\n');
  return first_line_end == std::string::npos ? "" : summary.substr(first_line_end + 1);
}

TEST(MeshctlTest, StatsOnASavedAnswerRepeatsTheMeshSummary) {
  ScratchDirectory dir;
  const ProcessOutput meshed = Meshctl({"mesh", "examples/two_domains.json", "-o",
                                        dir / "a.json", "--svg", dir / "a.svg", "--svg-quality"});
  ExpectExit(meshed, kExitOk);
  const std::vector<std::string> lines = Lines(meshed.err);
  ASSERT_EQ(lines.size(), 6u) << meshed.err;
  EXPECT_EQ(lines[1].rfind("  domain 1: ", 0), 0u) << lines[1];
  EXPECT_EQ(lines[3].rfind("  domain 2: ", 0), 0u) << lines[3];
  EXPECT_EQ(lines[4].rfind("    quality by tenths, 0 to 1: ", 0), 0u) << lines[4];
  EXPECT_EQ(lines[5].rfind("  all domains: 369 quads, 11 triangles; ", 0), 0u) << lines[5];

  const ProcessOutput stats = Meshctl({"stats", dir / "a.json"});
  ExpectExit(stats, kExitOk);
  EXPECT_EQ(QualityLines(stats.out), QualityLines(meshed.err));
  EXPECT_EQ(Lines(stats.out)[0], dir / "a.json" + ": 413 vertices, 369 quads, 11 triangles in 2 domains")
      << stats.out;

  const json answer = json::parse(ReadFile(dir / "a.json"));
  const ProcessOutput as_json = Meshctl({"stats", "--json", "-"}, answer.dump());
  ExpectExit(as_json, kExitOk);
  const json measures = json::parse(as_json.out);
  ASSERT_EQ(measures["domains"].size(), 2u);
  size_t histogram_total = 0;
  for (const json& domain : measures["domains"]) {
    for (const json& count : domain["quality_histogram"]) histogram_total += count.get<size_t>();
    EXPECT_LE(domain["min_angle"].get<double>(), domain["max_angle"].get<double>());
    EXPECT_GE(domain["worst_aspect_ratio"].get<double>(), 1.0);
  }
  EXPECT_EQ(histogram_total, ElementCount(answer));
  EXPECT_EQ(measures["quads"], answer["quads"].size());

  // The quality picture: every element in one of the tenths' paths.
  const std::string svg = ReadFile(dir / "a.svg");
  size_t painted = 0;
  for (size_t at = svg.find("<path class=\"quality-"); at != std::string::npos;
       at = svg.find("<path class=\"quality-", at + 1)) {
    painted += static_cast<size_t>(
        std::count(svg.begin() + static_cast<std::ptrdiff_t>(at),
                   svg.begin() + static_cast<std::ptrdiff_t>(svg.find("/>", at)), 'Z'));
  }
  EXPECT_EQ(painted, ElementCount(answer));

  // A file that is not an answer is named with the place it goes wrong.
  WriteFile(dir / "request.json", ReadFile("examples/unit_square.json"));
  const ProcessOutput request = Meshctl({"stats", dir / "request.json"});
  ExpectExit(request, kExitBadInput);
  EXPECT_EQ(request.err, "meshctl: " + (dir / "request.json") + ":1:1: field 'vertices': missing\n");
  ExpectExit(Meshctl({"stats", dir / "missing.json"}), kExitBadInput);
  ExpectExit(Meshctl({"mesh", "examples/unit_square.json", "--svg-quality"}), kExitBadInput);
}

}  // namespace
}  // namespace mesh

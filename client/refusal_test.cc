// Refusals read back from the real worker's lines, one per kind of check, so
// that a change of wording in a stage shows up here as a lost reason key;
// and the reader's caution with lines that only look like refusals.
#include "client/refusal.h"

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "client/worker_process.h"
#include "protocol/refusals.h"
#include "testing/loops.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::UnitSquareRequest;

struct RefusalCase {
  const char* reason;
  bool degenerate;
  MeshRequest request;
};

std::vector<RefusalCase> RefusalCases() {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<RefusalCase> cases;
  auto add = [&](const char* reason, bool degenerate, MeshRequest request) {
    cases.push_back({reason, degenerate, std::move(request)});
  };
  MeshRequest r = UnitSquareRequest(0.25);
  r.options = 1u << 2;
  add("unknown_options", false, r);

  r = UnitSquareRequest(0.25);
  r.points.resize(2);
  r.segments.clear();
  add("bad_input", false, r);

  r = UnitSquareRequest(0.25);
  r.domain_target_sizes = {nan};
  add("domain_size_not_finite", false, r);

  r = UnitSquareRequest(0.25);
  r.points[2].y = nan;
  add("point_not_finite", false, r);

  r = UnitSquareRequest(0.25);
  r.plane_normal = {0, nan, 1};
  add("plane_normal_not_finite", false, r);

  r = UnitSquareRequest(0.25);
  r.segments[1].point_b = 9;
  add("segment_endpoint_out_of_range", false, r);

  add("short_segment", true, test::Loop({{0, 0}, {1, 0}, {1, 1}, {1e-12, 1}, {0, 1}}, 1, 0));

  r = UnitSquareRequest(0.25);
  r.interior_only = {17};
  add("interior_index_out_of_range", false, r);

  r = UnitSquareRequest(0.25);
  r.options = kKeepBoundary;
  add("segment_too_long_to_keep", false, r);

  add("zero_area", true, test::Loop({{0, 0}, {1, 0}, {2, 0}}, 1, 0));

  add("self_intersection", true,
      test::Loop({{0, 0}, {3, 0}, {3, 2}, {1, -1}, {0, 2}}, 1, 0));

  r = UnitSquareRequest(0.25);
  r.segments.pop_back();
  add("open_boundary", true, r);

  add("domain_outside_boundary", true, test::Loop(test::Square(0, 0, 1), 0, 1));

  // A hole drawn the same way round as its outline.
  r = test::Loop({{0, 0}, {4, 0}, {4, 2}, {0, 2}}, 1, 0);
  test::AddLoop(&r, {{1, 0.5}, {2, 0.5}, {2, 1.5}, {1, 1.5}}, 1, 0);
  r.target_size = 0.25;
  add("loop_turned_wrong_way", true, r);

  // Millimetres meant, metres sent.
  r = test::Loop({{0, 0}, {100, 0}, {100, 30}, {0, 30}}, 1, 0);
  r.target_size = 0.001;
  add("too_many_elements", false, r);
  return cases;
}

TEST(RefusalTest, EveryCheckOfTheRealWorkerIsNamed) {
  WorkerOptions options;
  options.worker_path = MESH_WORKER_PATH;
  WorkerProcess worker(options);
  for (const RefusalCase& c : RefusalCases()) {
    const WorkerAnswer answer = worker.Mesh(c.request, std::chrono::seconds(60));
    ASSERT_EQ(answer.outcome, CallOutcome::kRefused) << c.reason << ": " << answer.Describe();
    EXPECT_EQ(answer.refusal.stage, "BuildPlanarMesh") << c.reason;
    EXPECT_EQ(answer.refusal.reason, c.reason) << answer.refusal.line;
    EXPECT_EQ(answer.refusal.degenerate, c.degenerate) << answer.refusal.line;
    EXPECT_FALSE(answer.refusal.out_of_memory) << answer.refusal.line;
    ASSERT_FALSE(answer.diagnostics.empty()) << c.reason;
    EXPECT_EQ(answer.refusal.line, answer.diagnostics.back());
  }
  // Refusals cost nothing but the request.
  EXPECT_EQ(worker.starts(), 1);
}

// A row's format filled in the way printf fills it, with awkward sample
// values: a long text with the stage line's own separators in it, negative
// and exponent numbers.
std::string SampleWords(const char* format) {
  std::string words;
  for (const char* p = format; *p != '\0'; ++p) {
    if (*p != '%') {
      words.push_back(*p);
      continue;
    }
    ++p;
    while (*p == '.' || (*p >= '0' && *p <= '9')) ++p;
    if (*p == 'z') ++p;
    switch (*p) {
      case 'u':
        words += "12";
        break;
      case 'd':
        words += "-3";
        break;
      case 'g':
        words += "-1.5e-07";
        break;
      case 's':
        words += "a: b; returning empty (x) " + std::string(600, 'y');
        break;
      default:
        ADD_FAILURE() << "unknown conversion in " << format;
    }
  }
  return words;
}

// Each row of the worker's table, as the worker would write it, reads back
// as that row's key and stage: a row that an earlier row's wording would
// take, or a conversion the reader does not know, fails here.
TEST(RefusalTest, EveryRowOfTheTableReadsBackAsItsKey) {
  for (const RefusalRow& row : kRefusalTable) {
    const bool degenerate = row.ending == RefusalEnding::kDegenerate;
    const std::string line =
        StageLine(row.stage, SampleWords(row.format) + (degenerate ? kDegenerateEnding : "") +
                                 kRefusalLineEnd);
    const Refusal refusal = FindRefusal({line});
    EXPECT_EQ(refusal.reason, row.key) << line;
    EXPECT_EQ(refusal.stage, MeshingStageName(row.stage)) << line;
    EXPECT_EQ(refusal.degenerate, degenerate) << line;
    EXPECT_EQ(refusal.line, line);
  }
}

TEST(RefusalTest, ReadsOnlyLinesOfTheStagesShape) {
  // Netgen's chatter around a refusal, and the note a successful fallback
  // leaves, are no refusals; the last refusal line wins.
  const std::vector<std::string> lines = {
      "[meshing] BuildPlanarMesh: quad mesher failed; triangle-mesher fallback succeeded",
      "[meshing] ExtractToPlanarComplexMesh: Netgen returned 0 mesh nodes; returning empty",
      " Surface meshing done",
      "[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and triangle passes: "
      "std::bad_alloc; returning empty",
      "meshing BuildPlanarMesh: nothing; returning empty",
      "[meshing] not a stage: x; returning empty",
  };
  Refusal refusal = FindRefusal(lines);
  EXPECT_EQ(refusal.stage, "BuildPlanarMesh");
  EXPECT_EQ(refusal.reason, "mesher_threw");
  EXPECT_TRUE(refusal.out_of_memory);
  EXPECT_FALSE(refusal.degenerate);
  EXPECT_EQ(refusal.line, lines[3]);

  // A kept boundary the mesher gave up on, thrown or failed.
  EXPECT_EQ(FindRefusal({"[meshing] BuildPlanarMesh: GenerateMesh threw on both quad and "
                         "triangle passes with every boundary segment kept as one edge: meshing "
                         "failed; returning empty"})
                .reason,
            "kept_boundary_threw");
  EXPECT_EQ(FindRefusal({"[meshing] BuildPlanarMesh: GenerateMesh failed on both quad and "
                         "triangle passes with every boundary segment kept as one edge (rc=1); "
                         "returning empty"})
                .reason,
            "kept_boundary_failed");

  refusal = FindRefusal({lines[0], lines[1], lines[2]});
  EXPECT_EQ(refusal.stage, "ExtractToPlanarComplexMesh");
  EXPECT_EQ(refusal.reason, "no_mesh_nodes");
  EXPECT_FALSE(refusal.out_of_memory);

  // A check this client does not know yet: the stage and the line, no key.
  const std::string unknown =
      "[meshing] BuildPlanarMesh: a check from a newer worker (42) \xE2\x80\x94 refusing as "
      "degenerate; returning empty";
  refusal = FindRefusal({unknown});
  EXPECT_EQ(refusal.stage, "BuildPlanarMesh");
  EXPECT_EQ(refusal.reason, "");
  EXPECT_TRUE(refusal.degenerate);
  EXPECT_EQ(refusal.line, unknown);

  // A known check's wording under another stage's name is not trusted.
  refusal = FindRefusal(
      {"[meshing] ExtractToPlanarComplexMesh: bad input (points=2, target_size=1); returning "
       "empty"});
  EXPECT_EQ(refusal.reason, "");

  EXPECT_FALSE(FindRefusal({lines[0], lines[2], lines[4], lines[5]}).found());
  EXPECT_FALSE(FindRefusal({}).found());
  // A long line costs little, however it fails to match.
  EXPECT_EQ(FindRefusal({"[meshing] BuildPlanarMesh: boundary segment " +
                         std::string(100000, '(') + "; returning empty"})
                .reason,
            "");
}

}  // namespace
}  // namespace mesh

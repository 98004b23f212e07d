// Degenerate geometry through the worker binary, one request per worker
// with a 10 s deadline each: every case must end in an answer that holds
// every answer invariant, or in a failure frame with its diagnostic line.
// A hang, a crash or a wrong answer fails the case. The cases are the traps
// of planar meshing: near-collinear points, tiny edges, huge coordinates,
// boundaries that touch themselves, duplicates, interior points on the
// boundary, open and inside-out domains, odd domain numbers, and very many
// tiny segments.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <functional>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "extract/mesh_invariants.h"
#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/worker_contract.h"
#include "reliability/degenerate_cases.h"
#include "reliability/request_mix.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

using Case = DegenerateCase;
constexpr int kDeadlineMs = kDegenerateDeadlineMs;

struct Outcome {
  std::string kind;  // "answer", "refused" or what went wrong
  std::string detail;
  double seconds = 0;
  std::string frame;  // the answer as it came, header and payload
};

std::string LastLine(const std::string& text) {
  size_t end = text.size();
  while (end > 0 && text[end - 1] == '\n') --end;
  const size_t newline = end == 0 ? std::string::npos : text.rfind('\n', end - 1);
  const size_t start = newline == std::string::npos ? 0 : newline + 1;
  return text.substr(start, end - start);
}

// The diagnostic lines among everything the worker wrote to standard error.
std::string DiagnosticLines(const std::string& err) {
  std::string lines;
  size_t at = 0;
  while (at < err.size()) {
    size_t end = err.find('\n', at);
    if (end == std::string::npos) end = err.size();
    const std::string line = err.substr(at, end - at);
    if (line.rfind("[meshing] ", 0) == 0) lines += line + "\n";
    at = end + 1;
  }
  return lines;
}

Outcome RunCase(const MeshRequest& request, int deadline_ms) {
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  TestProcess worker;
  Outcome outcome;
  if (!worker.Start(MESH_WORKER_PATH, {}, options)) {
    outcome.kind = "no worker";
    return outcome;
  }
  const auto start = std::chrono::steady_clock::now();
  worker.WriteInput(EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request)));
  const std::string header = worker.ReadOutput(kFrameHeaderSize, deadline_ms);
  std::string payload;
  if (header.size() == kFrameHeaderSize) {
    const FrameHeader decoded = DecodeFrameHeader(reinterpret_cast<const unsigned char*>(header.data()));
    const int left = deadline_ms - static_cast<int>(std::chrono::duration<double, std::milli>(
                                                       std::chrono::steady_clock::now() - start)
                                                       .count());
    payload = worker.ReadOutput(static_cast<size_t>(decoded.payload_length), left > 0 ? left : 0);
    if (!decoded.magic_ok || payload.size() != decoded.payload_length) {
      outcome.kind = "broken answer";
    } else if (decoded.kind == kKindFailure) {
      outcome.kind = "refused";
    } else {
      outcome.kind = "answer";
    }
  }
  outcome.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (outcome.kind.empty()) {
    ExitStatus status;
    if (worker.Wait(0, &status) || worker.Wait(200, &status)) {
      outcome.kind = status.exited ? "exit " + std::to_string(status.code) + " without answer"
                                   : "killed by signal " + std::to_string(status.signal);
    } else {
      outcome.kind = "hang";
      worker.Kill();
    }
    outcome.detail = LastLine(worker.DrainError());
    return outcome;
  }
  outcome.frame = header + payload;
  worker.CloseInput();
  ExitStatus status;
  const bool ended = worker.Wait(10000, &status);
  const std::string err = worker.DrainError();
  if (!ended || !status.exited || status.code != 0) {
    outcome.kind += ", then no clean exit";
    if (!ended) worker.Kill();
  }
  if (outcome.kind == "refused") {
    outcome.detail = DiagnosticLines(err);
    const std::string reason = LastLine(outcome.detail);
    const std::string ending = "; returning empty";
    if (reason.size() < ending.size() ||
        reason.compare(reason.size() - ending.size(), ending.size(), ending) != 0) {
      outcome.kind = "refused without a diagnostic line";
    }
  } else if (outcome.kind == "answer") {
    PlanarComplexMesh answer;
    if (!DecodePlanarComplexMesh(payload.data(), payload.size(), &answer)) {
      outcome.kind = "undecodable answer";
    } else {
      const std::vector<std::string> problems = CheckMeshInvariants(request, answer);
      for (const std::string& problem : problems) outcome.detail += problem + "\n";
      if (!problems.empty()) outcome.kind = "answer breaking invariants";
      char counts[128];
      snprintf(counts, sizeof counts, "%zu vertices, %zu quads, %zu triangles",
               answer.vertices.size(), answer.quads.size(), answer.triangles.size());
      if (problems.empty()) outcome.detail = counts;
    }
  }
  return outcome;
}

class DegenerateGeometryTest : public ::testing::TestWithParam<Case> {};

TEST_P(DegenerateGeometryTest, AnswersOrRefusesWithinTheDeadline) {
  const Outcome outcome = RunCase(GetParam().make(), GetParam().deadline_ms);
  // One line per case, for the table of outcomes.
  std::string detail = outcome.detail;
  while (!detail.empty() && detail.back() == '\n') detail.pop_back();
  printf("[ outcome  ] %-44s %-8s %6.2fs  %s\n", GetParam().name, outcome.kind.c_str(),
         outcome.seconds, detail.c_str());
  RecordProperty("outcome", outcome.kind);
  RecordProperty("seconds", std::to_string(outcome.seconds));
  EXPECT_TRUE(outcome.kind == "answer" || outcome.kind == "refused")
      << outcome.kind << "\n" << outcome.detail;
  EXPECT_LT(outcome.seconds * 1000, GetParam().deadline_ms);
}

// Whatever a degenerate request did to the mesher (an exception, a pass
// given up, a refused build), the next request in the same worker gets
// exactly the answer a fresh worker gives it.
TEST(DegenerateGeometrySequenceTest, OneWorkerAnswersEveryCaseAsFreshOnesDo) {
  std::string input;
  std::string expected;
  for (const Case& c : DegenerateCases()) {
    if (c.deadline_ms != kDeadlineMs) continue;  // the long ones are covered above
    const MeshRequest request = c.make();
    const Outcome fresh = RunCase(request, c.deadline_ms);
    ASSERT_FALSE(fresh.frame.empty()) << c.name << ": " << fresh.kind;
    input += EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request));
    expected += fresh.frame;
  }
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  const ProcessOutput run = RunProcess(MESH_WORKER_PATH, input, options, 120000);
  EXPECT_TRUE(run.status.exited && run.status.code == 0) << run.status.signal;
  EXPECT_EQ(run.out.size(), expected.size());
  EXPECT_TRUE(run.out == expected);
}

INSTANTIATE_TEST_SUITE_P(Cases, DegenerateGeometryTest, ::testing::ValuesIn(DegenerateCases()),
                         [](const ::testing::TestParamInfo<Case>& info) {
                           std::string name = info.param.name;
                           for (char& c : name) {
                             if (!isalnum(static_cast<unsigned char>(c))) c = '_';
                           }
                           return name;
                         });

}  // namespace
}  // namespace mesh

#include "cli/stats.h"

#include <algorithm>
#include <iostream>
#include <sstream>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/whole_file.h"
#include "formats/batch_line.h"
#include "formats/mesh_export.h"
#include "formats/mesh_json.h"
#include "formats/mesh_quality.h"

namespace mesh {

namespace {

// One answer, as before batch files were read: the count line and the
// per-domain lines. A batch line that meshed reads the same way, its worst
// element then named with its line.
std::string OneAnswerReport(const std::string& name, const PlanarComplexMesh& mesh, size_t line,
                            bool json) {
  if (json) return MeshStatsJson(mesh, line).dump() + "\n";
  return name + ": " + MeshSummary(mesh) + "\n" + FormatMeshQuality(MeasureMeshQuality(mesh));
}

size_t LineNumberOf(const nlohmann::json& line, size_t position) {
  const auto number = line.find("line");
  return number != line.end() && number->is_number_unsigned() ? number->get<size_t>() : position;
}

// A whole `meshctl batch` output file: every meshed line's measures summed,
// every other outcome counted. A line that is no batch answer at all is bad
// input, named by its place in the file.
int BatchReport(const std::string& name, const std::string& text, bool json_output,
                std::string* report) {
  QualityTotals totals;
  size_t lines = 0;
  std::vector<std::pair<std::string, size_t>> outcomes = {{"meshed", 0}};
  auto count = [&](const std::string& outcome) {
    for (auto& entry : outcomes) {
      if (entry.first == outcome) {
        ++entry.second;
        return;
      }
    }
    outcomes.emplace_back(outcome, 1);
  };
  std::istringstream in(text);
  std::string line_text;
  for (size_t position = 1; std::getline(in, line_text); ++position) {
    if (IsBlankBatchLine(line_text)) continue;
    const nlohmann::json line = nlohmann::json::parse(line_text, nullptr, false);
    const auto ok = line.is_object() ? line.find("ok") : line.end();
    if (!line.is_object() || ok == line.end() || !ok->is_boolean()) {
      std::cerr << "meshctl: " << name << ":" << position
                << ": not a line of `meshctl batch` output (an object with \"ok\")\n";
      return kExitBadInput;
    }
    ++lines;
    if (!ok->get<bool>()) {
      const auto outcome = line.find("outcome");
      count(outcome != line.end() && outcome->is_string() ? outcome->get<std::string>()
                                                          : "failed");
      continue;
    }
    PlanarComplexMesh mesh;
    JsonProblem problem;
    if (!ParsePlanarComplexMeshJson(line_text, &mesh, &problem)) {
      // The problem's own line is 1: the text parsed is this line alone.
      std::cerr << "meshctl: " << name << ":" << position << ":" << problem.position.column
                << ": " << problem.message << "\n";
      return kExitBadInput;
    }
    count("meshed");
    AddQualityTotals(
        TotalQuality(MeasureMeshQuality(mesh), mesh.vertices.size(), LineNumberOf(line, position)),
        &totals);
  }
  if (json_output) {
    nlohmann::ordered_json json = {{"lines", lines}};
    nlohmann::ordered_json by_outcome = nlohmann::ordered_json::object();
    for (const auto& [outcome, n] : outcomes) by_outcome[outcome] = n;
    json["outcomes"] = std::move(by_outcome);
    const nlohmann::ordered_json measures = QualityTotalsToJson(totals);
    for (const auto& [key, value] : measures.items()) json[key] = value;
    *report = json.dump() + "\n";
    return kExitOk;
  }
  *report = name + ": " + std::to_string(lines) + (lines == 1 ? " line: " : " lines: ");
  for (size_t i = 0; i < outcomes.size(); ++i) {
    std::string words = outcomes[i].first;
    std::replace(words.begin(), words.end(), '_', ' ');
    *report += (i > 0 ? ", " : "") + std::to_string(outcomes[i].second) + " " + words;
  }
  *report += "\n" + FormatQualityTotals(totals);
  return kExitOk;
}

}  // namespace

int RunStats(const StatsOptions& options) {
  const std::string name = options.input == "-" ? "<stdin>" : options.input;
  std::string text;
  if (!ReadWholeFile(options.input, &text)) {
    std::cerr << "meshctl: " << name << ": cannot be read\n";
    return kExitBadInput;
  }
  std::string report;
  // One JSON value that is an answer (or a meshed batch line) reads as
  // before; anything else must be batch output, one answer per line.
  const nlohmann::json whole = nlohmann::json::parse(text, nullptr, false);
  const bool batch_refusal = whole.is_object() && whole.contains("ok") && whole["ok"] == false;
  if (!whole.is_discarded() && !batch_refusal) {
    PlanarComplexMesh mesh;
    JsonProblem problem;
    if (!ParsePlanarComplexMeshJson(text, &mesh, &problem)) {
      std::cerr << "meshctl: " << name << ":" << problem.ToString() << "\n";
      return kExitBadInput;
    }
    const size_t line = whole.is_object() ? LineNumberOf(whole, 0) : 0;
    report = OneAnswerReport(name, mesh, line, options.json);
  } else {
    const int status = BatchReport(name, text, options.json, &report);
    if (status != kExitOk) return status;
  }
  if (WriteWholeFile(options.output, report)) return kExitOk;
  std::cerr << "meshctl: " << options.output << ": cannot be written\n";
  return kExitBadInput;
}

}  // namespace mesh

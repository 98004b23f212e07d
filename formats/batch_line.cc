#include "formats/batch_line.h"

#include <algorithm>
#include <utility>

#include "formats/mesh_json.h"

namespace mesh {

namespace {

using nlohmann::ordered_json;

// The machine-readable outcome names of the output lines: the client's
// names, with underscores for spaces.
std::string OutcomeToken(CallOutcome outcome) {
  std::string token = CallOutcomeName(outcome);
  std::replace(token.begin(), token.end(), ' ', '_');
  return token;
}

}  // namespace

bool IsBlankBatchLine(const std::string& text) {
  return text.find_first_not_of(" \t\r") == std::string::npos;
}

bool ParseBatchRequestLine(const std::string& text, size_t number, MeshRequest* request,
                           ordered_json* invalid) {
  JsonProblem problem;
  if (ParseMeshRequestJson(text, request, &problem)) return true;
  // The parser counts lines within the text; the file's own count is what
  // a reader can look up.
  problem.position.line += number - 1;
  *invalid = {{"line", number}, {"ok", false}, {"outcome", "invalid"},
              {"error", problem.ToString()}};
  return false;
}

ordered_json BatchAnswerLine(size_t number, const WorkerAnswer& answer) {
  ordered_json line = {{"line", number}, {"ok", answer.ok()},
                       {"outcome", OutcomeToken(answer.outcome)}};
  if (!answer.diagnostics.empty()) line["diagnostics"] = answer.diagnostics;
  if (!answer.error.empty()) line["error"] = answer.error;
  if (answer.ok()) {
    ordered_json fields = PlanarComplexMeshToJson(answer.mesh);
    for (auto& field : fields.items()) line[field.key()] = std::move(field.value());
  }
  return line;
}

std::string DumpBatchLine(const ordered_json& line) {
  // A parse error quotes the bytes it stopped at, which need not be UTF-8;
  // those are written as U+FFFD rather than failing the whole batch.
  return line.dump(-1, ' ', false, ordered_json::error_handler_t::replace);
}

}  // namespace mesh

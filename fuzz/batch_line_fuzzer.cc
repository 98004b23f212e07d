// Fuzzes `meshctl batch`'s input: the bytes are split into lines as the
// batch runner splits its file, and each line that is not blank is read as a
// request. Every line the batch would write for it, the "invalid" line of a
// refused one and an answer line quoting it back (a worker's diagnostics
// hold whatever bytes it was sent), must be one line of valid JSON that
// names the input line, so that a reader of the output can trust every line.
#include <cstddef>
#include <cstdint>
#include <sstream>
#include <string>

#include "formats/batch_line.h"
#include "formats/mesh_json.h"
#include "fuzz/fuzz_check.h"

namespace mesh {
namespace {

using nlohmann::ordered_json;

ordered_json ReadWrittenLine(const ordered_json& line, size_t number) {
  const std::string written = DumpBatchLine(line);
  FUZZ_CHECK(written.find('\n') == std::string::npos);
  ordered_json read;
  try {
    read = ordered_json::parse(written);
  } catch (const ordered_json::exception&) {
    std::fprintf(stderr, "written line does not read back: %s\n", written.c_str());
    FUZZ_CHECK(false);
  }
  FUZZ_CHECK(read["line"] == number);
  return read;
}

void ReadLine(const std::string& text, size_t number) {
  MeshRequest request;
  ordered_json invalid;
  if (ParseBatchRequestLine(text, number, &request, &invalid)) {
    FUZZ_CHECK(invalid.is_null());
    JsonProblem problem;
    MeshRequest again;
    FUZZ_CHECK(ParseMeshRequestJson(MeshRequestToJson(request).dump(), &again, &problem));
    FUZZ_CHECK(SameRequest(request, again));
  } else {
    const ordered_json read = ReadWrittenLine(invalid, number);
    FUZZ_CHECK(read["outcome"] == "invalid" && read["ok"] == false);
    const std::string error = read["error"].get<std::string>();
    // The line number in the error is the file's, not the line's own.
    FUZZ_CHECK(error.rfind(std::to_string(number) + ":", 0) == 0);
  }
  WorkerAnswer refused;
  refused.outcome = CallOutcome::kRefused;
  refused.diagnostics = {text};
  refused.error = text;
  const ordered_json read = ReadWrittenLine(BatchAnswerLine(number, refused), number);
  FUZZ_CHECK(read["ok"] == false && read["diagnostics"].size() == 1);
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
  std::string line;
  for (size_t number = 1; std::getline(in, line); ++number) {
    if (mesh::IsBlankBatchLine(line)) continue;
    mesh::ReadLine(line, number);
  }
  return 0;
}

// Fuzzes the CityJSON reader. Beyond not crashing, hanging or running out
// of memory: a refused file gives one line naming the file and leaves the
// result empty, and a read one is a model the mesher can take as it is:
// every vertex finite, every ring index and tag within its list.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/cityjson_reader.h"
#include "fuzz/fuzz_check.h"

namespace mesh {
namespace {

void CheckModel(const Model& model) {
  for (const Point3& v : model.vertices) {
    FUZZ_CHECK(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
  }
  auto check_ring = [&](const std::vector<int32_t>& ring) {
    for (int32_t index : ring) {
      FUZZ_CHECK(index >= 0 && static_cast<size_t>(index) < model.vertices.size());
    }
  };
  for (const ModelFace& face : model.faces) {
    check_ring(face.outer);
    for (const std::vector<int32_t>& hole : face.holes) check_ring(hole);
    FUZZ_CHECK(face.object >= -1 && face.object < static_cast<int32_t>(model.objects.size()));
    FUZZ_CHECK(face.semantic >= -1 &&
               face.semantic < static_cast<int32_t>(model.semantics.size()));
  }
}

void ReadOnce(const std::string& text, const std::string& lod) {
  ModelReadOptions options;
  options.lod = lod;
  ModelReadResult result;
  std::string error;
  if (ParseCityJson("fuzz.json", text, options, &result, &error)) {
    CheckModel(result.model);
    return;
  }
  FUZZ_CHECK(error.rfind("fuzz.json: ", 0) == 0);
  FUZZ_CHECK(error.find('\n') == std::string::npos);
  FUZZ_CHECK(result.model.vertices.empty() && result.model.faces.empty() &&
             result.model.objects.empty() && result.notes.empty());
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  mesh::ReadOnce(text, "");
  mesh::ReadOnce(text, "2");
  return 0;
}

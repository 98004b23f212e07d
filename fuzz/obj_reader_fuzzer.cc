// Fuzzes the OBJ reader: a refused file gives one line naming the file and
// its line and leaves the result empty; a read one has every index and tag
// within its list and every vertex finite.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/obj_reader.h"
#include "fuzz/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  const std::string text(reinterpret_cast<const char*>(data), size);
  ModelReadResult result;
  std::string error;
  if (!ParseObj("fuzz.obj", text, &result, &error)) {
    FUZZ_CHECK(error.rfind("fuzz.obj:", 0) == 0);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    FUZZ_CHECK(result.model.vertices.empty() && result.model.faces.empty());
    return 0;
  }
  const Model& model = result.model;
  for (const Point3& v : model.vertices) {
    FUZZ_CHECK(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z));
  }
  for (const ModelFace& face : model.faces) {
    for (int32_t index : face.outer) {
      FUZZ_CHECK(index >= 0 && static_cast<size_t>(index) < model.vertices.size());
    }
    FUZZ_CHECK(face.holes.empty());
    FUZZ_CHECK(face.object >= -1 && face.object < static_cast<int32_t>(model.objects.size()));
    FUZZ_CHECK(face.semantic >= -1 &&
               face.semantic < static_cast<int32_t>(model.semantics.size()));
  }
  return 0;
}

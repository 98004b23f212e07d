#include "protocol/refusals.h"

#include <stdarg.h>
#include <stdio.h>

namespace mesh {

namespace {

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  const int needed = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string big(static_cast<size_t>(needed) + 1, '\0');
  vsnprintf(&big[0], big.size(), format, args);
  big.resize(static_cast<size_t>(needed));
  return big;
}

}  // namespace

const char* MeshingStageName(MeshingStage stage) {
  switch (stage) {
    case MeshingStage::kBuildPlanarMesh:
      return "BuildPlanarMesh";
    case MeshingStage::kExtractToPlanarComplexMesh:
      return "ExtractToPlanarComplexMesh";
  }
  return "";
}

std::string StageLine(MeshingStage stage, const std::string& words) {
  return std::string(kStageLinePrefix) + MeshingStageName(stage) + ": " + words;
}

StageRefusal FormatRefusal(RefusalKey key, ...) {
  const RefusalRow& row = RefusalRowOf(key);
  va_list args;
  va_start(args, key);
  std::string words = FormatV(row.format, args);
  va_end(args);
  if (row.ending == RefusalEnding::kDegenerate) words += kDegenerateEnding;
  words += kRefusalLineEnd;
  return StageRefusal{key, row.stage, StageLine(row.stage, words)};
}

}  // namespace mesh

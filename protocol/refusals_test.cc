#include "protocol/refusals.h"

#include <cstring>
#include <string>

#include <gtest/gtest.h>

namespace mesh {
namespace {

using refusal_internal::FormatTakes;

// The compile-time check that keeps every Refuse call's values in step with
// its row's format.
static_assert(FormatTakes("bad input (points=%zu, target_size=%g)", "zg"));
static_assert(FormatTakes("about %.3g elements, 100%% of %s", "gs"));
static_assert(FormatTakes("no values", ""));
static_assert(!FormatTakes("bad input (points=%zu, target_size=%g)", "zd"));
static_assert(!FormatTakes("point %zu", "zg"));
static_assert(!FormatTakes("point %zu and %g", "z"));
static_assert(!FormatTakes("point %x", "d"));

// The stage's prefix, the row's words and its ending come out as one line,
// byte for byte as printf would write the whole line's format.
TEST(RefusalsTest, LinesHaveTheStagesShape) {
  const StageRefusal plain = Refuse<RefusalKey::kBadInput>(size_t{2}, 1.0);
  EXPECT_EQ(plain.key, RefusalKey::kBadInput);
  EXPECT_EQ(plain.stage, MeshingStage::kBuildPlanarMesh);
  EXPECT_EQ(plain.line,
            "[meshing] BuildPlanarMesh: bad input (points=2, target_size=1); returning empty");

  const StageRefusal degenerate =
      Refuse<RefusalKey::kShortSegment>(size_t{3}, int32_t{2}, int32_t{2}, 0.0, 1e-06);
  EXPECT_EQ(degenerate.line,
            "[meshing] BuildPlanarMesh: boundary segment 3 (points 2 and 2) is 0 m long, under "
            "the 1e-06 m snap tolerance \xE2\x80\x94 refusing as degenerate; returning empty");

  const StageRefusal too_large = Refuse<RefusalKey::kTooManyElements>(1.234e7, 3000.0, 0.001, 5e6);
  EXPECT_EQ(too_large.line,
            "[meshing] BuildPlanarMesh: request asks for about 1.23e+07 elements (3000 m\xC2\xB2 "
            "at target size 0.001 m), more than the limit of 5e+06 \xE2\x80\x94 refusing as too "
            "large; returning empty");

  const std::string long_text(2000, 'b');
  const StageRefusal extract = Refuse<RefusalKey::kSelfCheckFailed>(long_text.c_str());
  EXPECT_EQ(extract.stage, MeshingStage::kExtractToPlanarComplexMesh);
  EXPECT_EQ(extract.line, "[meshing] ExtractToPlanarComplexMesh: answer failed its own check: " +
                              long_text + "; returning empty");

  EXPECT_EQ(StageLine(MeshingStage::kBuildPlanarMesh, kTriangleFallbackNote),
            "[meshing] BuildPlanarMesh: quad mesher failed; triangle-mesher fallback succeeded");
}

// Keys are what callers branch on, so each names one row, and the table is
// indexed by them.
TEST(RefusalsTest, KeysAreDistinctAndIndexTheTable) {
  const size_t rows = sizeof kRefusalTable / sizeof kRefusalTable[0];
  for (size_t i = 0; i < rows; ++i) {
    EXPECT_EQ(static_cast<size_t>(kRefusalTable[i].id), i);
    for (size_t j = i + 1; j < rows; ++j) {
      EXPECT_STRNE(kRefusalTable[i].key, kRefusalTable[j].key);
      EXPECT_STRNE(kRefusalTable[i].format, kRefusalTable[j].format);
    }
  }
}

}  // namespace
}  // namespace mesh

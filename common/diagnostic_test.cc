#include "common/diagnostic.h"

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(DiagnosticTest, FormatsLikePrintfAndCapturesInnermost) {
  ScopedDiagnosticCapture outer;
  {
    ScopedDiagnosticCapture inner;
    EmitDiagnostic("[meshing] X: %zu at %g \xE2\x80\x94 d=%d", size_t{3}, 1e-14, -2);
    ASSERT_EQ(inner.lines().size(), 1u);
    EXPECT_EQ(inner.lines()[0], "[meshing] X: 3 at 1e-14 \xE2\x80\x94 d=-2");
  }
  EXPECT_TRUE(outer.lines().empty());
  const std::string long_text(2000, 'a');
  EmitDiagnostic("%s!", long_text.c_str());
  ASSERT_EQ(outer.lines().size(), 1u);
  EXPECT_EQ(outer.lines()[0], long_text + "!");
}

}  // namespace
}  // namespace mesh

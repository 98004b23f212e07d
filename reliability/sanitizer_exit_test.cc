// The sanitizer build's findings end a process with their own exit code:
// a leak at exit, a heap overflow and undefined behaviour each give
// MESH_SANITIZER_EXIT_CODE, never 0, 2, 3 or 134.
#include <string>

#include <gtest/gtest.h>

#include "testing/test_process.h"

namespace mesh {
namespace {

TEST(SanitizerExitTest, EveryFindingExitsWithTheSanitizerCode) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "only the sanitizer build reports findings";
#else
  for (const char* how : {"leak", "overflow", "undefined"}) {
    TestProcess probe;
    ASSERT_TRUE(probe.Start(SANITIZER_PROBE_PATH, {how}));
    const ProcessOutput result = probe.Communicate("", 30000);
    EXPECT_TRUE(result.status.exited) << how << ": signal " << result.status.signal;
    EXPECT_EQ(result.status.code, MESH_SANITIZER_EXIT_CODE) << how << "\n" << result.err;
    // ASan and LSan name themselves; UBSan reports a "runtime error".
    EXPECT_TRUE(result.err.find("Sanitizer") != std::string::npos ||
                result.err.find("runtime error") != std::string::npos)
        << how << "\n" << result.err;
  }
  // And a clean run still ends with 0.
  TestProcess probe;
  ASSERT_TRUE(probe.Start(SANITIZER_PROBE_PATH, {"nothing"}));
  EXPECT_EQ(probe.Communicate("", 30000).status.code, 0);
#endif
}

}  // namespace
}  // namespace mesh

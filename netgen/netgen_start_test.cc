#include "netgen/netgen_start.h"

#include <gtest/gtest.h>

#include <stdlib.h>

#include <iostream>
#include <sstream>

#include <meshing.hpp>

namespace mesh {
namespace {

// Runs in a fresh copy of this test binary, so that no other test has started
// the library yet.
TEST(NetgenStartTest, StartsOnFirstUseOnly) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        int code = 0;
        if (NetgenStartCount() != 0) code |= 1;
        EnsureNetgenStarted();
        if (NetgenStartCount() != 1) code |= 2;
        EnsureNetgenStarted();
        if (NetgenStartCount() != 1) code |= 4;
        exit(code);
      },
      testing::ExitedWithCode(0), "");
}

// The library's messages go to the process's standard streams (which the
// worker points at standard error), wherever they pointed before.
TEST(NetgenStartTest, PointsTheLibrarysMessagesAtTheStandardStreams) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::ostringstream elsewhere;
        netgen::mycout = &elsewhere;
        netgen::myerr = &elsewhere;
        EnsureNetgenStarted();
        exit(netgen::mycout == &std::cout && netgen::myerr == &std::cerr ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace mesh

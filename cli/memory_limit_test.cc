#include "cli/memory_limit.h"

#include <string>

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(MemoryLimitTest, SizesAsPeopleWriteThem) {
  struct Case {
    const char* text;
    uint64_t bytes;
  } cases[] = {{"0", 0},
               {"4096", 4096},
               {"512M", uint64_t{512} << 20},
               {"2G", uint64_t{2} << 30},
               {"2GiB", uint64_t{2} << 30},
               {"1.5g", uint64_t{3} << 29},
               {"1T", uint64_t{1} << 40},
               {"64KB", uint64_t{64} << 10}};
  for (const Case& c : cases) {
    uint64_t bytes = 1;
    std::string error;
    EXPECT_TRUE(ParseMemorySize(c.text, &bytes, &error)) << c.text << ": " << error;
    EXPECT_EQ(bytes, c.bytes) << c.text;
  }
  for (const char* bad : {"", "G", "-1G", "2X", "2Gb!", "nan", "inf", "1e30", " 2G"}) {
    uint64_t bytes = 0;
    std::string error;
    EXPECT_FALSE(ParseMemorySize(bad, &bytes, &error)) << bad;
    EXPECT_FALSE(error.empty()) << bad;
  }
}

TEST(MemoryLimitTest, DefaultSharesFourFifthsOfTheMachineAmongTheJobs) {
  const uint64_t machine = uint64_t{16} << 30;
  EXPECT_EQ(DefaultMemoryLimit(machine, 1), static_cast<uint64_t>(machine * 0.8));
  EXPECT_EQ(DefaultMemoryLimit(machine, 4), static_cast<uint64_t>(machine * 0.2));
  EXPECT_EQ(DefaultMemoryLimit(0, 4), 0u);
  EXPECT_GT(PhysicalMemoryBytes(), 0u);
  EXPECT_EQ(DescribeMemorySize(uint64_t{3} << 29), "1.5 GiB");
  EXPECT_EQ(DescribeMemorySize(0), "no limit");
}

}  // namespace
}  // namespace mesh

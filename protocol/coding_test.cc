#include "protocol/coding.h"

#include <cmath>
#include <limits>

#include <gtest/gtest.h>

namespace mesh {
namespace {

TEST(CodingTest, FixedWidthValuesAreLittleEndian) {
  std::string out;
  PutFixed32(&out, 0x04030201u);
  PutFixed64(&out, 0x0C0B0A0908070605ull);
  ASSERT_EQ(out.size(), 12u);
  for (int i = 0; i < 12; ++i) EXPECT_EQ(static_cast<unsigned char>(out[i]), i + 1);
  const auto* bytes = reinterpret_cast<const unsigned char*>(out.data());
  EXPECT_EQ(DecodeFixed32(bytes), 0x04030201u);
  EXPECT_EQ(DecodeFixed64(bytes + 4), 0x0C0B0A0908070605ull);
}

TEST(CodingTest, DoublesTravelBitForBit) {
  const double values[] = {-0.0,
                           std::numeric_limits<double>::denorm_min(),
                           -std::numeric_limits<double>::denorm_min(),
                           std::numeric_limits<double>::max(),
                           std::numeric_limits<double>::lowest(),
                           std::numeric_limits<double>::infinity(),
                           std::numeric_limits<double>::quiet_NaN()};
  for (double value : values) {
    std::string out;
    PutDouble(&out, value);
    ByteReader reader(out.data(), out.size());
    double back;
    ASSERT_TRUE(reader.GetDouble(&back));
    EXPECT_EQ(DoubleBits(back), DoubleBits(value));
  }
}

TEST(CodingTest, ReaderRefusesShortReadsAndOversizedCounts) {
  std::string out;
  PutFixed64(&out, 3);  // three 4-byte elements claimed, 8 bytes follow
  PutFixed64(&out, 0);
  ByteReader reader(out.data(), out.size());
  uint64_t count = 99;
  EXPECT_FALSE(reader.GetCount(4, &count));
  EXPECT_EQ(count, 99u);
  EXPECT_EQ(reader.remaining(), 16u);  // a failed read does not move the cursor

  ByteReader exact(out.data(), out.size());
  EXPECT_TRUE(exact.GetCount(8, &count) == false);  // 3 > 8 / 8
  std::string two;
  PutFixed64(&two, 2);
  PutFixed64(&two, 0);
  ByteReader fits(two.data(), two.size());
  ASSERT_TRUE(fits.GetCount(4, &count));
  EXPECT_EQ(count, 2u);

  uint32_t word;
  ByteReader tiny("abc", 3);
  EXPECT_FALSE(tiny.GetFixed32(&word));
}

}  // namespace
}  // namespace mesh

#include "protocol/mesh_request.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <gtest/gtest.h>

#include "protocol/coding.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

bool Decodes(const std::string& payload, MeshRequest* out) {
  return DecodeMeshRequest(payload.data(), payload.size(), out);
}

TEST(MeshRequestDecodeTest, SquareIs226BytesAndRoundTrips) {
  const std::string payload = EncodeMeshRequest(test::UnitSquareRequest(0.25));
  ASSERT_EQ(payload.size(), 226u);
  const auto* bytes = reinterpret_cast<const unsigned char*>(payload.data());
  EXPECT_EQ(bytes[0], 3);
  EXPECT_EQ(DecodeFixed64(bytes + 1), 4u);                      // points
  EXPECT_EQ(DecodeFixed64(bytes + 9 + 96), 4u);                 // segments
  EXPECT_EQ(DecodeFixed64(bytes + 9 + 96 + 8 + 64), 0u);        // interior-only
  EXPECT_EQ(DecodeFixed64(bytes + 9 + 96 + 8 + 64 + 16), 0u);   // domain sizes

  MeshRequest decoded;
  ASSERT_TRUE(Decodes(payload, &decoded));
  ASSERT_EQ(decoded.points.size(), 4u);
  EXPECT_EQ(decoded.points[2].x, 1.0);
  EXPECT_EQ(decoded.points[2].y, 1.0);
  ASSERT_EQ(decoded.segments.size(), 4u);
  EXPECT_EQ(decoded.segments[3].point_a, 3);
  EXPECT_EQ(decoded.segments[3].point_b, 0);
  EXPECT_EQ(decoded.segments[3].left_domain, 1);
  EXPECT_EQ(decoded.target_size, 0.25);
  EXPECT_TRUE(decoded.prefer_quads);
  EXPECT_EQ(EncodeMeshRequest(decoded), payload);
}

TEST(MeshRequestDecodeTest, EveryFieldSurvivesIncludingOddValues) {
  MeshRequest request;
  request.points = {{-0.0, std::numeric_limits<double>::quiet_NaN(),
                     std::numeric_limits<double>::denorm_min()}};
  request.segments = {{-1, 7, -2, 2147483647}};
  request.interior_only = {5, -3};
  request.target_size = 0.0;
  request.domain_target_sizes = {0.5, -1.0, std::numeric_limits<double>::infinity()};
  request.plane_normal = {0, 0, -1};
  request.prefer_quads = false;
  const std::string payload = EncodeMeshRequest(request);
  EXPECT_EQ(payload.size(), 66u + 24 + 16 + 8 + 24);
  MeshRequest decoded;
  ASSERT_TRUE(Decodes(payload, &decoded));
  EXPECT_EQ(EncodeMeshRequest(decoded), payload);
  EXPECT_TRUE(std::signbit(decoded.points[0].x));
  EXPECT_TRUE(std::isnan(decoded.points[0].y));
  EXPECT_EQ(decoded.segments[0].left_domain, -2);
  EXPECT_EQ(decoded.interior_only[1], -3);
  EXPECT_FALSE(decoded.prefer_quads);
  EXPECT_EQ(decoded.plane_normal.z, -1.0);
}

TEST(MeshRequestDecodeTest, ShortestPayloadIs66Bytes) {
  std::string payload = EncodeMeshRequest(MeshRequest());
  ASSERT_EQ(payload.size(), 66u);
  MeshRequest decoded;
  decoded.target_size = 9;
  ASSERT_TRUE(Decodes(payload, &decoded));
  EXPECT_TRUE(decoded.points.empty());
  EXPECT_EQ(decoded.target_size, 0.0);
}

TEST(MeshRequestDecodeTest, PreferQuadsByteIsZeroOrAnythingElse) {
  std::string payload = EncodeMeshRequest(MeshRequest());
  const size_t prefer_quads_offset = payload.size() - 25;
  MeshRequest decoded;
  payload[prefer_quads_offset] = 2;
  ASSERT_TRUE(Decodes(payload, &decoded));
  EXPECT_TRUE(decoded.prefer_quads);
  payload[prefer_quads_offset] = 0;
  ASSERT_TRUE(Decodes(payload, &decoded));
  EXPECT_FALSE(decoded.prefer_quads);
}

TEST(MeshRequestDecodeTest, MalformedPayloadsLeaveTheRecordUntouched) {
  const std::string good = EncodeMeshRequest(test::UnitSquareRequest(0.25));
  MeshRequest sentinel;
  sentinel.target_size = 42.0;
  sentinel.interior_only = {9};

  std::vector<std::string> bad = {
      std::string(),
      good + '\0',                            // one byte more
      good.substr(0, good.size() - 1),        // one byte less
      std::string(1, '\x02') + good.substr(1),  // version 2
      std::string(1, '\x04') + good.substr(1),  // version 4 without its options
      std::string(1, '\x05') + good.substr(1),  // version 5
  };
  for (size_t cut = 1; cut < good.size(); cut += 7) bad.push_back(good.substr(0, cut));
  for (const std::string& payload : bad) {
    MeshRequest record = sentinel;
    EXPECT_FALSE(Decodes(payload, &record)) << "length " << payload.size();
    EXPECT_EQ(record.target_size, 42.0);
    EXPECT_EQ(record.interior_only, std::vector<int32_t>{9});
    EXPECT_TRUE(record.points.empty());
  }
}

TEST(MeshRequestDecodeTest, OptionsMakeVersion4WithOneMoreFieldAtTheEnd) {
  MeshRequest plain = test::UnitSquareRequest(0.25);
  plain.interior_only = {1};
  plain.domain_target_sizes = {0.5};
  plain.plane_normal = {0, 0, 1};
  const std::string v3 = EncodeMeshRequest(plain);
  EXPECT_EQ(v3[0], 3);

  MeshRequest with_options = plain;
  with_options.options = kKeepBoundary | 0x80000000u;
  const std::string v4 = EncodeMeshRequest(with_options);
  ASSERT_EQ(v4.size(), v3.size() + 4);
  EXPECT_EQ(v4[0], 4);
  EXPECT_EQ(v4.substr(1, v3.size() - 1), v3.substr(1));
  EXPECT_EQ(DecodeFixed32(reinterpret_cast<const unsigned char*>(v4.data()) + v3.size()),
            0x80000001u);

  MeshRequest decoded;
  ASSERT_TRUE(Decodes(v4, &decoded));
  EXPECT_EQ(decoded.options, 0x80000001u);
  EXPECT_EQ(decoded.plane_normal.z, 1.0);
  EXPECT_EQ(decoded.interior_only, std::vector<int32_t>{1});
  EXPECT_EQ(EncodeMeshRequest(decoded), v4);

  // A version 3 payload decodes with no options, and version 4 with all
  // options clear is the same request.
  decoded.options = 7;
  ASSERT_TRUE(Decodes(v3, &decoded));
  EXPECT_EQ(decoded.options, 0u);
  std::string v4_without_options = v4;
  std::fill(v4_without_options.end() - 4, v4_without_options.end(), '\0');
  ASSERT_TRUE(Decodes(v4_without_options, &decoded));
  EXPECT_EQ(decoded.options, 0u);
  EXPECT_EQ(EncodeMeshRequest(decoded), v3);
}

TEST(MeshRequestDecodeTest, Version4WithTheOptionsMissingOrBytesAfterThemFails) {
  MeshRequest request = test::UnitSquareRequest(0.25);
  request.options = kKeepBoundary;
  const std::string v4 = EncodeMeshRequest(request);
  const std::string v3_body_as_v4 = '\x04' + EncodeMeshRequest(test::UnitSquareRequest(0.25)).substr(1);
  MeshRequest sentinel;
  sentinel.target_size = 42.0;
  for (const std::string& payload :
       {v4 + '\0', v4.substr(0, v4.size() - 1), v4.substr(0, v4.size() - 3), v3_body_as_v4,
        '\x03' + v4.substr(1)}) {
    MeshRequest record = sentinel;
    EXPECT_FALSE(Decodes(payload, &record)) << "length " << payload.size();
    EXPECT_EQ(record.target_size, 42.0);
    EXPECT_EQ(record.options, 0u);
  }
}

// Offsets of the four counts in the unit-square payload.
constexpr size_t kPointCount = 1, kSegmentCount = 9 + 96, kInteriorCount = 9 + 96 + 8 + 64,
                 kDomainSizeCount = kInteriorCount + 8 + 8;

TEST(MeshRequestDecodeTest, HugeCountsFailWithoutAllocating) {
  const std::string good = EncodeMeshRequest(test::UnitSquareRequest(0.25));
  for (size_t offset : {kPointCount, kSegmentCount, kInteriorCount, kDomainSizeCount}) {
    std::string payload = good;
    EncodeFixed64(reinterpret_cast<unsigned char*>(&payload[offset]),
                  0xFFFFFFFFFFFFFFFFull);
    MeshRequest record;
    // A resize to 2^64 elements would throw or abort; failing cleanly shows
    // the count was judged against the bytes left before anything was reserved.
    EXPECT_FALSE(Decodes(payload, &record)) << "count at " << offset;
  }
}

TEST(MeshRequestDecodeTest, PointCountIsCheckedAgainstBytesAfterIt) {
  std::string one_point_short(1, '\x03');
  PutFixed64(&one_point_short, 1);
  one_point_short.append(23, '\0');
  MeshRequest record;
  EXPECT_FALSE(Decodes(one_point_short, &record));

  // As many points as the bytes could hold passes the count test but leaves
  // nothing for the 57 bytes that must follow.
  std::string fits(1, '\x03');
  PutFixed64(&fits, 2);
  fits.append(48, '\0');
  EXPECT_FALSE(Decodes(fits, &record));
}

}  // namespace
}  // namespace mesh

#include "protocol/planar_complex_mesh.h"

#include <limits>

#include <gtest/gtest.h>

#include "protocol/coding.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::OneQuadMesh;

// Builds the expected bytes field by field, independently of the encoder.
class ExpectedBytes {
 public:
  ExpectedBytes& U8(uint8_t v) { bytes_.push_back(static_cast<char>(v)); return *this; }
  ExpectedBytes& U64(uint64_t v) {
    for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<char>(v >> (8 * i)));
    return *this;
  }
  ExpectedBytes& I32(int32_t v) {
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<char>(u >> (8 * i)));
    return *this;
  }
  ExpectedBytes& F64(double v) { return U64(DoubleBits(v)); }
  const std::string& str() const { return bytes_; }

 private:
  std::string bytes_;
};

TEST(PlanarComplexMeshEncodeTest, WorkedExampleByteForByte) {
  ExpectedBytes expected;
  expected.U8(3).U64(4);
  for (const Point3& v : OneQuadMesh().vertices) expected.F64(v.x).F64(v.y).F64(v.z);
  expected.U64(1).I32(0).I32(1).I32(2).I32(3);
  expected.U64(0);
  expected.U64(4).I32(0).I32(1).I32(2).I32(3);
  expected.U64(1).I32(1);
  expected.U64(0);
  expected.U64(4);
  expected.U64(2).I32(0).I32(1).U64(2).I32(1).I32(2);
  expected.U64(2).I32(2).I32(3).U64(2).I32(3).I32(0);

  const std::string payload = EncodePlanarComplexMesh(OneQuadMesh());
  ASSERT_EQ(payload.size(), 253u);
  EXPECT_EQ(payload, expected.str());
  EXPECT_EQ(EncodedPlanarComplexMeshSize(OneQuadMesh()), 253u);
}

TEST(PlanarComplexMeshEncodeTest, EmptyArraysAreTheirZeroCounts) {
  EXPECT_EQ(EncodePlanarComplexMesh(PlanarComplexMesh()),
            ExpectedBytes().U8(3).U64(0).U64(0).U64(0).U64(0).U64(0).U64(0).U64(0).str());

  PlanarComplexMesh triangles_only;
  triangles_only.vertices = {{0, 0, 0}};
  triangles_only.triangles = {{0, 0, 0}};
  triangles_only.triangle_domains = {7};
  triangles_only.segment_chains = {{0}};
  ExpectedBytes expected;
  expected.U8(3).U64(1).F64(0).F64(0).F64(0);
  expected.U64(0);                          // no quads, triangles follow at once
  expected.U64(1).I32(0).I32(0).I32(0);
  expected.U64(0);                          // point_vertex
  expected.U64(0);                          // quad_domains: its count alone
  expected.U64(1).I32(7);
  expected.U64(1).U64(1).I32(0);            // a one-entry chain
  EXPECT_EQ(EncodePlanarComplexMesh(triangles_only), expected.str());
}

TEST(PlanarComplexMeshEncodeTest, CoordinatesAreCopiedBitForBit) {
  PlanarComplexMesh mesh;
  mesh.vertices = {{-0.0, std::numeric_limits<double>::denorm_min(),
                    std::numeric_limits<double>::max()},
                   {std::numeric_limits<double>::lowest(), -1e-310, 1.0 / 3.0}};
  const std::string payload = EncodePlanarComplexMesh(mesh);
  for (size_t k = 0; k < 6; ++k) {
    const Point3& v = mesh.vertices[k / 3];
    const double expected = k % 3 == 0 ? v.x : k % 3 == 1 ? v.y : v.z;
    EXPECT_EQ(DecodeFixed64(reinterpret_cast<const unsigned char*>(payload.data()) + 9 + 8 * k),
              DoubleBits(expected));
  }
}

TEST(PlanarComplexMeshDecodeTest, RoundTripsAndRejectsEveryTruncation) {
  PlanarComplexMesh mesh = OneQuadMesh();
  mesh.triangles = {{0, 1, 2}};
  mesh.triangle_domains = {-4};
  const std::string payload = EncodePlanarComplexMesh(mesh);
  PlanarComplexMesh decoded;
  ASSERT_TRUE(DecodePlanarComplexMesh(payload.data(), payload.size(), &decoded));
  EXPECT_EQ(EncodePlanarComplexMesh(decoded), payload);
  EXPECT_EQ(decoded.segment_chains[3], (std::vector<int32_t>{3, 0}));

  for (size_t cut = 0; cut < payload.size(); ++cut) {
    PlanarComplexMesh untouched;
    EXPECT_FALSE(DecodePlanarComplexMesh(payload.data(), cut, &untouched)) << cut;
    EXPECT_TRUE(untouched.vertices.empty());
  }
  const std::string longer = payload + '\0';
  EXPECT_FALSE(DecodePlanarComplexMesh(longer.data(), longer.size(), &decoded));
}

TEST(PlanarComplexMeshDecodeTest, DomainCountsMustMatchElementCounts) {
  PlanarComplexMesh mesh = OneQuadMesh();
  mesh.quad_domains = {1, 1};
  const std::string payload = EncodePlanarComplexMesh(mesh);
  PlanarComplexMesh decoded;
  EXPECT_FALSE(DecodePlanarComplexMesh(payload.data(), payload.size(), &decoded));
}

}  // namespace
}  // namespace mesh

// Fuzzes the request payload decoder. Beyond not crashing: a rejected payload
// leaves the caller's record untouched, and an accepted one is exactly what
// the encoder writes for the decoded record, so decode and encode are each
// other's inverse (the prefer_quads byte aside, which any non-zero value
// sets and the encoder writes as 1, and a version 4 payload with no option
// set, which it writes as version 3).
#include <cstddef>
#include <cstdint>
#include <limits>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/mesh_request.h"

namespace mesh {
namespace {

// A record that no payload decodes to, so any write into it shows.
MeshRequest Sentinel() {
  MeshRequest request;
  request.points = {{1, 2, 3}};
  request.segments = {{-7, -7, -7, -7}};
  request.interior_only = {-9};
  request.target_size = -1.5;
  request.domain_target_sizes = {std::numeric_limits<double>::infinity()};
  request.plane_normal = {4, 5, 6};
  request.prefer_quads = false;
  request.options = 0xDEAD;
  return request;
}

// Where the prefer_quads byte sits: it is followed only by the normal.
constexpr size_t kPreferQuadsFromEnd = 1 + 24;

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  const MeshRequest sentinel = Sentinel();
  MeshRequest request = sentinel;
  if (!DecodeMeshRequest(data, size, &request)) {
    FUZZ_CHECK(SameRequest(request, sentinel));
    return 0;
  }

  // Version 4 is version 3 with the options after the normal.
  const size_t options_width = data[0] == kMeshRequestWithOptionsVersion ? 4 : 0;
  FUZZ_CHECK(options_width != 0 || request.options == 0);
  FUZZ_CHECK(size == 66 + options_width + 24 * request.points.size() +
                         16 * request.segments.size() + 4 * request.interior_only.size() +
                         8 * request.domain_target_sizes.size());
  std::string expected(reinterpret_cast<const char*>(data), size);
  char& prefer_quads = expected[size - options_width - kPreferQuadsFromEnd];
  FUZZ_CHECK(request.prefer_quads == (prefer_quads != 0));
  prefer_quads = request.prefer_quads ? 1 : 0;
  // With every option clear the encoder writes the same request as
  // version 3.
  if (options_width != 0 && request.options == 0) {
    expected.resize(size - options_width);
    expected[0] = static_cast<char>(kMeshRequestVersion);
  }
  const std::string encoded = EncodeMeshRequest(request);
  FUZZ_CHECK(encoded == expected);

  MeshRequest again;
  FUZZ_CHECK(DecodeMeshRequest(encoded.data(), encoded.size(), &again));
  FUZZ_CHECK(SameRequest(again, request));
  return 0;
}

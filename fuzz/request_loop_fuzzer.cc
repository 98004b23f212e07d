// Fuzzes the whole frame loop, fed from memory, against a model of the
// protocol: for any byte stream the loop must write exactly the answers the
// model predicts and end with the model's exit code. A second run cuts the
// response stream short at an input-chosen byte, as a parent that stops
// reading would, and the loop must then end with 0 after writing exactly
// that prefix.
//
// The worker's crash exit is not installed here, so a fault in the loop
// reaches the fuzzer as the crash it is.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/diagnostic.h"
#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "testing/memory_channel.h"
#include "worker/platform.h"
#include "worker/request_loop.h"

namespace mesh {
namespace {

int32_t Wrap(int32_t index, int32_t count) {
  const int32_t r = index % count;
  return r < 0 ? r + count : r;
}

// A stand-in for the meshing stages: a result that depends on every part of
// the request, so the model can tell whether the loop gave the job exactly
// what was sent, and a failure for some requests, as refused ones give.
PlanarComplexMesh FakeMeshJob(const MeshRequest& request) {
  PlanarComplexMesh mesh;
  if (request.points.empty() || !(request.target_size > 0)) return mesh;
  const int32_t n = static_cast<int32_t>(request.points.size());
  mesh.vertices = request.points;
  mesh.vertices.push_back(request.plane_normal);
  for (int32_t i = 0; i < n; ++i) mesh.point_vertex.push_back(i);
  for (const BoundarySegment& segment : request.segments) {
    const int32_t a = Wrap(segment.point_a, n);
    const int32_t b = Wrap(segment.point_b, n);
    mesh.segment_chains.push_back({a, n, b});
    if (request.prefer_quads) {
      mesh.quads.push_back({a, b, n, a});
      mesh.quad_domains.push_back(segment.left_domain);
    } else {
      mesh.triangles.push_back({a, b, n});
      mesh.triangle_domains.push_back(segment.right_domain);
    }
  }
  for (int32_t index : request.interior_only) {
    mesh.triangles.push_back({Wrap(index, n), n, 0});
    mesh.triangle_domains.push_back(index);
  }
  for (double size : request.domain_target_sizes) {
    mesh.vertices.push_back({size, request.target_size, 0});
  }
  return mesh;
}

struct Expected {
  std::string output;
  int exit_code = 0;
};

uint64_t LittleEndian(const uint8_t* bytes, int width) {
  uint64_t value = 0;
  for (int i = 0; i < width; ++i) value |= static_cast<uint64_t>(bytes[i]) << (8 * i);
  return value;
}

// The protocol as a parent understands it, written independently of the
// loop: header, magic, length limit, whole payload, then the kind.
Expected Model(const uint8_t* data, size_t size) {
  Expected expected;
  size_t pos = 0;
  for (;;) {
    if (size - pos < 16) return expected;
    const uint8_t* header = data + pos;
    pos += 16;
    const uint64_t kind = LittleEndian(header + 4, 4);
    const uint64_t length = LittleEndian(header + 8, 8);
    if (std::memcmp(header, "MSH1", 4) != 0 || length > 0x10000000) {
      expected.exit_code = 3;
      return expected;
    }
    if (size - pos < length) return expected;
    const uint8_t* payload = data + pos;
    pos += length;
    if (kind != 0) {
      expected.exit_code = 3;
      return expected;
    }
    MeshRequest request;
    PlanarComplexMesh result;
    if (DecodeMeshRequest(payload, length, &request)) result = FakeMeshJob(request);
    expected.output += result.vertices.empty()
                           ? EncodeFrame(kKindFailure, "")
                           : EncodeFrame(kKindSuccess, EncodePlanarComplexMesh(result));
  }
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const Expected expected = Model(data, size);

  // Collected rather than written: most fuzz inputs are malformed frames,
  // and each would put a line into the fuzzer's log.
  ScopedDiagnosticCapture capture;
  MemoryChannel channel(input);
  FUZZ_CHECK(RunRequestLoop(channel, false, FakeMeshJob) == expected.exit_code);
  FUZZ_CHECK(channel.output() == expected.output);
  FUZZ_CHECK(capture.lines().size() == (expected.exit_code == kWorkerExitMalformedFrame ? 1u : 0u));

  if (expected.output.empty()) return 0;
  uint64_t hash = 1469598103934665603u;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ data[i]) * 1099511628211u;
  const size_t limit = hash % expected.output.size();
  MemoryChannel cut(input);
  cut.FailWritesAfter(limit);
  FUZZ_CHECK(RunRequestLoop(cut, false, FakeMeshJob) == kWorkerExitChannelClosed);
  FUZZ_CHECK(cut.output() == expected.output.substr(0, limit));
  return 0;
}

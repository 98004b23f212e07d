#include "worker/request_loop.h"

#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "common/diagnostic.h"
#include "protocol/frame.h"
#include "testing/frames.h"
#include "testing/memory_channel.h"
#include "testing/shapes.h"
#include "worker/platform.h"

namespace mesh {
namespace {

using test::kFailureFrame;
using test::OneQuadMesh;
using test::UnitSquareRequest;

// A mesh job that answers with OneQuadMesh and records what it was asked.
struct FakeJob {
  std::vector<MeshRequest> seen;
  bool succeed = true;
  MeshJob job() {
    return [this](const MeshRequest& request) {
      seen.push_back(request);
      return succeed ? OneQuadMesh() : PlanarComplexMesh();
    };
  }
};

std::string MeshFrame(const MeshRequest& request) {
  return EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request));
}

TEST(RequestLoopTest, SuccessFrameCarriesTheEncodedResult) {
  FakeJob fake;
  MemoryChannel channel(MeshFrame(UnitSquareRequest(1)));
  EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitChannelClosed);
  ASSERT_EQ(fake.seen.size(), 1u);
  EXPECT_EQ(fake.seen[0].points.size(), 4u);
  const std::string payload = EncodePlanarComplexMesh(OneQuadMesh());
  ASSERT_EQ(payload.size(), 253u);
  EXPECT_EQ(channel.output(), EncodeFrame(kKindSuccess, payload));
}

TEST(RequestLoopTest, FailuresCostOnlyTheirRequest) {
  FakeJob fake;
  std::string empty_payload = EncodeFrame(kKindMeshRequest, "");
  std::string malformed =
      EncodeFrame(kKindMeshRequest, EncodeMeshRequest(UnitSquareRequest(1)) + "x");
  MemoryChannel channel(empty_payload + malformed + MeshFrame(UnitSquareRequest(1)));
  EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitChannelClosed);
  EXPECT_EQ(fake.seen.size(), 1u);  // malformed payloads never reach the job
  EXPECT_EQ(channel.output(), kFailureFrame + kFailureFrame +
                                  EncodeFrame(kKindSuccess, EncodePlanarComplexMesh(OneQuadMesh())));

  FakeJob failing;
  failing.succeed = false;
  MemoryChannel second(MeshFrame(UnitSquareRequest(1)) + MeshFrame(UnitSquareRequest(1)));
  EXPECT_EQ(RunRequestLoop(second, false, failing.job()), kWorkerExitChannelClosed);
  EXPECT_EQ(second.output(), kFailureFrame + kFailureFrame);
}

TEST(RequestLoopTest, MalformedFramesEndTheLoopWithoutAnAnswer) {
  struct Case {
    const char* name;
    std::string input;
    int exit_code;
    // The one line on standard error; none when the input simply ended.
    std::string line;
  };
  std::string bad_magic = MeshFrame(UnitSquareRequest(1));
  bad_magic[3] = '2';
  std::string binary_magic = MeshFrame(UnitSquareRequest(1));
  binary_magic[0] = '\0';
  binary_magic[1] = '\xff';
  std::string too_long(16, '\0');
  EncodeFrameHeader(kKindMeshRequest, kMaxRequestPayload + 1,
                    reinterpret_cast<unsigned char*>(&too_long[0]));
  std::string far_too_long(16, '\0');
  EncodeFrameHeader(kKindMeshRequest, UINT64_MAX,
                    reinterpret_cast<unsigned char*>(&far_too_long[0]));
  const Case cases[] = {
      {"bad magic", bad_magic, kWorkerExitMalformedFrame,
       "[meshing] request loop: frame magic is 4D 53 48 32, not \"MSH1\" (4D 53 48 31); "
       "exiting with code 3"},
      {"magic of unprintable bytes", binary_magic, kWorkerExitMalformedFrame,
       "[meshing] request loop: frame magic is 00 FF 48 31, not \"MSH1\" (4D 53 48 31); "
       "exiting with code 3"},
      {"oversized payload, nothing after the header", too_long, kWorkerExitMalformedFrame,
       "[meshing] request loop: frame payload_length 268435457 is over the limit of "
       "268435456 bytes; exiting with code 3"},
      {"largest payload_length", far_too_long, kWorkerExitMalformedFrame,
       "[meshing] request loop: frame payload_length 18446744073709551615 is over the limit "
       "of 268435456 bytes; exiting with code 3"},
      {"unknown kind", EncodeFrame(2, std::string(100, 'z')), kWorkerExitMalformedFrame,
       "[meshing] request loop: frame kind 2 is not a request kind (0 mesh request, 1 hang "
       "test); exiting with code 3"},
      {"largest kind", EncodeFrame(UINT32_MAX, ""), kWorkerExitMalformedFrame,
       "[meshing] request loop: frame kind 4294967295 is not a request kind (0 mesh request, "
       "1 hang test); exiting with code 3"},
      {"unknown kind, input ends in its payload",
       EncodeFrame(2, std::string(100, 'z')).substr(0, 60), kWorkerExitChannelClosed, ""},
      {"hang test while disarmed", EncodeFrame(kKindHangTest, "abc"), kWorkerExitMalformedFrame,
       "[meshing] request loop: frame kind 1 (hang test) while the hang test is not armed "
       "(TALVEX_MESH_WORKER_ALLOW_HANG_TEST unset or empty); exiting with code 3"},
  };
  for (const Case& c : cases) {
    FakeJob fake;
    // A request after the bad frame must not be answered either.
    MemoryChannel channel(c.exit_code == kWorkerExitChannelClosed
                              ? c.input
                              : c.input + MeshFrame(UnitSquareRequest(1)));
    ScopedDiagnosticCapture capture;
    EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), c.exit_code) << c.name;
    EXPECT_TRUE(channel.output().empty()) << c.name;
    EXPECT_TRUE(fake.seen.empty()) << c.name;
    EXPECT_EQ(capture.lines(),
              c.line.empty() ? std::vector<std::string>() : std::vector<std::string>{c.line})
        << c.name;
  }
}

// The loop speaks only when a frame is malformed: answered requests, failed
// or not, and an input that ends leave standard error to the stages.
TEST(RequestLoopTest, WellFormedFramesAddNoLineOfTheLoop) {
  FakeJob fake;
  fake.succeed = false;
  MemoryChannel channel(MeshFrame(UnitSquareRequest(1)) + EncodeFrame(kKindMeshRequest, "") +
                        MeshFrame(UnitSquareRequest(1)).substr(0, 20));
  ScopedDiagnosticCapture capture;
  EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitChannelClosed);
  EXPECT_EQ(channel.output(), kFailureFrame + kFailureFrame);
  EXPECT_TRUE(capture.lines().empty());
}

TEST(RequestLoopTest, UnknownKindConsumesItsWholePayloadFirst) {
  FakeJob fake;
  MemoryChannel channel(EncodeFrame(7, std::string(100, 'z')) + "trailing");
  EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitMalformedFrame);
  EXPECT_EQ(channel.consumed(), 116u);
}

TEST(RequestLoopTest, InputEndingAnywhereIsACleanEnd) {
  const std::string frame = MeshFrame(UnitSquareRequest(1));
  for (size_t cut = 0; cut < frame.size(); ++cut) {
    FakeJob fake;
    MemoryChannel channel(frame.substr(0, cut));
    EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitChannelClosed) << cut;
    EXPECT_TRUE(channel.output().empty()) << cut;
  }
}

TEST(RequestLoopTest, FailedWriteEndsTheLoopWithZero) {
  FakeJob fake;
  MemoryChannel channel(MeshFrame(UnitSquareRequest(1)) + MeshFrame(UnitSquareRequest(1)));
  channel.FailWritesAfter(20);  // inside the first answer's payload
  EXPECT_EQ(RunRequestLoop(channel, false, fake.job()), kWorkerExitChannelClosed);
  EXPECT_EQ(fake.seen.size(), 1u);

  FakeJob failing;
  failing.succeed = false;
  MemoryChannel header_fails(MeshFrame(UnitSquareRequest(1)));
  header_fails.FailWritesAfter(0);
  EXPECT_EQ(RunRequestLoop(header_fails, false, failing.job()), kWorkerExitChannelClosed);
}

}  // namespace
}  // namespace mesh

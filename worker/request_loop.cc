#include "worker/request_loop.h"

#include <cinttypes>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

#include "common/diagnostic.h"
#include "protocol/frame.h"
#include "worker/platform.h"

namespace mesh {

namespace {

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};

// calloc rather than a zero-filled vector: the pages arrive zeroed from the
// kernel and are only touched as the payload is read into them, so a large
// payload is not written twice. A failed allocation throws, and that ends the
// worker through the crash exit rather than with a half-read frame.
std::unique_ptr<unsigned char, FreeDeleter> AllocatePayload(uint64_t length) {
  if (length == 0) return nullptr;
  void* buffer = std::calloc(static_cast<size_t>(length), 1);
  if (buffer == nullptr) throw std::bad_alloc();
  return std::unique_ptr<unsigned char, FreeDeleter>(static_cast<unsigned char*>(buffer));
}

[[noreturn]] void SpinForever() {
  // volatile, so the loop really runs and keeps a processor busy, as a hung
  // mesher would.
  volatile uint64_t counter = 0;
  for (;;) counter = counter + 1;
}

bool WriteFailureFrame(Channel& channel) {
  unsigned char header[kFrameHeaderSize];
  EncodeFrameHeader(kKindFailure, 0, header);
  return channel.WriteAll(header, sizeof header);
}

bool WriteSuccessFrame(Channel& channel, const std::string& payload) {
  unsigned char header[kFrameHeaderSize];
  EncodeFrameHeader(kKindSuccess, payload.size(), header);
  return channel.WriteAll(header, sizeof header) &&
         channel.WriteAll(payload.data(), payload.size());
}

// Answers one decoded-or-not mesh request. False when the answer could not
// be written.
bool AnswerMeshRequest(Channel& channel, const unsigned char* payload,
                       uint64_t length, const MeshJob& mesh_job) {
  MeshRequest request;
  if (!DecodeMeshRequest(payload, static_cast<size_t>(length), &request)) {
    return WriteFailureFrame(channel);
  }
  PlanarComplexMesh result = mesh_job(request);
  if (result.vertices.empty()) return WriteFailureFrame(channel);
  return WriteSuccessFrame(channel, EncodePlanarComplexMesh(result));
}

// Exit code 3 alone does not tell a parent's framing bug from stray bytes
// in the worker's input, so each way out names what was wrong, with the
// values read, in one line on standard error; the response stream stays
// untouched.
int EndOnBadMagic(const unsigned char header_bytes[kFrameHeaderSize]) {
  EmitDiagnostic("[meshing] request loop: frame magic is %02X %02X %02X %02X, not \"MSH1\" "
                 "(4D 53 48 31); exiting with code %d",
                 header_bytes[0], header_bytes[1], header_bytes[2], header_bytes[3],
                 kWorkerExitMalformedFrame);
  return kWorkerExitMalformedFrame;
}

int EndOnOversizedPayload(uint64_t payload_length) {
  EmitDiagnostic("[meshing] request loop: frame payload_length %" PRIu64 " is over the limit "
                 "of %" PRIu64 " bytes; exiting with code %d",
                 payload_length, kMaxRequestPayload, kWorkerExitMalformedFrame);
  return kWorkerExitMalformedFrame;
}

int EndOnUnexpectedKind(uint32_t kind) {
  if (kind == kKindHangTest) {
    EmitDiagnostic("[meshing] request loop: frame kind %" PRIu32 " (hang test) while the hang "
                   "test is not armed (%s unset or empty); exiting with code %d",
                   kind, kHangTestVariable, kWorkerExitMalformedFrame);
  } else {
    EmitDiagnostic("[meshing] request loop: frame kind %" PRIu32 " is not a request kind "
                   "(0 mesh request, 1 hang test); exiting with code %d",
                   kind, kWorkerExitMalformedFrame);
  }
  return kWorkerExitMalformedFrame;
}

}  // namespace

int RunRequestLoop(Channel& channel, bool hang_test_armed, const MeshJob& mesh_job) {
  for (;;) {
    unsigned char header_bytes[kFrameHeaderSize];
    if (!channel.ReadAll(header_bytes, sizeof header_bytes)) return kWorkerExitChannelClosed;
    const FrameHeader header = DecodeFrameHeader(header_bytes);
    if (!header.magic_ok) return EndOnBadMagic(header_bytes);
    if (header.payload_length > kMaxRequestPayload) {
      return EndOnOversizedPayload(header.payload_length);
    }

    auto payload = AllocatePayload(header.payload_length);
    if (!channel.ReadAll(payload.get(), static_cast<size_t>(header.payload_length))) {
      return kWorkerExitChannelClosed;
    }

    if (header.kind == kKindHangTest && hang_test_armed) SpinForever();
    if (header.kind != kKindMeshRequest) return EndOnUnexpectedKind(header.kind);

    if (!AnswerMeshRequest(channel, payload.get(), header.payload_length, mesh_job)) {
      return kWorkerExitChannelClosed;
    }
  }
}

}  // namespace mesh

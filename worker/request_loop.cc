#include "worker/request_loop.h"

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <string>

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

}  // namespace

int RunRequestLoop(Channel& channel, bool hang_test_armed, const MeshJob& mesh_job) {
  for (;;) {
    unsigned char header_bytes[kFrameHeaderSize];
    if (!channel.ReadAll(header_bytes, sizeof header_bytes)) return kExitChannelClosed;
    const FrameHeader header = DecodeFrameHeader(header_bytes);
    if (!header.magic_ok) return kExitMalformedFrame;
    if (header.payload_length > kMaxRequestPayload) return kExitMalformedFrame;

    auto payload = AllocatePayload(header.payload_length);
    if (!channel.ReadAll(payload.get(), static_cast<size_t>(header.payload_length))) {
      return kExitChannelClosed;
    }

    if (header.kind == kKindHangTest && hang_test_armed) SpinForever();
    if (header.kind != kKindMeshRequest) return kExitMalformedFrame;

    if (!AnswerMeshRequest(channel, payload.get(), header.payload_length, mesh_job)) {
      return kExitChannelClosed;
    }
  }
}

}  // namespace mesh

// The 16-byte frame header that precedes every request and every response:
// magic "MSH1", a uint32 kind and a uint64 payload length, little-endian.
#ifndef MESH_WORKER_PROTOCOL_FRAME_H_
#define MESH_WORKER_PROTOCOL_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <string>

namespace mesh {

constexpr size_t kFrameHeaderSize = 16;
constexpr char kFrameMagic[4] = {'M', 'S', 'H', '1'};
// The largest request payload accepted; it bounds the buffer the worker
// allocates before reading a single payload byte.
constexpr uint64_t kMaxRequestPayload = 0x10000000;

// Request kinds (parent to worker).
constexpr uint32_t kKindMeshRequest = 0;
constexpr uint32_t kKindHangTest = 1;
// Response kinds (worker to parent).
constexpr uint32_t kKindSuccess = 0;
constexpr uint32_t kKindFailure = 1;

struct FrameHeader {
  bool magic_ok = true;
  uint32_t kind = 0;
  uint64_t payload_length = 0;
};

void EncodeFrameHeader(uint32_t kind, uint64_t payload_length,
                       unsigned char out[kFrameHeaderSize]);

// Header bytes followed by `payload`, ready to write.
std::string EncodeFrame(uint32_t kind, const std::string& payload);

FrameHeader DecodeFrameHeader(const unsigned char in[kFrameHeaderSize]);

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_FRAME_H_

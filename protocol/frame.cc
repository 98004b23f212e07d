#include "protocol/frame.h"

#include <cstring>

#include "protocol/coding.h"

namespace mesh {

void EncodeFrameHeader(uint32_t kind, uint64_t payload_length,
                       unsigned char out[kFrameHeaderSize]) {
  std::memcpy(out, kFrameMagic, 4);
  EncodeFixed32(out + 4, kind);
  EncodeFixed64(out + 8, payload_length);
}

std::string EncodeFrame(uint32_t kind, const std::string& payload) {
  unsigned char header[kFrameHeaderSize];
  EncodeFrameHeader(kind, payload.size(), header);
  std::string frame(reinterpret_cast<const char*>(header), kFrameHeaderSize);
  frame += payload;
  return frame;
}

FrameHeader DecodeFrameHeader(const unsigned char in[kFrameHeaderSize]) {
  FrameHeader header;
  header.magic_ok = std::memcmp(in, kFrameMagic, 4) == 0;
  header.kind = DecodeFixed32(in + 4);
  header.payload_length = DecodeFixed64(in + 8);
  return header;
}

}  // namespace mesh

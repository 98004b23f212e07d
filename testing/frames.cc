#include "testing/frames.h"

#include <gtest/gtest.h>

#include "protocol/frame.h"

namespace mesh {
namespace test {

const std::string kFailureFrame("MSH1\x01\0\0\0\0\0\0\0\0\0\0\0", 16);

std::vector<Frame> SplitFrames(const std::string& stream) {
  std::vector<Frame> frames;
  size_t at = 0;
  while (at < stream.size()) {
    if (stream.size() - at < kFrameHeaderSize) {
      ADD_FAILURE() << "stray bytes after " << frames.size() << " frames: "
                    << stream.substr(at, 80);
      break;
    }
    const FrameHeader header =
        DecodeFrameHeader(reinterpret_cast<const unsigned char*>(stream.data() + at));
    if (!header.magic_ok || header.payload_length > stream.size() - at - kFrameHeaderSize) {
      ADD_FAILURE() << "not a frame at byte " << at << ": " << stream.substr(at, 80);
      break;
    }
    frames.push_back({header.kind, stream.substr(at + kFrameHeaderSize,
                                                 static_cast<size_t>(header.payload_length))});
    at += kFrameHeaderSize + static_cast<size_t>(header.payload_length);
  }
  return frames;
}

}  // namespace test
}  // namespace mesh

// The worker's response stream as tests read it: the frame it sends for
// every refused request, and the stream split back into its frames.
#ifndef MESH_WORKER_TESTING_FRAMES_H_
#define MESH_WORKER_TESTING_FRAMES_H_

#include <cstdint>
#include <string>
#include <vector>

namespace mesh {
namespace test {

// A failure frame: kind 1, no payload. The whole answer to a refused request.
extern const std::string kFailureFrame;

struct Frame {
  uint32_t kind = 0;
  std::string payload;
};

// Splits a response stream into its frames. Fails the test if anything but
// whole frames is on it (stray bytes, a bad magic, a frame longer than the
// stream): the mesher's own printing must go elsewhere. Returns the frames
// before the first fault.
std::vector<Frame> SplitFrames(const std::string& stream);

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_TESTING_FRAMES_H_

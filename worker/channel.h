// The byte channel the request loop reads requests from and writes answers
// to. The worker uses descriptors; tests and fuzzers use memory.
#ifndef MESH_WORKER_WORKER_CHANNEL_H_
#define MESH_WORKER_WORKER_CHANNEL_H_

#include <cstddef>

namespace mesh {

class Channel {
 public:
  virtual ~Channel() = default;
  // Both move exactly `length` bytes or return false (end of input, or a
  // failed transfer). A length of 0 moves nothing and succeeds.
  virtual bool ReadAll(void* data, size_t length) = 0;
  virtual bool WriteAll(const void* data, size_t length) = 0;
};

class FdChannel : public Channel {
 public:
  FdChannel(int request_fd, int response_fd)
      : request_fd_(request_fd), response_fd_(response_fd) {}
  bool ReadAll(void* data, size_t length) override;
  bool WriteAll(const void* data, size_t length) override;

 private:
  int request_fd_;
  int response_fd_;
};

}  // namespace mesh

#endif  // MESH_WORKER_WORKER_CHANNEL_H_

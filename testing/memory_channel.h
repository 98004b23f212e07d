// A Channel over memory, for driving the request loop without processes:
// tests and fuzzers feed it whole streams and read back what was answered.
#ifndef MESH_WORKER_TESTING_MEMORY_CHANNEL_H_
#define MESH_WORKER_TESTING_MEMORY_CHANNEL_H_

#include <cstddef>
#include <string>

#include "worker/channel.h"

namespace mesh {

class MemoryChannel : public Channel {
 public:
  explicit MemoryChannel(std::string input) : input_(std::move(input)) {}

  bool ReadAll(void* data, size_t length) override;
  bool WriteAll(const void* data, size_t length) override;

  // Fail every write after `bytes` bytes have been accepted, as a parent
  // that stopped reading would.
  void FailWritesAfter(size_t bytes) { write_limit_ = bytes; }

  const std::string& output() const { return output_; }
  size_t consumed() const { return read_pos_; }

 private:
  std::string input_;
  size_t read_pos_ = 0;
  std::string output_;
  size_t write_limit_ = static_cast<size_t>(-1);
};

}  // namespace mesh

#endif  // MESH_WORKER_TESTING_MEMORY_CHANNEL_H_

#include "testing/memory_channel.h"

#include <cstring>

namespace mesh {

bool MemoryChannel::ReadAll(void* data, size_t length) {
  if (input_.size() - read_pos_ < length) {
    read_pos_ = input_.size();
    return false;
  }
  if (length > 0) std::memcpy(data, input_.data() + read_pos_, length);
  read_pos_ += length;
  return true;
}

bool MemoryChannel::WriteAll(const void* data, size_t length) {
  if (length > write_limit_ - output_.size()) {
    output_.append(static_cast<const char*>(data), write_limit_ - output_.size());
    return false;
  }
  output_.append(static_cast<const char*>(data), length);
  return true;
}

}  // namespace mesh

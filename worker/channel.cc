#include "worker/channel.h"

#include "worker/platform.h"

namespace mesh {

bool FdChannel::ReadAll(void* data, size_t length) {
  return mesh::ReadAll(request_fd_, data, length);
}

bool FdChannel::WriteAll(const void* data, size_t length) {
  return mesh::WriteAll(response_fd_, data, length);
}

}  // namespace mesh

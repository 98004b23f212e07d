#include "client/cancel_token.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <system_error>

namespace mesh {

CancelToken::CancelToken() {
  int ends[2];
  if (pipe2(ends, O_CLOEXEC | O_NONBLOCK) != 0) {
    throw std::system_error(errno, std::generic_category(), "cannot create a cancel pipe");
  }
  read_fd_ = ends[0];
  write_fd_ = ends[1];
}

CancelToken::~CancelToken() {
  close(read_fd_);
  close(write_fd_);
}

void CancelToken::Cancel() {
  // The flag is the truth; the byte only wakes a poll. One byte is enough,
  // so a full pipe (EAGAIN) after many cancels is no loss.
  cancelled_.store(true, std::memory_order_release);
  const char wake = 1;
  while (write(write_fd_, &wake, 1) < 0 && errno == EINTR) {
  }
}

void CancelToken::Reset() {
  // Drained before the flag is cleared: a Cancel() racing this leaves at
  // worst its byte behind, which a call takes as the cancel it is, never a
  // raised flag with nothing to wake the poll.
  char buffer[64];
  for (;;) {
    const ssize_t n = read(read_fd_, buffer, sizeof buffer);
    if (n > 0) continue;
    if (n < 0 && errno == EINTR) continue;
    break;
  }
  cancelled_.store(false, std::memory_order_release);
}

}  // namespace mesh

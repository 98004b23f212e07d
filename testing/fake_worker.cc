// A stand-in for mesh-worker that misbehaves on purpose, so that tests can
// drive the supervisor through cases the real worker never produces. The
// behaviour is chosen by FAKE_WORKER_MODE.
#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include <string>

#include "protocol/coding.h"
#include "protocol/frame.h"

namespace {

bool ReadExactly(void* data, size_t length) {
  size_t done = 0;
  while (done < length) {
    const ssize_t n = read(0, static_cast<char*>(data) + done, length - done);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

void WriteExactly(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) _exit(9);
    done += static_cast<size_t>(n);
  }
}

// Reads one frame; false at end of input.
bool ReadFrame(uint64_t* payload_length) {
  unsigned char header[mesh::kFrameHeaderSize];
  if (!ReadExactly(header, sizeof header)) return false;
  *payload_length = mesh::DecodeFrameHeader(header).payload_length;
  std::string payload(*payload_length, '\0');
  return ReadExactly(&payload[0], payload.size());
}

const std::string kFailure = mesh::EncodeFrame(mesh::kKindFailure, "");

std::string OpenDescriptors() {
  std::string list;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return "?";
  const int own = dirfd(dir);
  while (const dirent* entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || atoi(entry->d_name) == own) continue;
    list += std::string(list.empty() ? "" : " ") + entry->d_name;
  }
  closedir(dir);
  return list;
}

// What a child got from its parent besides its streams: blocked and ignored
// signals, and its address-space limit.
std::string Inheritance() {
  sigset_t blocked;
  sigprocmask(SIG_SETMASK, nullptr, &blocked);
  std::string blocked_list, ignored_list;
  for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
    if (sigismember(&blocked, signal_number) == 1) {
      blocked_list += " " + std::to_string(signal_number);
    }
    struct sigaction action;
    if (sigaction(signal_number, nullptr, &action) == 0 && action.sa_handler == SIG_IGN) {
      ignored_list += " " + std::to_string(signal_number);
    }
  }
  struct rlimit limit;
  getrlimit(RLIMIT_AS, &limit);
  auto words = [](rlim_t value) {
    return value == RLIM_INFINITY ? std::string("unlimited") : std::to_string(value);
  };
  return "fds: " + OpenDescriptors() + "\nblocked:" + blocked_list + "\nignored:" + ignored_list +
         "\naddress space: " + words(limit.rlim_cur) + " " + words(limit.rlim_max) + "\n";
}

}  // namespace

int main() {
  const char* mode_env = getenv("FAKE_WORKER_MODE");
  const std::string mode = mode_env ? mode_env : "";
  const std::string megabyte_of_chatter = std::string(1 << 20, 'c') + "\n";
  uint64_t length = 0;

  if (mode == "exit") return 7;
  if (mode == "chatty") {
    // Says a lot before it reads anything, so that a parent that writes a
    // big request without reading standard error would block for ever.
    WriteExactly(2, megabyte_of_chatter);
    while (ReadFrame(&length)) {
      WriteExactly(2, megabyte_of_chatter);
      WriteExactly(2, "read " + std::to_string(length) + " bytes\n");
      WriteExactly(1, kFailure);
    }
    return 0;
  }
  while (ReadFrame(&length)) {
    if (mode == "silent") {
      // Never answers, like a worker stuck in the mesher.
      for (;;) pause();
    } else if (mode == "mesher-chatter") {
      // Twenty lines of the mesher's progress, then stuck in it.
      for (int i = 1; i <= 20; ++i) {
        WriteExactly(2, " faces = 10 trials = " + std::to_string(1000 * i) +
                            " elements = " + std::to_string(100 * i) + " els/sec = 1000\n");
      }
      for (;;) pause();
    } else if (mode == "garbage") {
      WriteExactly(1, std::string(16, 'X'));
    } else if (mode == "descriptors") {
      WriteExactly(2, "fds: " + OpenDescriptors() + "\n");
      WriteExactly(1, kFailure);
    } else if (mode == "inheritance") {
      WriteExactly(2, Inheritance());
      WriteExactly(1, kFailure);
    } else if (mode == "crash") {
      // The real worker's crash exit, which says nothing of the cause.
      return 134;
    } else if (mode == "half-answer") {
      WriteExactly(2, "about to fail\n");
      WriteExactly(1, kFailure.substr(0, 7));
      return 5;
    } else if (mode == "bad-payload") {
      WriteExactly(1, mesh::EncodeFrame(mesh::kKindSuccess, "\x03truncated"));
    } else {
      WriteExactly(1, kFailure);
    }
  }
  return 0;
}

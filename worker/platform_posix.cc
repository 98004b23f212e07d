#include "worker/platform.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <unistd.h>

#include <exception>
#include <initializer_list>

namespace mesh {

namespace {

// A single transfer larger than this gains nothing and some kernels and
// filesystems refuse counts above 2 GiB.
constexpr size_t kMaxTransfer = size_t{1} << 30;

// Static, so that it exists before the stack can overflow: a handler for a
// stack overflow cannot run on the stack that overflowed.
alignas(16) char crash_signal_stack[64 * 1024];

void ExitOnCrashSignal(int) { _exit(kWorkerExitCrashed); }

[[noreturn]] void ExitOnUnhandledException() { _exit(kWorkerExitCrashed); }

bool DescriptorIsOpen(int fd) { return fcntl(fd, F_GETFD) != -1 || errno != EBADF; }

void InstallCrashExit() {
  // A parent waiting on a worker gains nothing from a core file, and writing
  // one for a large mesh takes long enough to look like a hang.
  struct rlimit core;
  if (getrlimit(RLIMIT_CORE, &core) == 0) {
    core.rlim_cur = 0;
    setrlimit(RLIMIT_CORE, &core);
  }

  std::set_terminate(ExitOnUnhandledException);

  stack_t alternate = {};
  alternate.ss_sp = crash_signal_stack;
  alternate.ss_size = sizeof crash_signal_stack;
  sigaltstack(&alternate, nullptr);

  struct sigaction action = {};
  action.sa_handler = ExitOnCrashSignal;
  action.sa_flags = SA_ONSTACK;
  sigemptyset(&action.sa_mask);
  for (int signal_number : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    sigaction(signal_number, &action, nullptr);
  }
}

}  // namespace

int SetUpWorkerProcess(WorkerStreams* streams) {
  // Look before anything can open a descriptor: a closed 0, 1 or 2 would be
  // handed out again by the next open or dup and silently take its place.
  const bool input_open = DescriptorIsOpen(0);
  const bool output_open = DescriptorIsOpen(1);
  const bool error_open = DescriptorIsOpen(2);

  InstallCrashExit();
  // A parent may hand down SIGPIPE at its default; a write to a parent that
  // stopped reading must fail with EPIPE and end the worker cleanly instead.
  signal(SIGPIPE, SIG_IGN);

  if (!input_open || !output_open) return kWorkerExitMissingDescriptor;

  if (!error_open) {
    int null_fd = open("/dev/null", O_WRONLY);
    if (null_fd >= 0 && null_fd != 2) {
      dup2(null_fd, 2);
      close(null_fd);
    }
  }

  streams->request_fd = 0;
  // At 3 or above, so the duplicate can never land on a standard number.
  streams->response_fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
  if (streams->response_fd < 0) return kWorkerExitMissingDescriptor;

  if (DescriptorIsOpen(2)) {
    dup2(2, 1);
  } else {
    // Neither standard error nor /dev/null: printing must still never reach
    // the response stream, so drop descriptor 1 altogether.
    close(1);
  }

  const char* hang_test = getenv(kHangTestVariable);
  streams->hang_test_armed = hang_test != nullptr && hang_test[0] != '\0';
  return 0;
}

bool ReadAll(int fd, void* data, size_t length) {
  char* cursor = static_cast<char*>(data);
  while (length > 0) {
    ssize_t n = read(fd, cursor, length < kMaxTransfer ? length : kMaxTransfer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    cursor += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

bool WriteAll(int fd, const void* data, size_t length) {
  const char* cursor = static_cast<const char*>(data);
  while (length > 0) {
    ssize_t n = write(fd, cursor, length < kMaxTransfer ? length : kMaxTransfer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    cursor += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

}  // namespace mesh

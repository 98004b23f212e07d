#include "testing/test_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

namespace mesh {

namespace {

int64_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

}  // namespace

TestProcess::~TestProcess() {
  if (child_.running()) {
    Kill();
    ExitStatus ignored;
    Wait(10000, &ignored);
  }
}

bool TestProcess::Start(const std::string& path, const std::vector<std::string>& args,
                        const TestProcessOptions& options) {
  ChildProcessOptions spawn = options;
  spawn.args = args;
  std::string error;
  if (!child_.Start(path, spawn, &error)) return false;
  fcntl(child_.error_fd(), F_SETFL, O_NONBLOCK);
  return true;
}

bool TestProcess::WriteInput(const std::string& bytes) {
  // Our own writes must fail with EPIPE, not kill the test binary.
  struct sigaction ignore = {}, previous;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    ssize_t n = write(child_.input_fd(), bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = false;
      break;
    }
    done += static_cast<size_t>(n);
  }
  sigaction(SIGPIPE, &previous, nullptr);
  return ok;
}

void TestProcess::CloseInput() { child_.CloseInput(); }
void TestProcess::CloseOutput() { child_.CloseOutput(); }

std::string TestProcess::ReadOutput(size_t count, int timeout_ms) {
  std::string out;
  const int64_t deadline = NowMs() + timeout_ms;
  while (out.size() < count && child_.output_fd() >= 0) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    struct pollfd p = {child_.output_fd(), POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[65536];
    ssize_t n = read(child_.output_fd(), buf, std::min(sizeof buf, count - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

bool TestProcess::Wait(int timeout_ms, ExitStatus* status) {
  if (!child_.running()) return false;
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    ChildExit exit;
    if (child_.Reap(&exit)) {
      status->exited = exit.exited;
      status->code = exit.code;
      status->signal = exit.signal;
      return true;
    }
    if (NowMs() >= deadline) return false;
    DrainError();  // keep a chatty child from blocking on a full pipe
    usleep(2000);
  }
}

void TestProcess::Kill() { child_.Kill(); }

std::string TestProcess::DrainError() {
  for (;;) {
    if (child_.error_fd() < 0) break;
    char buf[4096];
    ssize_t n = read(child_.error_fd(), buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) child_.CloseError();
      break;
    }
    err_.append(buf, static_cast<size_t>(n));
  }
  return err_;
}

ProcessOutput TestProcess::Communicate(const std::string& input, int timeout_ms) {
  ProcessOutput result;
  const int64_t deadline = NowMs() + timeout_ms;
  struct sigaction ignore = {}, previous;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGPIPE, &ignore, &previous);
  if (child_.input_fd() >= 0) fcntl(child_.input_fd(), F_SETFL, O_NONBLOCK);
  size_t written = 0;
  if (input.empty()) CloseInput();

  // Feed input and collect both outputs at once, so that neither side can
  // block the other on a full pipe.
  while ((child_.output_fd() >= 0 || child_.error_fd() >= 0) && NowMs() < deadline) {
    struct pollfd fds[3];
    int count = 0;
    if (child_.input_fd() >= 0) fds[count++] = {child_.input_fd(), POLLOUT, 0};
    if (child_.output_fd() >= 0) fds[count++] = {child_.output_fd(), POLLIN, 0};
    if (child_.error_fd() >= 0) fds[count++] = {child_.error_fd(), POLLIN, 0};
    if (poll(fds, count, 50) <= 0) continue;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == child_.input_fd()) {
        ssize_t n = write(child_.input_fd(), input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
          CloseInput();
        }
      } else {
        const bool is_output = fds[i].fd == child_.output_fd();
        std::string* sink = is_output ? &result.out : &err_;
        char buf[65536];
        ssize_t n = read(fds[i].fd, buf, sizeof buf);
        if (n > 0) {
          sink->append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          if (is_output) {
            child_.CloseOutput();
          } else {
            child_.CloseError();
          }
        }
      }
    }
  }
  sigaction(SIGPIPE, &previous, nullptr);
  CloseInput();
  if (!Wait(static_cast<int>(std::max<int64_t>(deadline - NowMs(), 0)), &result.status)) {
    Kill();
    Wait(10000, &result.status);
  }
  DrainError();
  result.err = err_;
  return result;
}

ProcessOutput RunProcess(const std::string& path, const std::string& input,
                         const TestProcessOptions& options, int timeout_ms) {
  TestProcess child;
  if (!child.Start(path, {}, options)) return ProcessOutput();
  return child.Communicate(input, timeout_ms);
}

}  // namespace mesh

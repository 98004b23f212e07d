#include "worker/test_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>

#include "common/child_environment.h"

namespace mesh {

namespace {

int64_t NowMs() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1000 + ts.tv_nsec / 1000000;
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

ExitStatus Decode(int raw) {
  ExitStatus status;
  if (WIFEXITED(raw)) {
    status.exited = true;
    status.code = WEXITSTATUS(raw);
  } else if (WIFSIGNALED(raw)) {
    status.signal = WTERMSIG(raw);
  }
  return status;
}

}  // namespace

TestProcess::~TestProcess() {
  if (pid_ > 0) {
    Kill();
    ExitStatus ignored;
    Wait(10000, &ignored);
  }
  CloseFd(&in_fd_);
  CloseFd(&out_fd_);
  CloseFd(&err_fd_);
}

bool TestProcess::Start(const std::string& path, const std::vector<std::string>& args,
                        const TestProcessOptions& options) {
  int in_pipe[2], out_pipe[2], err_pipe[2];
  if (pipe2(in_pipe, O_CLOEXEC) != 0) return false;
  if (pipe2(out_pipe, O_CLOEXEC) != 0) return false;
  if (pipe2(err_pipe, O_CLOEXEC) != 0) return false;

  std::vector<std::string> env = ChildEnvironment(options.unset_env, options.set_env);
  std::vector<char*> envp;
  for (std::string& e : env) envp.push_back(&e[0]);
  envp.push_back(nullptr);
  std::vector<std::string> argv_storage = {path};
  argv_storage.insert(argv_storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argv_storage) argv.push_back(&a[0]);
  argv.push_back(nullptr);

  pid_ = fork();
  if (pid_ < 0) return false;
  if (pid_ == 0) {
    signal(SIGPIPE, SIG_DFL);
    dup2(in_pipe[0], 0);
    dup2(out_pipe[1], 1);
    dup2(err_pipe[1], 2);
    if (options.close_stdin) close(0);
    if (options.close_stdout) close(1);
    if (options.close_stderr) close(2);
    execve(path.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  close(in_pipe[0]);
  close(out_pipe[1]);
  close(err_pipe[1]);
  in_fd_ = in_pipe[1];
  out_fd_ = out_pipe[0];
  err_fd_ = err_pipe[0];
  fcntl(err_fd_, F_SETFL, O_NONBLOCK);
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
    ssize_t n = write(in_fd_, bytes.data() + done, bytes.size() - done);
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

void TestProcess::CloseInput() { CloseFd(&in_fd_); }
void TestProcess::CloseOutput() { CloseFd(&out_fd_); }

std::string TestProcess::ReadOutput(size_t count, int timeout_ms) {
  std::string out;
  const int64_t deadline = NowMs() + timeout_ms;
  while (out.size() < count && out_fd_ >= 0) {
    const int64_t left = deadline - NowMs();
    if (left <= 0) break;
    struct pollfd p = {out_fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
    char buf[65536];
    ssize_t n = read(out_fd_, buf, std::min(sizeof buf, count - out.size()));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    out.append(buf, static_cast<size_t>(n));
  }
  return out;
}

bool TestProcess::Wait(int timeout_ms, ExitStatus* status) {
  if (pid_ <= 0) return false;
  const int64_t deadline = NowMs() + timeout_ms;
  for (;;) {
    int raw;
    pid_t r = waitpid(pid_, &raw, WNOHANG);
    if (r == pid_) {
      *status = Decode(raw);
      pid_ = -1;
      return true;
    }
    if (NowMs() >= deadline) return false;
    DrainError();  // keep a chatty child from blocking on a full pipe
    usleep(2000);
  }
}

bool TestProcess::Running() {
  if (pid_ <= 0) return false;
  return waitpid(pid_, nullptr, WNOHANG | WNOWAIT) == 0 && kill(pid_, 0) == 0;
}

void TestProcess::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
}

std::string TestProcess::DrainError() {
  for (;;) {
    if (err_fd_ < 0) break;
    char buf[4096];
    ssize_t n = read(err_fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) CloseFd(&err_fd_);
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
  if (in_fd_ >= 0) fcntl(in_fd_, F_SETFL, O_NONBLOCK);
  size_t written = 0;
  if (input.empty()) CloseInput();

  // Feed input and collect both outputs at once, so that neither side can
  // block the other on a full pipe.
  while ((out_fd_ >= 0 || err_fd_ >= 0) && NowMs() < deadline) {
    struct pollfd fds[3];
    int count = 0;
    if (in_fd_ >= 0) fds[count++] = {in_fd_, POLLOUT, 0};
    if (out_fd_ >= 0) fds[count++] = {out_fd_, POLLIN, 0};
    if (err_fd_ >= 0) fds[count++] = {err_fd_, POLLIN, 0};
    if (poll(fds, count, 50) <= 0) continue;
    for (int i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == in_fd_) {
        ssize_t n = write(in_fd_, input.data() + written, input.size() - written);
        if (n > 0) written += static_cast<size_t>(n);
        if ((n < 0 && errno != EAGAIN && errno != EINTR) || written == input.size()) {
          CloseInput();
        }
      } else {
        int* fd = fds[i].fd == out_fd_ ? &out_fd_ : &err_fd_;
        std::string* sink = fd == &out_fd_ ? &result.out : &err_;
        char buf[65536];
        ssize_t n = read(*fd, buf, sizeof buf);
        if (n > 0) {
          sink->append(buf, static_cast<size_t>(n));
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
          CloseFd(fd);
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

#include "client/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include "client/child_environment.h"

namespace mesh {

namespace {

// Descriptors 0 to 2 are the targets of the child's dup2 calls; a pipe end
// that happened to land there (because the parent runs with a standard
// stream closed) would be overwritten by an earlier dup2 before it is used.
bool MoveAboveStandardStreams(int* fd) {
  if (*fd > 2) return true;
  const int moved = fcntl(*fd, F_DUPFD_CLOEXEC, 3);
  if (moved < 0) return false;
  close(*fd);
  *fd = moved;
  return true;
}

void CloseFd(int* fd) {
  if (*fd >= 0) close(*fd);
  *fd = -1;
}

// NULL-terminated pointers into `strings`, which must outlive them.
std::vector<char*> PointersTo(std::vector<std::string>* strings) {
  std::vector<char*> pointers;
  for (std::string& s : *strings) pointers.push_back(&s[0]);
  pointers.push_back(nullptr);
  return pointers;
}

// The child's ends of its three pipes, to become its descriptors 0, 1, 2.
struct StandardStreams {
  int input;
  int output;
  int error;
};

// posix_spawn; "" when the child runs, else why not.
std::string Spawn(const std::string& path, char* const argv[], char* const envp[],
                  const StandardStreams& streams, const ChildProcessOptions& options,
                  pid_t* pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, streams.input, 0);
  posix_spawn_file_actions_adddup2(&actions, streams.output, 1);
  posix_spawn_file_actions_adddup2(&actions, streams.error, 2);
  if (options.close_stdin) posix_spawn_file_actions_addclose(&actions, 0);
  if (options.close_stdout) posix_spawn_file_actions_addclose(&actions, 1);
  if (options.close_stderr) posix_spawn_file_actions_addclose(&actions, 2);
  // Our own pipes are close-on-exec, but descriptors the rest of the parent
  // opened need not be; the child must inherit nothing but its three
  // streams, or it would keep other pipes open past their owners' close.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);

  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, all;
  sigemptyset(&none);
  sigfillset(&all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  const int spawn_error = posix_spawn(pid, path.c_str(), &actions, &attributes, argv, envp);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  return spawn_error == 0 ? "" : strerror(spawn_error);
}

// Every descriptor from `first` up, except `keep`. Between fork and exec, so
// only system calls: the parent may have other threads, one of them holding
// the allocator's lock.
void CloseDescriptorsFrom(int first, int keep) {
  if (close_range(first, keep - 1, 0) == 0 && close_range(keep + 1, ~0U, 0) == 0) return;
  // Kernels before 5.9 have no close_range.
  struct rlimit open_files;
  const int last = getrlimit(RLIMIT_NOFILE, &open_files) == 0 && open_files.rlim_cur < 65536
                       ? static_cast<int>(open_files.rlim_cur)
                       : 65536;
  for (int fd = first; fd < last; ++fd) {
    if (fd != keep) close(fd);
  }
}

// Why a forked child did not reach its exec: which step failed, and errno.
struct ExecFailure {
  int step;  // 0: the memory limit, 1: the exec itself
  int error;
};

// The child's side of ForkAndExec: what posix_spawn does above, then the
// limit, then the exec. Never returns; reports a failure on `report_fd`.
[[noreturn]] void BecomeChild(const char* path, char* const argv[], char* const envp[],
                              const StandardStreams& streams, const ChildProcessOptions& options,
                              int report_fd) {
  dup2(streams.input, 0);
  dup2(streams.output, 1);
  dup2(streams.error, 2);
  if (options.close_stdin) close(0);
  if (options.close_stdout) close(1);
  if (options.close_stderr) close(2);
  CloseDescriptorsFrom(3, report_fd);

  ExecFailure failure = {0, 0};
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0) limit.rlim_max = RLIM_INFINITY;
  // Hard as well as soft, so that nothing in the child can lift it; never
  // above a hard limit the parent already has.
  const rlim_t wanted = static_cast<rlim_t>(options.memory_limit_bytes);
  limit.rlim_cur = limit.rlim_max == RLIM_INFINITY || wanted < limit.rlim_max ? wanted
                                                                              : limit.rlim_max;
  limit.rlim_max = limit.rlim_cur;
  if (setrlimit(RLIMIT_AS, &limit) == 0) {
    struct sigaction default_action = {};
    default_action.sa_handler = SIG_DFL;
    for (int signal_number = 1; signal_number < NSIG; ++signal_number) {
      sigaction(signal_number, &default_action, nullptr);  // fails harmlessly on KILL, STOP
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    execve(path, argv, envp);
    failure.step = 1;
  }
  failure.error = errno;
  ssize_t ignored = write(report_fd, &failure, sizeof failure);
  (void)ignored;
  _exit(127);
}

// fork and exec, for the limits posix_spawn cannot set; "" when the child
// runs, else why not.
std::string ForkAndExec(const std::string& path, char* const argv[], char* const envp[],
                        const StandardStreams& streams, const ChildProcessOptions& options,
                        pid_t* pid) {
  // Close-on-exec, so that a successful exec shows here as the end of the
  // pipe, a failure as an ExecFailure on it.
  int report[2] = {-1, -1};
  if (pipe2(report, O_CLOEXEC) != 0) return std::string("cannot create a pipe: ") + strerror(errno);
  if (!MoveAboveStandardStreams(&report[0]) || !MoveAboveStandardStreams(&report[1])) {
    const std::string problem = std::string("cannot move a pipe descriptor: ") + strerror(errno);
    CloseFd(&report[0]);
    CloseFd(&report[1]);
    return problem;
  }
  // No handler of the parent's may run in the child before it has reset
  // them all; the child unblocks signals just before its exec.
  sigset_t all, previous;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &previous);
  const pid_t child = fork();
  if (child == 0) BecomeChild(path.c_str(), argv, envp, streams, options, report[1]);
  const int fork_error = errno;
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  CloseFd(&report[1]);
  if (child < 0) {
    CloseFd(&report[0]);
    return std::string("cannot fork: ") + strerror(fork_error);
  }

  ExecFailure failure;
  size_t got = 0;
  while (got < sizeof failure) {
    const ssize_t n = read(report[0], reinterpret_cast<char*>(&failure) + got, sizeof failure - got);
    if (n > 0) {
      got += static_cast<size_t>(n);
    } else if (n == 0 || errno != EINTR) {
      break;
    }
  }
  CloseFd(&report[0]);
  if (got == 0) {
    *pid = child;
    return "";
  }
  while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
  }
  if (got < sizeof failure) return "the child failed before its exec";
  if (failure.step == 0) {
    return "cannot limit its memory to " + std::to_string(options.memory_limit_bytes) +
           " bytes: " + strerror(failure.error);
  }
  return strerror(failure.error);
}

}  // namespace

ChildProcess::~ChildProcess() { CloseDescriptors(); }

bool ChildProcess::Start(const std::string& path, const ChildProcessOptions& options,
                         std::string* error) {
  int input[2] = {-1, -1}, output[2] = {-1, -1}, errors[2] = {-1, -1};
  auto close_all = [&] {
    for (int* fd : {&input[0], &input[1], &output[0], &output[1], &errors[0], &errors[1]}) {
      CloseFd(fd);
    }
  };
  if (pipe2(input, O_CLOEXEC) != 0 || pipe2(output, O_CLOEXEC) != 0 ||
      pipe2(errors, O_CLOEXEC) != 0) {
    *error = std::string("cannot create pipes: ") + strerror(errno);
    close_all();
    return false;
  }
  for (int* fd : {&input[0], &input[1], &output[0], &output[1], &errors[0], &errors[1]}) {
    if (!MoveAboveStandardStreams(fd)) {
      *error = std::string("cannot move a pipe descriptor: ") + strerror(errno);
      close_all();
      return false;
    }
  }

  std::vector<std::string> env = ChildEnvironment(options.unset_env, options.set_env);
  std::vector<char*> envp = PointersTo(&env);
  std::vector<std::string> arguments = {path};
  arguments.insert(arguments.end(), options.args.begin(), options.args.end());
  std::vector<char*> argv = PointersTo(&arguments);

  const StandardStreams streams = {input[0], output[1], errors[1]};
  pid_t pid = -1;
  const std::string spawn_error =
      options.memory_limit_bytes > 0
          ? ForkAndExec(path, argv.data(), envp.data(), streams, options, &pid)
          : Spawn(path, argv.data(), envp.data(), streams, options, &pid);
  CloseFd(&input[0]);
  CloseFd(&output[1]);
  CloseFd(&errors[1]);
  if (!spawn_error.empty()) {
    *error = "cannot start " + path + ": " + spawn_error;
    close_all();
    return false;
  }
  CloseDescriptors();
  pid_ = pid;
  input_fd_ = input[1];
  output_fd_ = output[0];
  error_fd_ = errors[0];
  return true;
}

void ChildProcess::CloseInput() { CloseFd(&input_fd_); }
void ChildProcess::CloseOutput() { CloseFd(&output_fd_); }
void ChildProcess::CloseError() { CloseFd(&error_fd_); }

void ChildProcess::CloseDescriptors() {
  CloseInput();
  CloseOutput();
  CloseError();
}

bool ChildProcess::Reap(ChildExit* exit) {
  *exit = ChildExit();
  if (pid_ <= 0) return true;
  int status = 0;
  pid_t r;
  while ((r = waitpid(pid_, &status, WNOHANG)) < 0 && errno == EINTR) {
  }
  if (r == 0) return false;
  // Any other failure means the status went to another waitpid: the child
  // is gone all the same.
  if (r == pid_) {
    exit->known = true;
    exit->exited = WIFEXITED(status);
    exit->code = exit->exited ? WEXITSTATUS(status) : -1;
    exit->signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  }
  pid_ = -1;
  return true;
}

void ChildProcess::Kill() {
  if (pid_ > 0) kill(pid_, SIGKILL);
}

}  // namespace mesh

#include "client/child_process.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/child_environment.h"

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

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, input[0], 0);
  posix_spawn_file_actions_adddup2(&actions, output[1], 1);
  posix_spawn_file_actions_adddup2(&actions, errors[1], 2);
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

  pid_t pid = -1;
  const int spawn_error =
      posix_spawn(&pid, path.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  CloseFd(&input[0]);
  CloseFd(&output[1]);
  CloseFd(&errors[1]);
  if (spawn_error != 0) {
    *error = "cannot start " + path + ": " + strerror(spawn_error);
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

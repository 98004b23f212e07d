// ChildProcess: a program started with pipes on its three standard streams.
// The one way this project starts a child: WorkerProcess runs its workers
// with it, and the tests' process runner is built on it, so a worker under
// test starts exactly as it does under the client. POSIX only.
//
// The child inherits nothing but its three streams and starts with no
// blocked signals and every signal at its default action, whatever the
// parent has set for itself (a thread blocking SIGCHLD, a process ignoring
// SIGPIPE): a worker must not behave differently under another parent. Our
// ends of the pipes are close-on-exec and blocking; each owner sets the
// modes its own reads and writes need.
//
// A child is started with posix_spawn, which shares the parent's memory
// until the exec instead of copying its page tables (a parent may be a CAD
// program of many gigabytes). posix_spawn cannot set resource limits, so a
// child with a memory limit is started with fork and exec instead, doing in
// between the same as posix_spawn does plus the limit.
#ifndef MESH_WORKER_CLIENT_CHILD_PROCESS_H_
#define MESH_WORKER_CLIENT_CHILD_PROCESS_H_

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace mesh {

struct ChildProcessOptions {
  // Arguments after the program's own name.
  std::vector<std::string> args;
  // "NAME=value" entries added to, or replacing entries of, the inherited
  // environment; and names removed from it (client/child_environment.h).
  std::vector<std::string> set_env;
  std::vector<std::string> unset_env;
  // Start the child with this standard descriptor closed, to see how it
  // copes with a parent that left one closed.
  bool close_stdin = false;
  bool close_stdout = false;
  bool close_stderr = false;
  // The child's address space in bytes (RLIMIT_AS, soft and hard), set
  // before the exec; 0 leaves the parent's limit in place.
  uint64_t memory_limit_bytes = 0;
};

// How a reaped child ended: `exited` with `code`, or killed by `signal`.
struct ChildExit {
  bool known = false;  // false: another waitpid in this process collected it
  bool exited = false;
  int code = -1;
  int signal = 0;
};

class ChildProcess {
 public:
  ChildProcess() = default;
  // Closes our ends of the pipes. A child still running is left alone: only
  // its owner knows whether it should be waited for or killed.
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Runs `path` as given (no PATH search) while no child is running. False,
  // with the reason in `*error`, when it cannot be started.
  bool Start(const std::string& path, const ChildProcessOptions& options, std::string* error);

  // Our ends of the child's standard streams; -1 once closed.
  int input_fd() const { return input_fd_; }
  int output_fd() const { return output_fd_; }
  int error_fd() const { return error_fd_; }
  void CloseInput();
  void CloseOutput();
  void CloseError();
  void CloseDescriptors();

  // False while the child runs. Once it has ended, reaps it and says how in
  // `*exit`; running() is false from then on. Never blocks.
  bool Reap(ChildExit* exit);
  // SIGKILL, which the child can neither catch nor ignore.
  void Kill();

  bool running() const { return pid_ > 0; }
  pid_t pid() const { return pid_; }

 private:
  pid_t pid_ = -1;
  int input_fd_ = -1;
  int output_fd_ = -1;
  int error_fd_ = -1;
};

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_CHILD_PROCESS_H_

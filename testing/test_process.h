// A child process with pipes on its standard streams, for tests that drive
// the real worker binary (and the tools they check its output with). Built
// on client/child_process, so a worker under test starts exactly as the
// client starts it. Test-only: never linked into shipped binaries.
#ifndef MESH_WORKER_TESTING_TEST_PROCESS_H_
#define MESH_WORKER_TESTING_TEST_PROCESS_H_

#include <sys/types.h>

#include <string>
#include <vector>

#include "client/child_process.h"

namespace mesh {

// The client's own spawn options; the arguments are given to Start apart.
using TestProcessOptions = ChildProcessOptions;

// How a finished child ended.
struct ExitStatus {
  bool exited = false;  // false: killed by `signal`
  int code = -1;
  int signal = 0;
};

struct ProcessOutput {
  ExitStatus status;
  std::string out;
  std::string err;
};

class TestProcess {
 public:
  TestProcess() = default;
  ~TestProcess();  // kills and reaps a child that is still running
  TestProcess(const TestProcess&) = delete;
  TestProcess& operator=(const TestProcess&) = delete;

  // Every signal, SIGPIPE included, is at its default disposition in the
  // child, whatever ours is. False when the program cannot be started.
  bool Start(const std::string& path, const std::vector<std::string>& args,
             const TestProcessOptions& options = TestProcessOptions());

  bool WriteInput(const std::string& bytes);
  void CloseInput();
  // Closes our end of the child's standard output.
  void CloseOutput();

  // Reads standard output until `count` bytes have arrived, it ends, or
  // `timeout_ms` passes; returns what arrived.
  std::string ReadOutput(size_t count, int timeout_ms);

  // Waits up to `timeout_ms` for the child to end. False if it is still
  // running.
  bool Wait(int timeout_ms, ExitStatus* status);
  void Kill();

  // Feeds `input`, closes the input, and collects both outputs until the
  // child ends; a child still running after `timeout_ms` is killed.
  ProcessOutput Communicate(const std::string& input, int timeout_ms);

  // Whatever the child wrote to standard error so far (non-blocking read).
  std::string DrainError();

  pid_t pid() const { return child_.pid(); }

 private:
  ChildProcess child_;
  std::string err_;
};

// Starts `path`, feeds it `input`, closes its input, and collects both
// output streams until the child ends. A child still running after
// `timeout_ms` is killed (and reported as killed by SIGKILL).
ProcessOutput RunProcess(const std::string& path, const std::string& input,
                         const TestProcessOptions& options = TestProcessOptions(),
                         int timeout_ms = 60000);

}  // namespace mesh

#endif  // MESH_WORKER_TESTING_TEST_PROCESS_H_

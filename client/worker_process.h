// WorkerProcess: one supervised mesh-worker child, for parents written in
// C++. Starts the worker, sends it one request at a time, waits for the
// answer with a deadline, and replaces the worker when it hangs or dies.
//
// Signals: the parent's SIGPIPE disposition is never changed. Writes to the
// worker run with SIGPIPE blocked in the calling thread only, and a SIGPIPE
// that such a write raises is consumed before the mask is restored, so a
// worker that dies mid-request can never kill its parent. SIGCHLD is not
// touched either: every child is reaped with waitpid on its own pid, so a
// parent that also reaps with waitpid(-1) may steal a status, in which case
// the outcome still reads kWorkerDied but without a code.
//
// A worker whose parent dies simply sees its input end and leaves, unless
// it is stuck (in the mesher, or in the hang test): nothing kills it then.
// Parents that may die abruptly should put workers where a supervisor of
// their own (a process group, a cgroup) can reach them.
#ifndef MESH_WORKER_CLIENT_WORKER_PROCESS_H_
#define MESH_WORKER_CLIENT_WORKER_PROCESS_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "client/cancel_token.h"
#include "client/child_process.h"
#include "client/refusal.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// A deadline that never passes.
constexpr std::chrono::milliseconds kNoTimeout = std::chrono::milliseconds::max();

// What became of a call, for programs to branch on; Describe() says it for
// people.
enum class CallOutcome {
  kSuccess,      // a success frame; `mesh` holds the decoded result
  kRefused,      // the failure frame: the worker refused this request;
                 // `refusal` says which check, when the worker said so
  kTimedOut,     // no answer before the deadline; the worker was killed
  kWorkerDied,   // the worker ended before it answered
  kStartFailed,  // the worker could not be started
  kBadAnswer,    // the answer broke the protocol; the worker was killed
  kOutOfMemory,  // the worker ran out of memory on this request (its mesher
                 // failed to allocate, or it crashed under its memory
                 // limit); it is replaced before the next request
  kCancelled,    // cancelled (CancelToken, WorkerPool::Cancel); a worker
                 // busy with the request was killed
  kTooLarge,     // the request exceeds the worker's frame limit and was not
                 // sent
};

// "meshed", "refused", "timed out", "worker died", "start failed",
// "bad answer", "out of memory", "cancelled", "too large".
const char* CallOutcomeName(CallOutcome outcome);

struct WorkerAnswer {
  CallOutcome outcome = CallOutcome::kStartFailed;
  PlanarComplexMesh mesh;
  // Every complete line the worker wrote to standard error while it handled
  // this request (without the newline): for a failure frame, the reason.
  std::vector<std::string> diagnostics;
  // The refusal line among `diagnostics`, taken apart (client/refusal.h);
  // found() is false when there is none.
  Refusal refusal;
  // How the worker ended, for kWorkerDied, kTimedOut, kOutOfMemory and a
  // kCancelled that killed it.
  // `exited` with `exit_code`, or killed by `signal`; neither when the
  // status was lost or the worker did not end by itself.
  bool exited = false;
  int exit_code = -1;
  int signal = 0;
  // What went wrong, in words, for every outcome but kSuccess and kRefused.
  std::string error;
  std::chrono::steady_clock::duration elapsed{};

  bool ok() const { return outcome == CallOutcome::kSuccess; }
  // One line for people: the outcome and its details.
  std::string Describe() const;
};

struct WorkerOptions {
  // The mesh-worker executable. It is run as given: no PATH search. Empty:
  // the worker installed with this client (client/installed_worker.h).
  std::string worker_path;
  // "NAME=value" entries added to, or replacing entries of, the inherited
  // environment; and names removed from it.
  std::vector<std::string> set_env;
  std::vector<std::string> unset_env;
  // Answers announcing a larger payload are treated as a broken worker.
  uint64_t max_answer_bytes = uint64_t{1} << 32;
  // The most memory (address space, RLIMIT_AS) each worker may take, in
  // bytes; 0, the default, sets no limit. A worker that reaches it fails its
  // request with kOutOfMemory and is replaced. Leave room for the worker
  // itself: it needs some 40 MB of address space before its first request,
  // and Netgen about a kilobyte per element. Builds with AddressSanitizer
  // cannot run under any practical limit.
  uint64_t memory_limit_bytes = 0;
  // How long Stop() waits for a worker to leave by itself after its input
  // is closed, before it is killed.
  std::chrono::milliseconds stop_grace{2000};
  // Given every piece of the worker's standard error as it is read, before
  // it is split into `diagnostics`: the mesher's progress while a request
  // runs. Called on the thread inside Mesh, Call or Stop, so it must not
  // call back into the WorkerProcess.
  std::function<void(const char* data, size_t size)> on_error_output;
};

// Not thread-safe: one caller at a time (another thread can end a call only
// through its CancelToken). The worker is started by the first call (or by
// Start()) and again by the first call after it was lost.
class WorkerProcess {
 public:
  explicit WorkerProcess(WorkerOptions options);
  ~WorkerProcess();  // Stop()
  WorkerProcess(const WorkerProcess&) = delete;
  WorkerProcess& operator=(const WorkerProcess&) = delete;

  // Meshes one request. The deadline covers sending the request and reading
  // the whole answer. A request over the worker's frame limit
  // (kMaxRequestPayload) is answered kTooLarge without being sent. Another
  // thread may end the call early through `cancel`: it is then answered
  // kCancelled, its worker killed (and started again by the next call).
  WorkerAnswer Mesh(const MeshRequest& request,
                    std::chrono::milliseconds timeout = kNoTimeout,
                    const CancelToken* cancel = nullptr);

  // Sends one raw frame of `kind` and waits for its answer, as Mesh does.
  // For tests and tools that need other kinds, such as the hang test.
  WorkerAnswer Call(uint32_t kind, const std::string& payload,
                    std::chrono::milliseconds timeout = kNoTimeout,
                    const CancelToken* cancel = nullptr);

  // Starts the worker now if none is running. False, with the reason in
  // `*error`, when it cannot be started.
  bool Start(std::string* error);

  // Closes the worker's input so that it leaves by itself, kills it if it
  // has not within `stop_grace`, and reaps it. Safe to call at any time.
  void Stop();

  bool running() const { return child_.running(); }
  pid_t pid() const { return child_.pid(); }
  // Workers started so far, the current one included.
  int starts() const { return starts_; }

 private:
  bool ReapIfGone();
  void ReadErrorAvailable();
  std::vector<std::string> TakeDiagnostics();
  ChildExit KillAndReap();
  ChildExit WaitForExit(std::chrono::milliseconds grace);
  WorkerAnswer Lost(CallOutcome outcome, const ChildExit& info, std::string error);

  // The steps of one Call: start a worker if need be, then send the request
  // and read the answer in one poll loop, and say how it ended.
  struct Transfer;
  struct PipesReady;
  enum class AnswerProgress { kMore, kComplete, kLost };
  bool StartForRequest(std::string* error);
  WorkerAnswer Exchange(uint32_t kind, const std::string& payload,
                        std::chrono::steady_clock::time_point deadline,
                        std::chrono::milliseconds timeout, const CancelToken* cancel);
  // Waits up to `wait_ms` (-1: no limit) for the answer, for room for more
  // of the request, for standard error once it is due to be read, and for
  // `cancel` (when not null).
  PipesReady PollPipes(const Transfer& transfer, int wait_ms, const CancelToken* cancel);
  void SendRequestPart(Transfer* transfer);
  // Reads what has arrived of the answer, checking its header once that is
  // complete. kLost, with `*lost` filled in, when the worker is lost.
  AnswerProgress ReadAnswerPart(Transfer* transfer, WorkerAnswer* lost);
  // The outcome of a complete answer.
  WorkerAnswer TakeAnswer(const Transfer& transfer);
  // Each way of losing the worker during a call, as the caller is told it.
  WorkerAnswer LostToTimeout(std::chrono::milliseconds timeout);
  WorkerAnswer LostToCancel();
  WorkerAnswer LostToDeath(bool was_answering);
  WorkerAnswer LostToBadAnswer(const std::string& problem);
  // A failure frame that says the mesher ran out of memory.
  WorkerAnswer LostToMemory(WorkerAnswer refused);
  // " under the worker's limit of N bytes", or "" without a limit.
  std::string MemoryLimitWords() const;

  WorkerOptions options_;
  ChildProcess child_;
  std::string error_text_;  // standard error not yet split into lines
  int starts_ = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_CLIENT_WORKER_PROCESS_H_

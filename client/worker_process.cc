#include "client/worker_process.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <signal.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <utility>

#include "client/installed_worker.h"
#include "protocol/frame.h"
#include "protocol/worker_contract.h"

namespace mesh {

namespace {

using Clock = std::chrono::steady_clock;

void SetNonBlocking(int fd) { fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK); }

// A write that reports a vanished reader as EPIPE instead of raising SIGPIPE
// on the process: the signal is blocked in this thread for the call, and the
// one the write raised, if any, is taken off the pending set before the old
// mask comes back.
ssize_t WriteWithoutSigpipe(int fd, const void* data, size_t length) {
  sigset_t pipe_only, previous;
  sigemptyset(&pipe_only);
  sigaddset(&pipe_only, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_only, &previous);
  sigset_t pending;
  sigpending(&pending);
  const bool already_pending = sigismember(&pending, SIGPIPE) == 1;

  ssize_t written = write(fd, data, length);
  const int saved_errno = errno;
  if (written < 0 && saved_errno == EPIPE && !already_pending) {
    const struct timespec no_wait = {0, 0};
    while (sigtimedwait(&pipe_only, nullptr, &no_wait) < 0 && errno == EINTR) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &previous, nullptr);
  errno = saved_errno;
  return written;
}

constexpr std::chrono::milliseconds kErrorReadInterval(2);

// Room for everything a worker prints between two reads of its standard
// error, many times over (Linux's default is 64 KiB).
constexpr int kErrorPipeSize = 1 << 20;

int MillisecondsUntil(Clock::time_point deadline) {
  if (deadline == Clock::time_point::max()) return -1;
  const auto left = deadline - Clock::now();
  if (left <= Clock::duration::zero()) return 0;
  // Rounded up, so that a poll that returns on its timeout has really
  // reached the deadline.
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(left).count();
  return static_cast<int>(std::min<long long>(ms, 1 << 30));
}

}  // namespace

const char* CallOutcomeName(CallOutcome outcome) {
  switch (outcome) {
    case CallOutcome::kSuccess:
      return "meshed";
    case CallOutcome::kRefused:
      return "refused";
    case CallOutcome::kTimedOut:
      return "timed out";
    case CallOutcome::kWorkerDied:
      return "worker died";
    case CallOutcome::kStartFailed:
      return "start failed";
    case CallOutcome::kBadAnswer:
      return "bad answer";
    case CallOutcome::kOutOfMemory:
      return "out of memory";
    case CallOutcome::kCancelled:
      return "cancelled";
    case CallOutcome::kTooLarge:
      return "too large";
  }
  return "unknown";
}

std::string WorkerAnswer::Describe() const {
  std::string text = CallOutcomeName(outcome);
  switch (outcome) {
    case CallOutcome::kSuccess:
      text += ": " + std::to_string(mesh.vertices.size()) + " vertices, " +
              std::to_string(mesh.quads.size()) + " quads, " +
              std::to_string(mesh.triangles.size()) + " triangles";
      break;
    case CallOutcome::kRefused:
      text += diagnostics.empty() ? ": the worker gave no reason" : ": " + diagnostics.back();
      break;
    default:
      if (!error.empty()) text += ": " + error;
      break;
  }
  return text;
}

WorkerProcess::WorkerProcess(WorkerOptions options) : options_(std::move(options)) {}

WorkerProcess::~WorkerProcess() { Stop(); }

bool WorkerProcess::Start(std::string* error) {
  if (child_.running()) return true;
  ChildProcessOptions spawn;
  spawn.set_env = options_.set_env;
  spawn.unset_env = options_.unset_env;
  spawn.memory_limit_bytes = options_.memory_limit_bytes;
  const std::string path =
      options_.worker_path.empty() ? InstalledWorkerPath() : options_.worker_path;
  if (!child_.Start(path, spawn, error)) return false;
  SetNonBlocking(child_.input_fd());
  SetNonBlocking(child_.output_fd());
  SetNonBlocking(child_.error_fd());
  // Best effort: a smaller pipe only means the worker may wait a moment.
  fcntl(child_.error_fd(), F_SETPIPE_SZ, kErrorPipeSize);
  error_text_.clear();
  ++starts_;
  return true;
}

void WorkerProcess::ReadErrorAvailable() {
  while (child_.error_fd() >= 0) {
    char buffer[65536];
    const ssize_t n = read(child_.error_fd(), buffer, sizeof buffer);
    if (n > 0) {
      error_text_.append(buffer, static_cast<size_t>(n));
      if (options_.on_error_output) options_.on_error_output(buffer, static_cast<size_t>(n));
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n == 0 || errno != EAGAIN) child_.CloseError();
    return;
  }
}

std::vector<std::string> WorkerProcess::TakeDiagnostics() {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t newline; (newline = error_text_.find('\n', start)) != std::string::npos;
       start = newline + 1) {
    lines.push_back(error_text_.substr(start, newline - start));
  }
  // A worker that is gone will not finish its last line; keep what it said.
  if (!child_.running() && start < error_text_.size()) {
    lines.push_back(error_text_.substr(start));
    start = error_text_.size();
  }
  error_text_.erase(0, start);
  return lines;
}

bool WorkerProcess::ReapIfGone() {
  if (!child_.running()) return true;
  ChildExit ignored;
  if (!child_.Reap(&ignored)) return false;
  child_.CloseDescriptors();
  return true;
}

ChildExit WorkerProcess::WaitForExit(std::chrono::milliseconds grace) {
  const Clock::time_point deadline = Clock::now() + grace;
  for (;;) {
    ChildExit info;
    if (child_.Reap(&info)) {
      // Once the worker is gone its standard error has no writer left and
      // reads to its end at once; the bound only guards against a process
      // the worker might have left behind holding the pipe open.
      const Clock::time_point drain_deadline = Clock::now() + std::chrono::milliseconds(500);
      while (child_.error_fd() >= 0) {
        const int wait_ms = MillisecondsUntil(drain_deadline);
        if (wait_ms == 0) break;
        struct pollfd readable = {child_.error_fd(), POLLIN, 0};
        if (poll(&readable, 1, wait_ms) > 0) ReadErrorAvailable();
      }
      return info;
    }
    if (Clock::now() >= deadline) return KillAndReap();
    // Keep reading its standard error meanwhile, so that a worker with much
    // to say on its way out is never stuck on a full pipe.
    struct pollfd wait_for = {child_.error_fd(), POLLIN, 0};
    if (child_.error_fd() >= 0) {
      if (poll(&wait_for, 1, 5) > 0) ReadErrorAvailable();
    } else {
      usleep(2000);
    }
  }
}

ChildExit WorkerProcess::KillAndReap() {
  child_.Kill();
  // SIGKILL cannot be caught or ignored, so this wait is short.
  return WaitForExit(std::chrono::hours(24 * 365));
}

WorkerAnswer WorkerProcess::Lost(CallOutcome outcome, const ChildExit& info, std::string error) {
  WorkerAnswer answer;
  answer.outcome = outcome;
  answer.exited = info.exited;
  answer.exit_code = info.code;
  answer.signal = info.signal;
  child_.CloseDescriptors();
  answer.diagnostics = TakeDiagnostics();
  error_text_.clear();
  answer.error = std::move(error);
  return answer;
}

namespace {

std::string DescribeExit(bool known, bool exited, int code, int signal) {
  if (!known) return "its exit status was collected elsewhere";
  if (exited) return "exit code " + std::to_string(code);
  return "killed by signal " + std::to_string(signal) + " (" + strsignal(signal) + ")";
}

// Whether a worker under a memory limit that ended without answering ran
// out of memory. Its crash exit says nothing of why, but an allocation that
// fails where nothing catches it ends the worker there (an unhandled
// std::bad_alloc, or a null pointer from malloc followed), and under a limit
// that is by far the likeliest crash; a limit too small for even the dynamic
// loader ends it before main, with the loader's own words.
bool DiedOfMemory(const ChildExit& info, const std::vector<std::string>& diagnostics) {
  if (info.exited && info.code == kWorkerExitCrashed) return true;
  if (!info.exited && (info.signal == SIGSEGV || info.signal == SIGBUS || info.signal == SIGABRT)) {
    return true;
  }
  for (const std::string& line : diagnostics) {
    if (line.find("std::bad_alloc") != std::string::npos ||
        line.find("failed to map segment") != std::string::npos ||
        line.find("Cannot allocate memory") != std::string::npos) {
      return true;
    }
  }
  return false;
}

}  // namespace

void WorkerProcess::Stop() {
  if (!child_.running()) return;
  child_.CloseInput();
  WaitForExit(options_.stop_grace);
  child_.CloseDescriptors();
  error_text_.clear();
}

WorkerAnswer WorkerProcess::Mesh(const MeshRequest& request, std::chrono::milliseconds timeout,
                                 const CancelToken* cancel) {
  return Call(kKindMeshRequest, EncodeMeshRequest(request), timeout, cancel);
}

// One request on its way to the worker and its answer on the way back, as
// far as each has got.
struct WorkerProcess::Transfer {
  explicit Transfer(std::string request_frame)
      : frame(std::move(request_frame)), next_error_read(Clock::now()) {}

  // False once the whole frame is out, or the worker stopped reading it.
  bool sending() const { return input_open && written < frame.size(); }

  std::string frame;
  size_t written = 0;
  bool input_open = true;
  unsigned char header_bytes[kFrameHeaderSize];
  size_t header_read = 0;
  FrameHeader header;  // decoded once header_read reaches kFrameHeaderSize
  std::string payload;
  Clock::time_point next_error_read;
};

// What one poll found ready on the worker's pipes.
struct WorkerProcess::PipesReady {
  bool output = false;
  bool errors = false;
  bool input = false;
  bool cancel = false;
};

namespace {

// Why an answer's header shows a broken worker, or "" for a sound header.
std::string AnswerHeaderProblem(const FrameHeader& header, uint64_t max_answer_bytes) {
  if (!header.magic_ok) return "the answer does not start with MSH1";
  if (header.kind != kKindSuccess && header.kind != kKindFailure) {
    return "the answer has unknown kind " + std::to_string(header.kind);
  }
  if (header.kind == kKindFailure && header.payload_length != 0) {
    return "a failure answer carries " + std::to_string(header.payload_length) + " payload bytes";
  }
  if (header.payload_length > max_answer_bytes) {
    return "the answer announces " + std::to_string(header.payload_length) +
           " payload bytes, over the limit of " + std::to_string(max_answer_bytes);
  }
  return "";
}

}  // namespace

WorkerAnswer WorkerProcess::Call(uint32_t kind, const std::string& payload,
                                 std::chrono::milliseconds timeout, const CancelToken* cancel) {
  const Clock::time_point started = Clock::now();
  if (payload.size() > kMaxRequestPayload) {
    // The worker would end at the header, the request unread: better said
    // here, before a byte is sent and without costing the worker.
    WorkerAnswer answer;
    answer.outcome = CallOutcome::kTooLarge;
    answer.error = "the request is " + std::to_string(payload.size()) +
                   " bytes, over the worker's limit of " + std::to_string(kMaxRequestPayload) +
                   " bytes a frame; nothing was sent";
    answer.elapsed = Clock::now() - started;
    return answer;
  }
  const Clock::time_point deadline =
      timeout == kNoTimeout ? Clock::time_point::max() : started + timeout;
  WorkerAnswer answer = Exchange(kind, payload, deadline, timeout, cancel);
  answer.elapsed = Clock::now() - started;
  return answer;
}

bool WorkerProcess::StartForRequest(std::string* error) {
  // A worker that died while idle owes nothing to this request: start a new
  // one instead of charging the request with a death it did not cause.
  ReapIfGone();
  if (child_.running()) {
    // Whatever arrived since the last answer belongs to that request.
    ReadErrorAvailable();
    error_text_.clear();
  }
  return Start(error);
}

WorkerAnswer WorkerProcess::Exchange(uint32_t kind, const std::string& payload,
                                     Clock::time_point deadline,
                                     std::chrono::milliseconds timeout,
                                     const CancelToken* cancel) {
  if (cancel != nullptr && cancel->cancelled()) {
    // Nothing sent, so the worker, if one is running, owes nothing and stays.
    WorkerAnswer answer;
    answer.outcome = CallOutcome::kCancelled;
    answer.error = "before the request was sent";
    return answer;
  }
  std::string start_error;
  if (!StartForRequest(&start_error)) {
    WorkerAnswer answer;
    answer.outcome = CallOutcome::kStartFailed;
    answer.error = start_error;
    return answer;
  }

  // Writing the request, reading the answer and draining standard error all
  // happen in one poll loop, so that no full pipe in either direction can
  // stall the other side. Standard error is read at most every
  // kErrorReadInterval: the mesher prints its progress in a hundred small
  // writes per mesh, and waking for each one cost more than a small mesh
  // itself. The pipe is large enough to hold far more than arrives between
  // two reads, and the answer's arrival drains it completely.
  Transfer transfer(EncodeFrame(kind, payload));
  for (;;) {
    const int wait_ms = MillisecondsUntil(deadline);
    if (wait_ms == 0) return LostToTimeout(timeout);
    const PipesReady ready = PollPipes(transfer, wait_ms, cancel);
    // Only the token's byte counts, not its flag as well: the byte is what
    // wakes this poll, and a token reset while it raced a cancel may hold
    // the byte with the flag already down.
    if (ready.cancel) return LostToCancel();
    if (ready.errors) {
      ReadErrorAvailable();
      transfer.next_error_read = Clock::now() + kErrorReadInterval;
    }
    if (ready.input) SendRequestPart(&transfer);
    if (!ready.output) continue;
    WorkerAnswer lost;
    const AnswerProgress progress = ReadAnswerPart(&transfer, &lost);
    if (progress == AnswerProgress::kLost) return lost;
    if (progress == AnswerProgress::kComplete) return TakeAnswer(transfer);
  }
}

WorkerProcess::PipesReady WorkerProcess::PollPipes(const Transfer& transfer, int wait_ms,
                                                   const CancelToken* cancel) {
  const bool watch_errors = child_.error_fd() >= 0 && Clock::now() >= transfer.next_error_read;
  if (child_.error_fd() >= 0 && !watch_errors) {
    const int error_wait_ms = std::max(MillisecondsUntil(transfer.next_error_read), 1);
    wait_ms = wait_ms < 0 ? error_wait_ms : std::min(wait_ms, error_wait_ms);
  }
  struct pollfd fds[4];
  int count = 0;
  fds[count++] = {child_.output_fd(), POLLIN, 0};
  const int error_slot = watch_errors ? count : -1;
  if (watch_errors) fds[count++] = {child_.error_fd(), POLLIN, 0};
  const int input_slot = transfer.sending() ? count : -1;
  if (input_slot >= 0) fds[count++] = {child_.input_fd(), POLLOUT, 0};
  const int cancel_slot = cancel != nullptr ? count : -1;
  if (cancel_slot >= 0) fds[count++] = {cancel->fd(), POLLIN, 0};

  PipesReady ready;
  // Nothing ready, or a signal came first: the caller checks its deadline
  // and polls again.
  if (poll(fds, static_cast<nfds_t>(count), wait_ms) <= 0) return ready;
  ready.output = fds[0].revents != 0;
  ready.errors = error_slot >= 0 && fds[error_slot].revents != 0;
  ready.input = input_slot >= 0 && fds[input_slot].revents != 0;
  ready.cancel = cancel_slot >= 0 && fds[cancel_slot].revents != 0;
  return ready;
}

void WorkerProcess::SendRequestPart(Transfer* transfer) {
  const ssize_t n =
      WriteWithoutSigpipe(child_.input_fd(), transfer->frame.data() + transfer->written,
                          transfer->frame.size() - transfer->written);
  if (n > 0) {
    transfer->written += static_cast<size_t>(n);
  } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
    // The worker no longer reads; its standard output tells the rest.
    transfer->input_open = false;
  }
}

WorkerProcess::AnswerProgress WorkerProcess::ReadAnswerPart(Transfer* transfer,
                                                            WorkerAnswer* lost) {
  const bool in_header = transfer->header_read < kFrameHeaderSize;
  char buffer[65536];
  size_t want = sizeof buffer;
  if (in_header) {
    want = kFrameHeaderSize - transfer->header_read;
  } else {
    want = std::min<uint64_t>(want, transfer->header.payload_length - transfer->payload.size());
  }
  const ssize_t n = read(child_.output_fd(), buffer, want);
  if (n < 0 && (errno == EAGAIN || errno == EINTR)) return AnswerProgress::kMore;
  if (n <= 0) {
    *lost = LostToDeath(transfer->header_read > 0);
    return AnswerProgress::kLost;
  }
  if (in_header) {
    memcpy(transfer->header_bytes + transfer->header_read, buffer, static_cast<size_t>(n));
    transfer->header_read += static_cast<size_t>(n);
    if (transfer->header_read < kFrameHeaderSize) return AnswerProgress::kMore;
    transfer->header = DecodeFrameHeader(transfer->header_bytes);
    const std::string problem = AnswerHeaderProblem(transfer->header, options_.max_answer_bytes);
    if (!problem.empty()) {
      *lost = LostToBadAnswer(problem);
      return AnswerProgress::kLost;
    }
    transfer->payload.reserve(static_cast<size_t>(
        std::min<uint64_t>(transfer->header.payload_length, uint64_t{1} << 26)));
  } else {
    transfer->payload.append(buffer, static_cast<size_t>(n));
  }
  return transfer->payload.size() < transfer->header.payload_length ? AnswerProgress::kMore
                                                                    : AnswerProgress::kComplete;
}

WorkerAnswer WorkerProcess::TakeAnswer(const Transfer& transfer) {
  if (transfer.written < transfer.frame.size()) {
    // An answer to a request the worker has not read in full: whatever it
    // answered, the rest of our frame would be read as the next request.
    return LostToBadAnswer("the worker answered before it had read the whole request");
  }
  // The worker writes its reasons before its answer, so they are in the pipe
  // by now.
  ReadErrorAvailable();
  WorkerAnswer answer;
  answer.diagnostics = TakeDiagnostics();
  answer.refusal = FindRefusal(answer.diagnostics);
  if (transfer.header.kind == kKindFailure) {
    if (answer.refusal.out_of_memory) return LostToMemory(std::move(answer));
    answer.outcome = CallOutcome::kRefused;
    return answer;
  }
  if (!DecodePlanarComplexMesh(transfer.payload.data(), transfer.payload.size(), &answer.mesh)) {
    std::vector<std::string> diagnostics = std::move(answer.diagnostics);
    answer = LostToBadAnswer("the success answer's payload does not decode");
    diagnostics.insert(diagnostics.end(), answer.diagnostics.begin(), answer.diagnostics.end());
    answer.diagnostics = std::move(diagnostics);
    return answer;
  }
  answer.outcome = CallOutcome::kSuccess;
  return answer;
}

WorkerAnswer WorkerProcess::LostToTimeout(std::chrono::milliseconds timeout) {
  const ChildExit info = KillAndReap();
  return Lost(CallOutcome::kTimedOut, info,
              "no answer within " + std::to_string(timeout.count()) + " ms; the worker was killed");
}

WorkerAnswer WorkerProcess::LostToCancel() {
  // Its answer to this request would be read as the next one's, and it may
  // be busy for a long time yet: a killed worker is the only clean one.
  const ChildExit info = KillAndReap();
  return Lost(CallOutcome::kCancelled, info,
              "while the worker had the request; the worker was killed");
}

WorkerAnswer WorkerProcess::LostToDeath(bool was_answering) {
  const ChildExit info = WaitForExit(options_.stop_grace);
  WorkerAnswer answer =
      Lost(CallOutcome::kWorkerDied, info,
           std::string(was_answering ? "the worker ended inside its answer ("
                                     : "the worker ended without answering (") +
               DescribeExit(info.known, info.exited, info.code, info.signal) + ")");
  if (options_.memory_limit_bytes > 0 && DiedOfMemory(info, answer.diagnostics)) {
    answer.outcome = CallOutcome::kOutOfMemory;
    answer.error += "; out of memory" + MemoryLimitWords();
  }
  return answer;
}

std::string WorkerProcess::MemoryLimitWords() const {
  if (options_.memory_limit_bytes == 0) return "";
  return " under the worker's limit of " + std::to_string(options_.memory_limit_bytes) + " bytes";
}

WorkerAnswer WorkerProcess::LostToMemory(WorkerAnswer refused) {
  // The worker survived and answered, but a mesher that failed half-way
  // through an allocation may have left its heap in any state; the next
  // request deserves a fresh worker.
  KillAndReap();
  child_.CloseDescriptors();
  error_text_.clear();
  refused.outcome = CallOutcome::kOutOfMemory;
  refused.error = "the mesher ran out of memory" + MemoryLimitWords() + "; the worker was replaced";
  return refused;
}

WorkerAnswer WorkerProcess::LostToBadAnswer(const std::string& problem) {
  const ChildExit info = KillAndReap();
  return Lost(CallOutcome::kBadAnswer, info, problem + "; the worker was killed");
}

}  // namespace mesh

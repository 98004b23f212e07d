// The line `meshctl mesh` keeps redrawing on a terminal while a long mesh
// runs: the time since it started and the elements the mesher has made so
// far, read from the progress lines the worker's mesher writes to standard
// error. Those lines are read here and never shown.
#ifndef MESH_WORKER_CLI_PROGRESS_DISPLAY_H_
#define MESH_WORKER_CLI_PROGRESS_DISPLAY_H_

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace mesh {

// Follows the mesher's output in whatever pieces it arrives. The mesher
// counts the elements of each domain from zero, so a count that falls
// starts the next domain: the domains finished so far are added to it.
class MesherProgressParser {
 public:
  void Feed(const char* data, size_t size);
  // Elements made so far; 0 before the first progress line.
  long long elements() const { return finished_domains_ + current_domain_; }

 private:
  void TakeLine(const std::string& line);

  std::string partial_;
  long long finished_domains_ = 0;
  long long current_domain_ = 0;
};

// "meshctl: NAME: 12.3 s, 45,678 elements so far" with a carriage return
// before and an erase-to-end-of-line after, so that each drawing replaces
// the last. Thread-safe: the worker's output arrives on the thread that
// waits for the answer, the clock ticks on another.
class ProgressDisplay {
 public:
  using Clock = std::chrono::steady_clock;

  ProgressDisplay(std::string name, std::function<void(const std::string&)> write,
                  std::function<Clock::time_point()> now = Clock::now,
                  Clock::duration interval = std::chrono::milliseconds(250));

  // The worker's standard error, as it is read.
  void OnWorkerOutput(const char* data, size_t size);
  // Redraws when `interval` has passed since the last drawing, so that the
  // time runs on while the mesher is silent.
  void Tick();
  // Erases the line, if one was drawn, before the caller prints anything
  // else; nothing is drawn after it.
  void Finish();

  // The text of a drawing, without the control characters.
  static std::string Line(const std::string& name, double seconds, long long elements);

 private:
  void DrawIfDue(Clock::time_point now);

  std::mutex mutex_;
  const std::string name_;
  const std::function<void(const std::string&)> write_;
  const std::function<Clock::time_point()> now_;
  const Clock::duration interval_;
  const Clock::time_point started_;
  Clock::time_point last_drawn_;
  bool drawn_ = false;
  bool finished_ = false;
  MesherProgressParser parser_;
};

// Calls display->Tick() every `interval` on a thread of its own until it
// is destroyed.
class ProgressTicker {
 public:
  ProgressTicker(ProgressDisplay* display, std::chrono::milliseconds interval);
  ~ProgressTicker();
  ProgressTicker(const ProgressTicker&) = delete;
  ProgressTicker& operator=(const ProgressTicker&) = delete;

 private:
  std::mutex mutex_;
  std::condition_variable wake_;
  bool stopping_ = false;
  std::thread thread_;
};

// "120/300 [############..................]  40%  12.5/s  0:14 left" on
// standard error, over the previous drawing: the progress of a run of
// `total` items (requests, faces) of which `done` are finished after
// `seconds`.
void DrawCountProgress(size_t done, size_t total, double seconds);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_PROGRESS_DISPLAY_H_

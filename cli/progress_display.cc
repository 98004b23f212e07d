#include "cli/progress_display.h"

#include <cstdio>
#include <cstdlib>
#include <utility>

namespace mesh {

namespace {

// A line longer than this is no progress line; keeping all of it would let
// a worker that never ends its line grow meshctl without bound.
constexpr size_t kLongestLine = 4096;

constexpr char kElementsField[] = "elements = ";

// 45678 as "45,678".
std::string WithThousands(long long value) {
  std::string digits = std::to_string(value);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<size_t>(at), ",");
  }
  return digits;
}

}  // namespace

void MesherProgressParser::Feed(const char* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const char c = data[i];
    if (c == '\n' || c == '\r') {
      TakeLine(partial_);
      partial_.clear();
    } else if (partial_.size() < kLongestLine) {
      partial_ += c;
    }
  }
}

void MesherProgressParser::TakeLine(const std::string& line) {
  const size_t field = line.find(kElementsField);
  if (field == std::string::npos) return;
  const char* digits = line.c_str() + field + sizeof kElementsField - 1;
  char* end = nullptr;
  const long long count = std::strtoll(digits, &end, 10);
  if (end == digits || count < 0) return;
  if (count < current_domain_) finished_domains_ += current_domain_;
  current_domain_ = count;
}

ProgressDisplay::ProgressDisplay(std::string name, std::function<void(const std::string&)> write,
                                 std::function<Clock::time_point()> now,
                                 Clock::duration interval)
    : name_(std::move(name)),
      write_(std::move(write)),
      now_(std::move(now)),
      interval_(interval),
      started_(now_()) {}

std::string ProgressDisplay::Line(const std::string& name, double seconds, long long elements) {
  char time[32];
  std::snprintf(time, sizeof time, "%.1f s", seconds);
  std::string line = "meshctl: " + name + ": " + time;
  if (elements > 0) line += ", " + WithThousands(elements) + " elements so far";
  return line;
}

void ProgressDisplay::OnWorkerOutput(const char* data, size_t size) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  parser_.Feed(data, size);
  DrawIfDue(now_());
}

void ProgressDisplay::Tick() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  DrawIfDue(now_());
}

void ProgressDisplay::DrawIfDue(Clock::time_point now) {
  // The first drawing waits a whole interval too: a mesh that is done
  // sooner leaves nothing to erase.
  const Clock::time_point since = drawn_ ? last_drawn_ : started_;
  if (now - since < interval_) return;
  const double seconds = std::chrono::duration<double>(now - started_).count();
  write_("\r" + Line(name_, seconds, parser_.elements()) + "\033[K");
  last_drawn_ = now;
  drawn_ = true;
}

void ProgressDisplay::Finish() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (finished_) return;
  finished_ = true;
  if (drawn_) write_("\r\033[K");
}

ProgressTicker::ProgressTicker(ProgressDisplay* display, std::chrono::milliseconds interval)
    : thread_([this, display, interval] {
        std::unique_lock<std::mutex> lock(mutex_);
        while (!wake_.wait_for(lock, interval, [this] { return stopping_; })) {
          lock.unlock();
          display->Tick();
          lock.lock();
        }
      }) {}

ProgressTicker::~ProgressTicker() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  thread_.join();
}

namespace {

std::string Duration(double seconds) {
  const long total = static_cast<long>(seconds + 0.5);
  char text[32];
  if (total >= 3600) {
    std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", total / 3600, total / 60 % 60, total % 60);
  } else {
    std::snprintf(text, sizeof text, "%ld:%02ld", total / 60, total % 60);
  }
  return text;
}

}  // namespace

void DrawCountProgress(size_t done, size_t total, double seconds) {
  const int width = 30;
  const int filled = total == 0 ? width : static_cast<int>(width * done / total);
  const double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  std::string bar(static_cast<size_t>(filled), '#');
  bar.resize(width, '.');
  char text[160];
  std::snprintf(text, sizeof text, "\r%zu/%zu [%s] %3d%%  %.1f/s  %s left\033[K", done, total,
                bar.c_str(), total == 0 ? 100 : static_cast<int>(100 * done / total), rate,
                done == 0 || rate == 0 ? "?" : Duration(static_cast<double>(total - done) / rate).c_str());
  std::fputs(text, stderr);
  std::fflush(stderr);
}

}  // namespace mesh

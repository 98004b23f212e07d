#include "cli/batch.h"

#include <algorithm>
#include <condition_variable>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/progress_display.h"
#include "client/worker_pool.h"
#include "formats/batch_line.h"

namespace mesh {

namespace {

using Clock = std::chrono::steady_clock;
using nlohmann::ordered_json;

struct InputLine {
  size_t number;
  std::string text;
};

// Answers arrive from pool threads in any order; the writer takes them in
// input order.
class Arrivals {
 public:
  void Put(size_t slot, ordered_json line) {
    {
      std::lock_guard<std::mutex> hold(mutex_);
      ready_.emplace(slot, std::move(line));
      ++done_;
    }
    arrived_.notify_all();
  }

  // Waits up to `wait` for `slot`; true when it is there.
  bool Take(size_t slot, std::chrono::milliseconds wait, ordered_json* line) {
    std::unique_lock<std::mutex> hold(mutex_);
    if (!arrived_.wait_for(hold, wait, [&] { return ready_.count(slot) > 0; })) return false;
    auto it = ready_.find(slot);
    *line = std::move(it->second);
    ready_.erase(it);
    return true;
  }

  size_t done() {
    std::lock_guard<std::mutex> hold(mutex_);
    return done_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::map<size_t, ordered_json> ready_;
  size_t done_ = 0;
};

}  // namespace

int RunBatch(const BatchOptions& options) {
  std::ifstream file;
  std::istream* in = &std::cin;
  if (options.input != "-") {
    file.open(options.input, std::ios::binary);
    if (!file) {
      std::cerr << "meshctl: " << options.input << ": cannot be read\n";
      return kExitBadInput;
    }
    in = &file;
  }
  std::vector<InputLine> lines;
  {
    std::string text;
    for (size_t number = 1; std::getline(*in, text); ++number) {
      if (IsBlankBatchLine(text)) continue;
      lines.push_back(InputLine{number, std::move(text)});
    }
  }

  std::ofstream out_file;
  std::ostream* out = &std::cout;
  if (options.output != "-") {
    out_file.open(options.output, std::ios::binary | std::ios::trunc);
    if (!out_file) {
      std::cerr << "meshctl: " << options.output << ": cannot be written\n";
      return kExitBadInput;
    }
    out = &out_file;
  }

  WorkerPoolOptions pool_options;
  pool_options.worker = options.worker;
  pool_options.workers = options.jobs;
  pool_options.timeout = options.timeout;
  Arrivals arrivals;
  std::map<std::string, size_t> counts;
  const Clock::time_point started = Clock::now();
  bool write_failed = false;
  {
    WorkerPool pool(pool_options);
    // Enough requests in flight to keep every worker busy, few enough that
    // answers waiting for an earlier slow one stay bounded.
    const size_t window = std::max<size_t>(8, 4 * pool.size());
    size_t submitted = 0;
    Clock::time_point last_drawn;
    for (size_t written = 0; written < lines.size();) {
      for (; submitted < lines.size() && submitted < written + window; ++submitted) {
        const InputLine& line = lines[submitted];
        MeshRequest request;
        ordered_json invalid;
        if (!ParseBatchRequestLine(line.text, line.number, &request, &invalid)) {
          arrivals.Put(submitted, std::move(invalid));
          continue;
        }
        if (options.all_quads) request.options |= kAllQuads;
        const size_t slot = submitted;
        const size_t number = line.number;
        pool.Submit(request, [&arrivals, slot, number](WorkerAnswer answer) {
          arrivals.Put(slot, BatchAnswerLine(number, answer));
        });
      }
      ordered_json result;
      if (arrivals.Take(written, std::chrono::milliseconds(100), &result)) {
        ++counts[result["outcome"].get<std::string>()];
        *out << DumpBatchLine(result) << '\n';
        if (!*out) write_failed = true;
        ++written;
      }
      const Clock::time_point now = Clock::now();
      if (options.progress && now - last_drawn >= std::chrono::milliseconds(100)) {
        DrawCountProgress(arrivals.done(), lines.size(),
                     std::chrono::duration<double>(now - started).count());
        last_drawn = now;
      }
      if (write_failed) break;
    }
  }
  out->flush();
  if (options.progress) std::fputs("\r\033[K", stderr);
  if (write_failed || !*out) {
    std::cerr << "meshctl: " << (options.output == "-" ? "standard output" : options.output)
              << ": write failed\n";
    return kExitBadInput;
  }

  const double seconds = std::chrono::duration<double>(Clock::now() - started).count();
  char elapsed[32];
  std::snprintf(elapsed, sizeof elapsed, "%.1f s", seconds);
  std::string summary = "meshctl: " + std::to_string(lines.size()) +
                        (lines.size() == 1 ? " request in " : " requests in ") + elapsed + ": " +
                        std::to_string(counts["meshed"]) + " meshed, " +
                        std::to_string(counts["refused"]) + " refused, " +
                        std::to_string(counts["timed_out"]) + " timed out";
  for (const char* rare : {"worker_died", "start_failed", "bad_answer", "invalid"}) {
    if (counts[rare] == 0) continue;
    std::string words = rare;
    std::replace(words.begin(), words.end(), '_', ' ');
    summary += ", " + std::to_string(counts[rare]) + " " + words;
  }
  std::cerr << summary << "\n";
  return counts["meshed"] == lines.size() ? kExitOk : kExitNotMeshed;
}

}  // namespace mesh

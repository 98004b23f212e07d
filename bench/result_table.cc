#include "bench/result_table.h"

#include <stdio.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <cstdarg>
#include <fstream>
#include <iostream>
#include <sstream>
#include <thread>

#include "bench/staged_job.h"

namespace mesh {

namespace {

std::string Format(const char* format, ...) __attribute__((format(printf, 1, 2)));
std::string Format(const char* format, ...) {
  char buffer[512];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  return buffer;
}

std::string LoadAverage() {
  std::ifstream file("/proc/loadavg");
  double one = 0, five = 0, fifteen = 0;
  file >> one >> five >> fifteen;
  return Format("%.2f %.2f %.2f", one, five, fifteen);
}

std::string CpuModel() {
  std::ifstream file("/proc/cpuinfo");
  std::string line;
  while (std::getline(file, line)) {
    if (line.compare(0, 10, "model name") == 0) {
      const size_t colon = line.find(':');
      if (colon != std::string::npos) return line.substr(colon + 2);
    }
  }
  return "unknown processor";
}

// 1234567 -> "1,234,567".
std::string Thousands(double value) {
  std::string digits = Format("%.0f", value);
  std::string out;
  const size_t start = digits[0] == '-' ? 1 : 0;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > start && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

std::string Milliseconds(double ms) {
  if (ms >= 10000) return Format("%.1f s", ms / 1000);
  if (ms >= 100) return Format("%.0f ms", ms);
  if (ms >= 1) return Format("%.1f ms", ms);
  return Format("%.3f ms", ms);
}

std::string Mebibytes(double kib) { return Format("%.0f MiB", kib / 1024); }

double Counter(const Measured& m, const std::string& name) {
  auto it = m.counters.find(name);
  return it == m.counters.end() ? 0 : it->second;
}

// Benchmarks are named here by function and arguments alone, without the
// suffixes Google Benchmark adds for manual time, minimum time and so on.
std::string KeyOf(const benchmark::BenchmarkReporter::Run& run) {
  std::string key = run.run_name.function_name;
  if (!run.run_name.args.empty()) key += "/" + run.run_name.args;
  return key;
}

struct Row {
  std::string what, time, ratio, memory, detail;
};

void PrintRows(const std::vector<Row>& rows, FILE* out) {
  const char* header[] = {"row", "time", "ratio / rate", "peak RSS", "detail"};
  size_t width[5] = {};
  for (int c = 0; c < 5; ++c) width[c] = std::string(header[c]).size();
  for (const Row& r : rows) {
    const std::string* cells[] = {&r.what, &r.time, &r.ratio, &r.memory, &r.detail};
    for (int c = 0; c < 5; ++c) width[c] = std::max(width[c], cells[c]->size());
  }
  auto print_line = [&](const std::string* cells[5]) {
    std::string line = "|";
    for (int c = 0; c < 5; ++c) {
      const std::string& cell = *cells[c];
      const std::string pad(width[c] - cell.size(), ' ');
      // Text left, figures right.
      line += " " + (c == 0 || c == 4 ? cell + pad : pad + cell) + " |";
    }
    fprintf(out, "%s\n", line.c_str());
  };
  std::string names[5];
  const std::string* header_cells[5];
  for (int c = 0; c < 5; ++c) {
    names[c] = header[c];
    header_cells[c] = &names[c];
  }
  print_line(header_cells);
  std::string rule = "|";
  for (int c = 0; c < 5; ++c) {
    rule += (c == 0 || c == 4) ? " " + std::string(width[c], '-') + " |"
                               : " " + std::string(width[c] - 1, '-') + ": |";
  }
  fprintf(out, "%s\n", rule.c_str());
  for (const Row& r : rows) {
    const std::string* cells[] = {&r.what, &r.time, &r.ratio, &r.memory, &r.detail};
    print_line(cells);
  }
}

}  // namespace

void ResultTable::AddCase(const std::string& name, const std::string& raw,
                          const std::string& worker, const std::string& stages) {
  groups_.push_back({kCase, name, {raw, worker, stages}});
}

void ResultTable::AddSmallFaces(const std::string& netgen, const std::string& process,
                                const std::string& pool1, const std::string& pool2) {
  groups_.push_back({kSmallFaces, "", {netgen, process, pool1, pool2}});
}

void ResultTable::AddPythonPool(const std::string& python, const std::string& pool) {
  groups_.push_back({kPythonPool, "", {python, pool}});
}

void ResultTable::AddStartUp(const std::string& meshed, const std::string& refused,
                             const std::string& slip) {
  groups_.push_back({kStartUp, "", {meshed, refused, slip}});
}

void ResultTable::AddExtraction(const std::string& benchmark) {
  groups_.push_back({kExtraction, "", {benchmark}});
}

void ResultTable::AddInsertion(const std::string& benchmark) {
  groups_.push_back({kInsertion, "", {benchmark}});
}

void ResultTable::AddAllQuads(const std::string& name, const std::string& benchmark) {
  groups_.push_back({kAllQuads, name, {benchmark}});
}

bool TableReporter::ReportContext(const Context&) {
  load_at_start_ = LoadAverage();
  std::cerr << "mesh-bench: load average " << load_at_start_ << " at start\n";
  return true;
}

void TableReporter::ReportRuns(const std::vector<Run>& runs) {
  for (const Run& run : runs) {
    if (run.error_occurred) {
      ++errors_;
      std::cerr << "mesh-bench: " << KeyOf(run) << " failed: " << run.error_message << "\n";
      continue;
    }
    const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
    const bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
    if (!median && !single) continue;
    Measured m;
    // The unit is milliseconds for every benchmark here.
    m.milliseconds = run.GetAdjustedRealTime();
    for (const auto& [name, counter] : run.counters) m.counters[name] = counter.value;
    measured_[KeyOf(run)] = m;
    std::cerr << "mesh-bench: " << KeyOf(run) << " " << Milliseconds(m.milliseconds) << "\n";
  }
}

const Measured* TableReporter::Find(const std::string& name) const {
  auto it = measured_.find(name);
  return it == measured_.end() ? nullptr : &it->second;
}

void TableReporter::Finalize() {
  std::vector<Row> rows;
  for (const ResultTable::Group& group : table_->groups_) {
    const std::vector<std::string>& b = group.benchmarks;
    switch (group.kind) {
      case ResultTable::kCase: {
        const Measured* raw = Find(b[0]);
        const Measured* worker = Find(b[1]);
        const Measured* stages = Find(b[2]);
        if (raw != nullptr) {
          rows.push_back({group.name + ": Netgen alone", Milliseconds(raw->milliseconds), "",
                          Mebibytes(Counter(*raw, "peak_kib")),
                          Thousands(Counter(*raw, "elements")) + " elements, " +
                              Thousands(Counter(*raw, "nodes")) + " nodes"});
        }
        if (worker != nullptr) {
          Row row{group.name + ": worker", Milliseconds(worker->milliseconds), "",
                  Mebibytes(Counter(*worker, "peak_kib")),
                  Thousands(Counter(*worker, "elements")) + " elements; " +
                      Mebibytes(Counter(*worker, "idle_kib")) + " resident before"};
          if (raw != nullptr)
            row.ratio = Format("%.3f x Netgen", worker->milliseconds / raw->milliseconds);
          rows.push_back(row);
        }
        if (stages != nullptr) {
          // Shares of the worker's end-to-end time when it was measured,
          // else of the stages' own total.
          const double whole = worker != nullptr ? worker->milliseconds : stages->milliseconds;
          std::string detail;
          double stage_sum = 0;
          for (int s = 0; s < kStageCount; ++s) {
            const char* name = StageName(static_cast<Stage>(s));
            const double ms = Counter(*stages, name) * 1000;
            stage_sum += ms;
            if (!detail.empty()) detail += ", ";
            detail += Format("%s %.2f%%", name, 100 * ms / whole);
          }
          if (worker != nullptr) {
            detail += Format("; pipes, process and client %.2f%%",
                             100 * (worker->milliseconds - stage_sum) / worker->milliseconds);
          }
          rows.push_back({group.name + ": stages in process", Milliseconds(stages->milliseconds),
                          "", "", detail});
        }
        break;
      }
      case ResultTable::kSmallFaces: {
        const char* labels[] = {"Netgen alone", "one WorkerProcess", "WorkerPool, 1 worker",
                                "WorkerPool, 2 workers"};
        const Measured* netgen = Find(b[0]);
        const Measured* pool1 = Find(b[2]);
        for (int i = 0; i < 4; ++i) {
          const Measured* m = Find(b[i]);
          if (m == nullptr) continue;
          const double requests = Counter(*m, "requests");
          const double rate = requests / (m->milliseconds / 1000);
          Row row{Format("%s small faces: %s", Thousands(requests).c_str(), labels[i]),
                  Milliseconds(m->milliseconds), Format("%.0f req/s", rate), "", ""};
          if (i == 0) {
            row.memory = Mebibytes(Counter(*m, "peak_kib"));
            row.detail = Format("%.0f elements, %.0f nodes each; in one process",
                                Counter(*m, "elements") / requests,
                                Counter(*m, "nodes") / requests);
            rows.push_back(row);
            continue;
          }
          row.detail = Format("%.0f elements each; client %.0f us of processor per request",
                              Counter(*m, "elements"), Counter(*m, "client_seconds") * 1e6);
          // One worker against Netgen alone, each meshing one face at a time.
          if (i == 1 && netgen != nullptr) {
            row.ratio = Format("%.3f x Netgen", m->milliseconds / netgen->milliseconds);
            row.detail = Format("%.0f req/s; ", rate) + row.detail;
          }
          if (i == 3 && pool1 != nullptr) {
            row.detail +=
                Format("; speed-up %.2f over 1 worker", pool1->milliseconds / m->milliseconds);
          }
          rows.push_back(row);
        }
        break;
      }
      case ResultTable::kPythonPool: {
        const Measured* m = Find(b[0]);
        if (m == nullptr) break;
        const Measured* pool = Find(b[1]);
        const double workers = Counter(*m, "workers");
        Row row{Format("%s small faces: Python Pool.map, %.0f worker%s",
                       Thousands(Counter(*m, "requests")).c_str(), workers,
                       workers == 1 ? "" : "s"),
                Milliseconds(m->milliseconds),
                Format("%.0f req/s", Counter(*m, "requests") / (m->milliseconds / 1000)), "",
                Format("%.0f elements each; Python %.0f us of processor per request",
                       Counter(*m, "elements"), Counter(*m, "client_seconds") * 1e6)};
        row.detail += Format("; %.3f x a WorkerPool of as many workers run just before it",
                             Counter(*m, "paired_ratio"));
        if (pool != nullptr) {
          row.detail += Format(", %.3f x the row above", m->milliseconds / pool->milliseconds);
        }
        rows.push_back(row);
        break;
      }
      case ResultTable::kStartUp: {
        if (const Measured* m = Find(b[0])) {
          rows.push_back({"worker start-up to first answer", Milliseconds(m->milliseconds), "", "",
                          "spawn, load, start Netgen, mesh one small face"});
        }
        if (const Measured* m = Find(b[1])) {
          rows.push_back({"worker start-up to first refusal", Milliseconds(m->milliseconds), "", "",
                          "spawn and load only: refused before Netgen starts"});
        }
        if (const Measured* m = Find(b[2])) {
          rows.push_back({"100 m x 30 m wall at 0.001 m refused", Milliseconds(m->milliseconds),
                          "", Mebibytes(Counter(*m, "peak_kib")),
                          "a warm worker, then the next face meshed; targets under 1 s, 200 MiB"});
        }
        break;
      }
      case ResultTable::kExtraction: {
        const Measured* m = Find(b[0]);
        if (m == nullptr) break;
        const double meshing_ms = Counter(*m, "meshing") * 1000;
        rows.push_back(
            {Format("extraction: %s nodes x %s segments", Thousands(Counter(*m, "nodes")).c_str(),
                    Thousands(Counter(*m, "segments")).c_str()),
             Milliseconds(m->milliseconds),
             Format("%.2f%% of meshing", 100 * m->milliseconds / meshing_ms), "",
             Format("matching %s, vertices+elements %s, chains %s; answer check %s "
                    "(%.2f%% of meshing); meshing %s",
                    Milliseconds(Counter(*m, "matching") * 1000).c_str(),
                    Milliseconds(Counter(*m, "elements") * 1000).c_str(),
                    Milliseconds(Counter(*m, "chains") * 1000).c_str(),
                    Milliseconds(Counter(*m, "check") * 1000).c_str(),
                    100 * Counter(*m, "check") * 1000 / meshing_ms,
                    Milliseconds(meshing_ms).c_str())});
        break;
      }
      case ResultTable::kInsertion: {
        const Measured* m = Find(b[0]);
        if (m == nullptr) break;
        const double meshing_ms = Counter(*m, "meshing") * 1000;
        rows.push_back({Format("insertion: %s interior-only points, %s elements",
                               Thousands(Counter(*m, "points")).c_str(),
                               Thousands(Counter(*m, "elements")).c_str()),
                        Milliseconds(m->milliseconds),
                        Format("%.2f%% of meshing", 100 * m->milliseconds / meshing_ms), "",
                        Format("%s vertices added; matching them %s; meshing %s",
                               Thousands(Counter(*m, "inserted")).c_str(),
                               Milliseconds(Counter(*m, "matching") * 1000).c_str(),
                               Milliseconds(meshing_ms).c_str())});
        break;
      }
      case ResultTable::kAllQuads: {
        const Measured* m = Find(b[0]);
        if (m == nullptr) break;
        const double plain_ms = Counter(*m, "plain_seconds") * 1000;
        rows.push_back(
            {group.name + ": all quads", Milliseconds(m->milliseconds),
             Format("%.2f x plain quads", m->milliseconds / plain_ms), "",
             Format("%s quads at %.4g m against %s quads and triangles at %.4g m in %s (%.2f x "
                    "per element); quality worst %.2f, mean %.2f (plain %.2f, %.2f)",
                    Thousands(Counter(*m, "elements")).c_str(), Counter(*m, "target_size"),
                    Thousands(Counter(*m, "plain_elements")).c_str(),
                    Counter(*m, "plain_target_size"), Milliseconds(plain_ms).c_str(),
                    (m->milliseconds / Counter(*m, "elements")) /
                        (plain_ms / Counter(*m, "plain_elements")),
                    Counter(*m, "worst_quality"), Counter(*m, "mean_quality"),
                    Counter(*m, "plain_worst_quality"), Counter(*m, "plain_mean_quality"))});
        break;
      }
    }
  }

  utsname host{};
  uname(&host);
  fprintf(out_, "mesh-bench on %s, %u cores, %s %s; load average %s at start, %s at end\n\n",
          CpuModel().c_str(), std::thread::hardware_concurrency(), host.sysname, host.release,
          load_at_start_.c_str(), LoadAverage().c_str());
  PrintRows(rows, out_);
  fflush(out_);
}

}  // namespace mesh

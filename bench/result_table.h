// The one table mesh-bench prints: Google Benchmark measures the rows, this
// reporter keeps each benchmark's median and, once all have run, prints them
// side by side with the figures derived from several rows (worker / Netgen
// ratios, stage shares, pool speed-up).
#ifndef MESH_WORKER_BENCH_RESULT_TABLE_H_
#define MESH_WORKER_BENCH_RESULT_TABLE_H_

#include <benchmark/benchmark.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

namespace mesh {

// Which benchmarks make up which rows, in the order they are printed.
class ResultTable {
 public:
  void AddCase(const std::string& name, const std::string& raw, const std::string& worker,
               const std::string& stages);
  void AddSmallFaces(const std::string& netgen, const std::string& process,
                     const std::string& pool1, const std::string& pool2);
  // `python` against `pool`: the same faces, the same number of workers.
  void AddPythonPool(const std::string& python, const std::string& pool);
  // `slip`: a warm worker refusing a request far too large to mesh.
  void AddStartUp(const std::string& meshed, const std::string& refused,
                  const std::string& slip);
  void AddExtraction(const std::string& benchmark);
  void AddInsertion(const std::string& benchmark);
  // All quads against plain quads of about the same element count.
  void AddAllQuads(const std::string& name, const std::string& benchmark);

 private:
  friend class TableReporter;
  enum Kind { kCase, kSmallFaces, kPythonPool, kStartUp, kExtraction, kInsertion, kAllQuads };
  struct Group {
    Kind kind;
    std::string name;
    std::vector<std::string> benchmarks;
  };
  std::vector<Group> groups_;
};

// One measured benchmark: its median time in milliseconds and its counters.
struct Measured {
  double milliseconds = 0;
  std::map<std::string, double> counters;
};

class TableReporter : public benchmark::BenchmarkReporter {
 public:
  // The table is printed to `out` once every benchmark has run.
  TableReporter(const ResultTable* table, FILE* out) : table_(table), out_(out) {}

  bool ReportContext(const Context& context) override;
  void ReportRuns(const std::vector<Run>& runs) override;
  void Finalize() override;

  int errors() const { return errors_; }

 private:
  const Measured* Find(const std::string& name) const;

  const ResultTable* table_;
  FILE* out_;
  std::map<std::string, Measured> measured_;
  std::string load_at_start_;
  int errors_ = 0;
};

}  // namespace mesh

#endif  // MESH_WORKER_BENCH_RESULT_TABLE_H_

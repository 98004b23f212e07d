// mesh-bench: what the worker costs over Netgen alone, and how it scales.
// Every row of the one table it prints is measured in the same run:
//   - Netgen alone (geometry and GenerateMesh, Netgen's boundary sampling
//     as it ships) in mesh-bench-netgen, per case and over the small faces;
//   - the same request through a spawned worker, frames over pipes, and the
//     ratio of the two;
//   - each stage's share of the worker's time, measured in this process by
//     running the worker's stages one by one;
//   - small faces by the thousand through one worker and through pools,
//     and through the Python package's Pool.map;
//   - worker start-up to its first answer;
//   - extraction against nodes x segments, insertion against the number of
//     interior-only points;
//   - each case with all quads against plain quads of as many elements.
//
//   mesh-bench [--benchmark_filter=REGEX] [--benchmark_repetitions=N] ...
//
// Rows are medians over the repetitions (3 unless told otherwise).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/resource.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <future>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_requests.h"
#include "bench/python_pool_run.h"
#include "bench/result_table.h"
#include "bench/staged_job.h"
#include "client/worker_pool.h"
#include "client/worker_process.h"
#include "extract/extract.h"
#include "formats/mesh_quality.h"
#include "protocol/mesh_request.h"
#include "protocol/worker_contract.h"

namespace mesh {
namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

WorkerOptions BenchWorkerOptions() {
  WorkerOptions options;
  const char* path = getenv("MESH_WORKER");
  options.worker_path = path != nullptr && *path != '\0' ? path : MESH_WORKER_PATH;
  options.unset_env = {kHangTestVariable};
  return options;
}

// A field of /proc/PID/status in KiB, or -1.
long StatusKib(pid_t pid, const char* field) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  const size_t length = strlen(field);
  while (std::getline(status, line)) {
    if (line.compare(0, length, field) == 0) return atol(line.c_str() + length);
  }
  return -1;
}

// Processor time this process has used, user and system, in seconds.
double OwnProcessorSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
}

size_t ElementCount(const PlanarComplexMesh& mesh) {
  return mesh.quads.size() + mesh.triangles.size();
}

// --- Netgen alone, the worker, the stages --------------------------------
//
// Netgen alone and the stages run in a fresh copy of this program, one per
// benchmark run, as the worker runs in a fresh process: Netgen meshes a
// good deal slower in a process whose heap earlier large meshes have left
// fragmented, which would flatter the worker. Each copy, like each worker,
// meshes one small face first and then the case over and over, and reports
// one line per mesh and its peak resident memory.

constexpr char kChildFlag[] = "--measure-in-child=";

// Netgen alone runs in its own program, which links Netgen's boundary
// sampling rather than the worker's.
std::string NetgenAlonePath() {
  const char* path = getenv("MESH_BENCH_NETGEN");
  return path != nullptr && *path != '\0' ? path : MESH_BENCH_NETGEN_PATH;
}

std::string OwnPath() {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  return std::string(self, static_cast<size_t>(length));
}

// Runs `program` with `arguments` and returns the numbers of each line it
// printed. Empty when it failed.
std::vector<std::vector<double>> MeasureInChild(const std::string& program,
                                                const std::string& arguments) {
  if (program.empty() || program.find('\'') != std::string::npos) return {};
  // popen runs this through the shell: a path, quoted, and words made here.
  const std::string command = "'" + program + "' " + arguments;
  FILE* child = popen(command.c_str(), "r");
  if (child == nullptr) return {};
  std::vector<std::vector<double>> lines;
  char buffer[4096];
  while (fgets(buffer, sizeof buffer, child) != nullptr) {
    std::vector<double> numbers;
    char* at = buffer;
    for (char* end = nullptr;; at = end) {
      const double value = strtod(at, &end);
      if (end == at) break;
      numbers.push_back(value);
    }
    lines.push_back(numbers);
  }
  if (pclose(child) != 0) return {};
  return lines;
}

// The child's side (`--measure-in-child=stages CASE ITERATIONS`). Lines: the
// seconds of every stage per mesh; then the peak resident memory in KiB
// alone on the last line.
int RunChild(const std::string& mode, size_t case_index, int64_t iterations, FILE* out) {
  const std::vector<BenchCase> cases = MeshingCases();
  if (case_index >= cases.size() || iterations < 1) return 2;
  const MeshRequest& request = cases[case_index].request;
  if (mode == "stages") {
    DrainedPipe sink;
    if (!RunStagedJob(EncodeMeshRequest(SmallFaceRequest(0)), sink).ok) return 1;
    const std::string payload = EncodeMeshRequest(request);
    for (int64_t i = 0; i < iterations; ++i) {
      const StagedJobResult run = RunStagedJob(payload, sink);
      if (!run.ok) {
        fprintf(stderr, "mesh-bench: %s\n", run.error.c_str());
        return 1;
      }
      for (double seconds : run.stages.seconds) fprintf(out, "%.9g ", seconds);
      fprintf(out, "\n");
    }
  } else {
    return 2;
  }
  fprintf(out, "%ld\n", StatusKib(getpid(), "VmHWM:"));
  return fflush(out) == 0 ? 0 : 1;
}

// `which` is a case index or "small" for the stream of small faces.
void RawNetgen(benchmark::State& state, const std::string& which) {
  const auto lines = MeasureInChild(
      NetgenAlonePath(), which + " " + std::to_string(state.max_iterations));
  if (lines.size() != static_cast<size_t>(state.max_iterations) + 1) {
    state.SkipWithError("Netgen failed");
    return;
  }
  size_t i = 0;
  for (auto _ : state) state.SetIterationTime(lines[i++].at(0));
  state.counters["elements"] = lines[0].at(1);
  state.counters["nodes"] = lines[0].at(2);
  state.counters["peak_kib"] = lines.back().at(0);
  if (which == "small") state.counters["requests"] = kSmallFaceCount;
}

void ThroughWorker(benchmark::State& state, const MeshRequest& request) {
  WorkerProcess worker(BenchWorkerOptions());
  // The library start belongs to the start-up rows, not to this one.
  const WorkerAnswer warm = worker.Mesh(SmallFaceRequest(0));
  if (!warm.ok()) {
    state.SkipWithError(("warm-up: " + warm.Describe()).c_str());
    return;
  }
  const long idle_kib = StatusKib(worker.pid(), "VmRSS:");
  size_t elements = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const WorkerAnswer answer = worker.Mesh(request);
    state.SetIterationTime(SecondsSince(start));
    if (!answer.ok()) {
      state.SkipWithError(answer.Describe().c_str());
      return;
    }
    elements = ElementCount(answer.mesh);
  }
  state.counters["elements"] = static_cast<double>(elements);
  state.counters["peak_kib"] = static_cast<double>(StatusKib(worker.pid(), "VmHWM:"));
  state.counters["idle_kib"] = static_cast<double>(idle_kib);
}

void Stages(benchmark::State& state, size_t case_index) {
  const auto lines = MeasureInChild(OwnPath(), std::string(kChildFlag) + "stages " +
                                                  std::to_string(case_index) + " " +
                                                  std::to_string(state.max_iterations));
  if (lines.size() != static_cast<size_t>(state.max_iterations) + 1) {
    state.SkipWithError("the staged job failed");
    return;
  }
  StageSeconds sum;
  size_t i = 0;
  for (auto _ : state) {
    StageSeconds run;
    for (int s = 0; s < kStageCount; ++s) run.seconds[s] = lines[i].at(s);
    ++i;
    state.SetIterationTime(run.Total());
    for (int s = 0; s < kStageCount; ++s) sum.seconds[s] += run.seconds[s];
  }
  const double iterations = static_cast<double>(state.iterations());
  for (int s = 0; s < kStageCount; ++s) {
    state.counters[StageName(static_cast<Stage>(s))] = sum.seconds[s] / iterations;
  }
}

// --- Small requests -------------------------------------------------------

const std::vector<MeshRequest>& SmallFaces() {
  static const std::vector<MeshRequest> faces = [] {
    std::vector<MeshRequest> all;
    for (int i = 0; i < kSmallFaceCount; ++i) all.push_back(SmallFaceRequest(i));
    return all;
  }();
  return faces;
}

void SmallFacesThroughProcess(benchmark::State& state) {
  WorkerProcess worker(BenchWorkerOptions());
  if (!worker.Mesh(SmallFaceRequest(0)).ok()) {
    state.SkipWithError("warm-up failed");
    return;
  }
  size_t elements = 0;
  const double processor_start = OwnProcessorSeconds();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    elements = 0;
    for (const MeshRequest& face : SmallFaces()) {
      const WorkerAnswer answer = worker.Mesh(face);
      if (!answer.ok()) {
        state.SkipWithError(answer.Describe().c_str());
        return;
      }
      elements += ElementCount(answer.mesh);
    }
    state.SetIterationTime(SecondsSince(start));
  }
  state.counters["requests"] = kSmallFaceCount;
  state.counters["elements"] = static_cast<double>(elements) / kSmallFaceCount;
  state.counters["client_seconds"] = (OwnProcessorSeconds() - processor_start) /
                                     static_cast<double>(state.iterations() * kSmallFaceCount);
}

void SmallFacesThroughPool(benchmark::State& state) {
  WorkerPoolOptions options;
  options.worker = BenchWorkerOptions();
  options.workers = static_cast<size_t>(state.range(0));
  WorkerPool pool(options);
  // Every worker started and its library loaded before the clock runs.
  {
    std::vector<std::future<WorkerAnswer>> warm;
    for (size_t i = 0; i < 4 * options.workers; ++i)
      warm.push_back(pool.Submit(SmallFaceRequest(0)));
    for (auto& answer : warm) answer.get();
  }
  size_t elements = 0;
  const double processor_start = OwnProcessorSeconds();
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    std::vector<std::future<WorkerAnswer>> answers;
    answers.reserve(kSmallFaceCount);
    for (const MeshRequest& face : SmallFaces()) answers.push_back(pool.Submit(face));
    elements = 0;
    bool all_ok = true;
    for (auto& future : answers) {
      const WorkerAnswer answer = future.get();
      all_ok = all_ok && answer.ok();
      elements += ElementCount(answer.mesh);
    }
    state.SetIterationTime(SecondsSince(start));
    if (!all_ok) {
      state.SkipWithError("a small face was not meshed");
      return;
    }
  }
  state.counters["requests"] = kSmallFaceCount;
  state.counters["elements"] = static_cast<double>(elements) / kSmallFaceCount;
  state.counters["workers"] = static_cast<double>(options.workers);
  state.counters["client_seconds"] = (OwnProcessorSeconds() - processor_start) /
                                     static_cast<double>(state.iterations() * kSmallFaceCount);
}

#ifdef MESHWORKER_PYTHONPATH
// Seconds for the small faces through a fresh WorkerPool of `workers`,
// started and warmed up as the pool rows' are; 0 when a face failed.
double PoolSecondsForSmallFaces(size_t workers) {
  WorkerPoolOptions options;
  options.worker = BenchWorkerOptions();
  options.workers = workers;
  WorkerPool pool(options);
  std::vector<std::future<WorkerAnswer>> warm;
  for (size_t i = 0; i < 4 * workers; ++i) warm.push_back(pool.Submit(SmallFaceRequest(0)));
  for (auto& answer : warm) answer.get();
  const Clock::time_point start = Clock::now();
  std::vector<std::future<WorkerAnswer>> answers;
  for (const MeshRequest& face : SmallFaces()) answers.push_back(pool.Submit(face));
  bool all_ok = true;
  for (auto& future : answers) all_ok = future.get().ok() && all_ok;
  return all_ok ? SecondsSince(start) : 0;
}

// The same faces through the Python package's Pool.map, in a Python
// process. Each run is paired with a C++ pool run just before it: on a
// shared machine the load moves between rows, and the ratio of a pair
// says more than the ratio of two rows measured a minute apart.
void SmallFacesThroughPython(benchmark::State& state) {
  const size_t workers = static_cast<size_t>(state.range(0));
  double pool_seconds = 0;
  for (auto _ : state) {
    pool_seconds = PoolSecondsForSmallFaces(workers);
    const PythonPoolRun run =
        RunPythonPool(MESHWORKER_PYTHON, PYTHON_POOL_BENCH, MESHWORKER_PYTHONPATH, SmallFaces(),
                      workers, BenchWorkerOptions().worker_path);
    if (!run.error.empty() || pool_seconds == 0) {
      state.SkipWithError(run.error.empty() ? "a small face was not meshed" : run.error.c_str());
      return;
    }
    state.SetIterationTime(run.seconds);
    state.counters["elements"] = run.elements;
    state.counters["client_seconds"] = run.client_seconds / kSmallFaceCount;
    state.counters["paired_ratio"] = run.seconds / pool_seconds;
  }
  state.counters["requests"] = kSmallFaceCount;
  state.counters["workers"] = static_cast<double>(workers);
}
#endif

// From spawning a worker to its first answer: `refused` sends a request the
// input checks refuse, so the library is never started and what remains is
// the process and its shared libraries.
void StartUp(benchmark::State& state, bool refused) {
  MeshRequest request = SmallFaceRequest(0);
  if (refused) request.target_size = 0;
  for (auto _ : state) {
    WorkerProcess worker(BenchWorkerOptions());
    const Clock::time_point start = Clock::now();
    const WorkerAnswer answer = worker.Mesh(request);
    state.SetIterationTime(SecondsSince(start));
    const CallOutcome expected = refused ? CallOutcome::kRefused : CallOutcome::kSuccess;
    if (answer.outcome != expected) {
      state.SkipWithError(answer.Describe().c_str());
      return;
    }
  }
}

// A unit slip: a 100 m x 30 m wall at 1 "mm" read as metres asks for
// billions of elements. The worker must refuse it before Netgen allocates
// anything, so the refusal costs what a refused start does and its peak
// memory stays that of a worker that has meshed one small face.
void SizeSlip(benchmark::State& state) {
  WorkerProcess worker(BenchWorkerOptions());
  if (!worker.Mesh(SmallFaceRequest(0)).ok()) {
    state.SkipWithError("warm-up failed");
    return;
  }
  MeshRequest wall;
  wall.points = {{0, 0, 0}, {100, 0, 0}, {100, 30, 0}, {0, 30, 0}};
  wall.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  wall.target_size = 0.001;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    const WorkerAnswer answer = worker.Mesh(wall);
    state.SetIterationTime(SecondsSince(start));
    if (answer.outcome != CallOutcome::kRefused) {
      state.SkipWithError(("the wall was not refused: " + answer.Describe()).c_str());
      return;
    }
  }
  state.counters["peak_kib"] = static_cast<double>(StatusKib(worker.pid(), "VmHWM:"));
  if (!worker.Mesh(SmallFaceRequest(1)).ok()) state.SkipWithError("no answer after the refusal");
}

// --- All quads --------------------------------------------------------------

struct QualitySummary {
  double worst = 0;
  double mean = 0;
};

QualitySummary Quality(const PlanarComplexMesh& mesh) {
  QualitySummary summary;
  const std::vector<ElementShape> shapes = ElementShapes(mesh);
  if (shapes.empty()) return summary;
  summary.worst = shapes[0].quality;
  for (const ElementShape& shape : shapes) {
    summary.worst = std::min(summary.worst, shape.quality);
    summary.mean += shape.quality;
  }
  summary.mean /= static_cast<double>(shapes.size());
  return summary;
}

// `request` with all quads against the same shape meshed plainly, the
// all-quad size tuned once so that both have about as many elements: what
// a caller pays for quads only at the resolution they asked for. Where
// short boundary segments fix the size along the boundary (the circle), no
// size evens the counts out, and the time per element is the fairer
// figure. Each repetition times both on one warm worker, the plain first.
void AllQuadsAgainstPlain(benchmark::State& state, const MeshRequest& request) {
  WorkerProcess worker(BenchWorkerOptions());
  MeshRequest plain = request;
  plain.prefer_quads = true;
  MeshRequest all_quads = plain;
  all_quads.options |= kAllQuads;
  const WorkerAnswer plain_first = worker.Mesh(plain);
  const WorkerAnswer all_first = worker.Mesh(all_quads);
  if (!plain_first.ok() || !all_first.ok()) {
    state.SkipWithError("the first answers failed");
    return;
  }
  const double count_ratio = static_cast<double>(ElementCount(all_first.mesh)) /
                              static_cast<double>(ElementCount(plain_first.mesh));
  const double scale = std::sqrt(count_ratio);
  all_quads.target_size *= scale;
  for (double& size : all_quads.domain_target_sizes) size *= scale;
  double plain_seconds = 0;
  WorkerAnswer plain_answer, all_answer;
  for (auto _ : state) {
    Clock::time_point start = Clock::now();
    plain_answer = worker.Mesh(plain);
    plain_seconds += SecondsSince(start);
    start = Clock::now();
    all_answer = worker.Mesh(all_quads);
    state.SetIterationTime(SecondsSince(start));
    if (!plain_answer.ok() || !all_answer.ok()) {
      state.SkipWithError((plain_answer.Describe() + "; " + all_answer.Describe()).c_str());
      return;
    }
  }
  const QualitySummary quality = Quality(all_answer.mesh);
  const QualitySummary plain_quality = Quality(plain_answer.mesh);
  state.counters["plain_seconds"] = plain_seconds / static_cast<double>(state.iterations());
  state.counters["elements"] = static_cast<double>(ElementCount(all_answer.mesh));
  state.counters["plain_elements"] = static_cast<double>(ElementCount(plain_answer.mesh));
  state.counters["target_size"] = all_quads.target_size;
  state.counters["plain_target_size"] = plain.target_size;
  state.counters["worst_quality"] = quality.worst;
  state.counters["mean_quality"] = quality.mean;
  state.counters["plain_worst_quality"] = plain_quality.worst;
  state.counters["plain_mean_quality"] = plain_quality.mean;
}

// --- Scaling of the extraction and the insertion -------------------------

// The scaling rows time the extraction many times over one mesh; meshing it
// again for every repetition would cost a minute. One mesh is kept at a time.
struct CachedBuild {
  std::string key;
  MeshRequest request;
  PlanarMeshBuild build;
  double meshing_seconds = 0;
};

CachedBuild& BuildOnce(const std::string& key, const MeshRequest& request) {
  static CachedBuild cached;
  if (cached.key != key) {
    cached = CachedBuild();
    cached.key = key;
    cached.request = request;
    cached.build = BuildForBench(request, &cached.meshing_seconds);
  }
  return cached;
}

// A 1 m square with `segments` boundary segments meshed at `target_size`.
void ExtractionScaling(benchmark::State& state, double target_size, int segments) {
  CachedBuild& cached =
      BuildOnce("extraction " + std::to_string(target_size) + " " + std::to_string(segments),
                SquareRequest(1.0, target_size, segments / 4));
  if (!cached.build.ok) {
    state.SkipWithError("BuildPlanarMesh failed");
    return;
  }
  ExtractionSeconds sum;
  for (auto _ : state) {
    ExtractionSeconds seconds;
    const PlanarComplexMesh record =
        ExtractToPlanarComplexMesh(*cached.build.mesh, cached.build.frame,
                                   cached.build.plane_points, cached.request, &seconds)
            .record;
    if (record.vertices.empty()) {
      state.SkipWithError("extraction failed");
      return;
    }
    state.SetIterationTime(seconds.matching + seconds.elements + seconds.insertion +
                           seconds.chains);
    sum.matching += seconds.matching;
    sum.elements += seconds.elements;
    sum.chains += seconds.chains;
    sum.check += seconds.check;
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["nodes"] = cached.build.mesh->NodeCount();
  state.counters["segments"] = static_cast<double>(cached.request.segments.size());
  state.counters["meshing"] = cached.meshing_seconds;
  state.counters["matching"] = sum.matching / iterations;
  state.counters["elements"] = sum.elements / iterations;
  state.counters["chains"] = sum.chains / iterations;
  // Timed apart from the extraction, so its share of meshing shows alone.
  state.counters["check"] = sum.check / iterations;
}

// A 10 m square at about 100k elements: its elements are larger than the
// distance within which a point takes an existing vertex, so most points
// really split an edge or an element.
void InsertionScaling(benchmark::State& state) {
  const int points = static_cast<int>(state.range(0));
  MeshRequest request = SquareRequest(10.0, 10.0 / std::sqrt(100000.0), 1);
  AddInteriorPoints(&request, points, 0.2, 9.8, 20240607);
  CachedBuild& cached = BuildOnce("insertion " + std::to_string(points), request);
  if (!cached.build.ok) {
    state.SkipWithError("BuildPlanarMesh failed");
    return;
  }
  ExtractionSeconds sum;
  size_t inserted = 0;
  size_t elements = 0;
  for (auto _ : state) {
    ExtractionSeconds seconds;
    const PlanarComplexMesh record =
        ExtractToPlanarComplexMesh(*cached.build.mesh, cached.build.frame,
                                   cached.build.plane_points, cached.request, &seconds)
            .record;
    if (record.vertices.empty()) {
      state.SkipWithError("extraction failed");
      return;
    }
    state.SetIterationTime(seconds.insertion);
    sum.insertion += seconds.insertion;
    sum.matching += seconds.matching;
    inserted = record.vertices.size() - static_cast<size_t>(cached.build.mesh->NodeCount());
    elements = ElementCount(record);
  }
  const double iterations = static_cast<double>(state.iterations());
  state.counters["points"] = points;
  state.counters["inserted"] = static_cast<double>(inserted);
  state.counters["elements"] = static_cast<double>(elements);
  state.counters["meshing"] = cached.meshing_seconds;
  state.counters["matching"] = sum.matching / iterations;
}

// --- Registration -----------------------------------------------------------

void RegisterAll(ResultTable* table) {
  auto common = [](benchmark::internal::Benchmark* b) {
    return b->Unit(benchmark::kMillisecond)->UseManualTime();
  };
  const std::vector<BenchCase> cases = MeshingCases();
  for (size_t index = 0; index < cases.size(); ++index) {
    const BenchCase& c = cases[index];
    const MeshRequest request = c.request;
    const std::string raw = "raw/" + c.name;
    const std::string worker = "worker/" + c.name;
    const std::string stages = "stages/" + c.name;
    common(benchmark::RegisterBenchmark(raw.c_str(), [index](benchmark::State& s) {
      RawNetgen(s, std::to_string(index));
    }))->MinTime(0.5);
    common(benchmark::RegisterBenchmark(worker.c_str(), [request](benchmark::State& s) {
      ThroughWorker(s, request);
    }))->MinTime(0.5);
    common(benchmark::RegisterBenchmark(stages.c_str(), [index](benchmark::State& s) {
      Stages(s, index);
    }))->MinTime(0.5);
    table->AddCase(c.name, raw, worker, stages);
  }

  common(benchmark::RegisterBenchmark("small/netgen", [](benchmark::State& s) {
    RawNetgen(s, "small");
  }))->Iterations(1);
  common(benchmark::RegisterBenchmark("small/process", SmallFacesThroughProcess))->Iterations(1);
  common(benchmark::RegisterBenchmark("small/pool", SmallFacesThroughPool))
      ->Arg(1)
      ->Arg(2)
      ->Iterations(1);
  table->AddSmallFaces("small/netgen", "small/process", "small/pool/1", "small/pool/2");
#ifdef MESHWORKER_PYTHONPATH
  common(benchmark::RegisterBenchmark("small/python", SmallFacesThroughPython))
      ->Arg(2)
      ->Iterations(1);
  table->AddPythonPool("small/python/2", "small/pool/2");
#endif

  common(benchmark::RegisterBenchmark("startup/meshed", [](benchmark::State& s) {
    StartUp(s, false);
  }))->Iterations(10);
  common(benchmark::RegisterBenchmark("startup/refused", [](benchmark::State& s) {
    StartUp(s, true);
  }))->Iterations(10);
  common(benchmark::RegisterBenchmark("startup/slip", SizeSlip))->Iterations(10);
  table->AddStartUp("startup/meshed", "startup/refused", "startup/slip");

  // Sizes that give about 10k and 100k nodes: 2000 short boundary segments
  // crowd nodes along the boundary, so they need a coarser size for the same
  // count. (10k nodes with 2000 segments is left out: Netgen takes half a
  // minute over that mesh.)
  const struct {
    const char* name;
    double target_size;
    int segments;
  } extraction_rows[] = {
      {"extraction/10k nodes, 200 segments", 0.01, 200},
      {"extraction/100k nodes, 200 segments", 1 / std::sqrt(100000.0), 200},
      {"extraction/100k nodes, 2000 segments", 0.005, 2000},
  };
  for (const auto& row : extraction_rows) {
    const double target_size = row.target_size;
    const int segments = row.segments;
    common(benchmark::RegisterBenchmark(row.name, [target_size, segments](benchmark::State& s) {
      ExtractionScaling(s, target_size, segments);
    }))->MinTime(0.5);
    table->AddExtraction(row.name);
  }
  for (const BenchCase& c : cases) {
    const std::string name = "all_quads/" + c.name;
    const MeshRequest request = c.request;
    common(benchmark::RegisterBenchmark(name.c_str(), [request](benchmark::State& s) {
      AllQuadsAgainstPlain(s, request);
    }))->MinTime(0.5);
    table->AddAllQuads(c.name, name);
  }

  auto* insertion = common(benchmark::RegisterBenchmark("insertion", InsertionScaling));
  insertion->ArgNames({"points"})->MinTime(0.5);
  for (int points : {10, 100, 1000}) {
    insertion->Arg(points);
    table->AddInsertion("insertion/points:" + std::to_string(points));
  }
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  // Netgen talks on standard output while it meshes (the worker sends that
  // to its standard error). Here it goes nowhere, and the table goes to the
  // standard output the bench was started with.
  const int table_fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (table_fd < 0 || null_fd < 0 || dup2(null_fd, 1) < 0) {
    perror("mesh-bench: setting up standard output");
    return 1;
  }
  close(null_fd);
  FILE* table_stream = fdopen(table_fd, "w");

  if (argc == 4 && strncmp(argv[1], mesh::kChildFlag, strlen(mesh::kChildFlag)) == 0) {
    return mesh::RunChild(argv[1] + strlen(mesh::kChildFlag),
                          static_cast<size_t>(atol(argv[2])), atoll(argv[3]), table_stream);
  }

  // Medians of three unless the command line says otherwise.
  std::vector<char*> args(argv, argv + argc);
  bool repetitions_given = false;
  for (int i = 1; i < argc; ++i) {
    if (strncmp(argv[i], "--benchmark_repetitions", 23) == 0) repetitions_given = true;
  }
  static char repetitions[] = "--benchmark_repetitions=3";
  static char aggregates[] = "--benchmark_report_aggregates_only=true";
  if (!repetitions_given) args.push_back(repetitions);
  args.push_back(aggregates);
  int count = static_cast<int>(args.size());
  benchmark::Initialize(&count, args.data());
  if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

  mesh::ResultTable table;
  mesh::RegisterAll(&table);
  mesh::TableReporter reporter(&table, table_stream);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return reporter.errors() == 0 ? 0 : 1;
}

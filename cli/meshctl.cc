// meshctl: the mesh worker for people. Meshes JSON or Triangle .poly
// requests through a supervised worker, writes the answers as JSON, SVG,
// VTK and Gmsh files, runs batches through a pool of workers, and converts
// between JSON and raw frames for debugging a parent.
//
// Exit codes: 0 done; 1 bad input, bad usage, or a file that cannot be read
// or written; 2 the worker refused the request (for batch: some request was
// not meshed); 3 the worker failed: it timed out, died, could not be started
// or answered out of protocol.
#include <limits.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <CLI/CLI.hpp>
#include <nlohmann/json.hpp>

#include "cli/batch.h"
#include "cli/exit_codes.h"
#include "cli/memory_limit.h"
#include "cli/model_command.h"
#include "cli/progress_display.h"
#include "cli/stats.h"
#include "cli/whole_file.h"
#include "client/worker_process.h"
#include "formats/mesh_export.h"
#include "formats/mesh_json.h"
#include "formats/mesh_quality.h"
#include "formats/poly_reader.h"
#include "protocol/frame.h"

namespace mesh {
namespace {

constexpr char kWorkerVariable[] = "MESHCTL_WORKER";

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

// What the command line may change in a request read from a file.
struct RequestOverrides {
  double target_size = 0;  // 0: keep the file's
  bool triangles = false;
  bool keep_boundary = false;
  bool all_quads = false;
};

void AddRequestOptions(CLI::App* command, RequestOverrides* overrides) {
  command->add_option("--target-size", overrides->target_size,
                      "target element size in metres, replacing the request's own (a .poly "
                      "file has none; without this option it gets 1/20 of its extent)")
      ->check(CLI::PositiveNumber);
  command->add_flag("--triangles", overrides->triangles, "mesh with triangles only");
  command->add_flag("--keep-boundary", overrides->keep_boundary,
                    "keep every boundary segment as one edge of the mesh");
  command->add_flag("--all-quads", overrides->all_quads,
                    "quads only: a mesh at twice the size, each element split into quads")
      ->excludes("--triangles");
}

// Reads a JSON request, or a Triangle .poly file when the name ends in .poly.
bool LoadRequest(const std::string& path, const RequestOverrides& overrides,
                 MeshRequest* request) {
  if (EndsWith(path, ".poly")) {
    PolyResult poly;
    std::string error;
    if (!ReadPolyFile(path, &poly, &error)) {
      std::cerr << "meshctl: " << error << "\n";
      return false;
    }
    for (const std::string& note : poly.notes) std::cerr << "meshctl: " << path << ": " << note << "\n";
    *request = std::move(poly.request);
    if (overrides.target_size <= 0) {
      double low_x = HUGE_VAL, low_y = HUGE_VAL, high_x = -HUGE_VAL, high_y = -HUGE_VAL;
      for (const Point3& p : request->points) {
        low_x = std::min(low_x, p.x);
        high_x = std::max(high_x, p.x);
        low_y = std::min(low_y, p.y);
        high_y = std::max(high_y, p.y);
      }
      request->target_size = std::max(high_x - low_x, high_y - low_y) / 20;
      std::cerr << "meshctl: " << path << ": no target size given; using "
                << request->target_size << " (1/20 of its extent; set one with --target-size)\n";
    }
  } else {
    std::string text;
    if (!ReadWholeFile(path, &text)) {
      std::cerr << "meshctl: " << path << ": cannot be read\n";
      return false;
    }
    JsonProblem problem;
    if (!ParseMeshRequestJson(text, request, &problem)) {
      std::cerr << "meshctl: " << (path == "-" ? "<stdin>" : path) << ":" << problem.ToString()
                << "\n";
      return false;
    }
  }
  if (overrides.target_size > 0) request->target_size = overrides.target_size;
  if (overrides.triangles) request->prefer_quads = false;
  if (overrides.keep_boundary) request->options |= kKeepBoundary;
  if (overrides.all_quads) request->options |= kAllQuads;
  return true;
}

bool IsExecutable(const std::string& path) { return access(path.c_str(), X_OK) == 0; }

// The worker: --worker, else $MESHCTL_WORKER, else a mesh-worker beside
// this binary (an installed pair) or in the build tree's worker/ directory
// (meshctl run from the build tree).
bool FindWorker(const std::string& option, std::string* path) {
  const char* variable = std::getenv(kWorkerVariable);
  std::string chosen = option;
  std::string source = "--worker";
  if (chosen.empty() && variable != nullptr && *variable != '\0') {
    chosen = variable;
    source = kWorkerVariable;
  }
  if (!chosen.empty()) {
    if (IsExecutable(chosen)) {
      *path = chosen;
      return true;
    }
    std::cerr << "meshctl: " << source << " names " << chosen << ", which is not an executable\n";
    return false;
  }
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  std::vector<std::string> candidates;
  if (length > 0) {
    const std::string exe(self, static_cast<size_t>(length));
    const std::string dir = exe.substr(0, exe.rfind('/'));
    candidates = {dir + "/mesh-worker", dir + "/../worker/mesh-worker"};
  }
  for (const std::string& candidate : candidates) {
    if (IsExecutable(candidate)) {
      *path = candidate;
      return true;
    }
  }
  std::cerr << "meshctl: cannot find mesh-worker";
  for (size_t i = 0; i < candidates.size(); ++i) std::cerr << (i == 0 ? " at " : " or ") << candidates[i];
  std::cerr << "; name it with --worker PATH or " << kWorkerVariable << "=PATH\n";
  return false;
}

std::chrono::milliseconds Timeout(double seconds) {
  if (seconds <= 0) return kNoTimeout;
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

// Lines of the worker's own output shown before a failure without --verbose.
constexpr size_t kWorkerLinesShown = 5;

// The reason goes last, where a person looks first. Before it comes the end
// of whatever else the worker said (the mesher's progress runs to hundreds
// of lines, a crash report is at the end): the last few lines, or all of
// them with --verbose.
void ReportFailure(const std::string& name, const WorkerAnswer& answer, bool verbose) {
  size_t end = answer.diagnostics.size();
  // A refusal's reason is the worker's last line, and Describe() holds it.
  if (answer.outcome == CallOutcome::kRefused && end > 0) --end;
  size_t begin = 0;
  if (!verbose && end > kWorkerLinesShown) {
    begin = end - kWorkerLinesShown;
    std::cerr << "  (" << begin << " earlier lines of the worker's output; --verbose shows them)\n";
  }
  for (size_t i = begin; i < end; ++i) std::cerr << "  " << answer.diagnostics[i] << "\n";
  std::cerr << "meshctl: " << name << ": " << answer.Describe() << "\n";
}

// AddressSanitizer reserves terabytes of address space for its shadow
// memory, so a worker of a sanitizer build cannot start under any address
// space limit: there the default is no limit (an explicit one still holds).
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kSanitizedBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kSanitizedBuild = true;
#else
constexpr bool kSanitizedBuild = false;
#endif
#else
constexpr bool kSanitizedBuild = false;
#endif

constexpr char kMaxMemoryHelp[] =
    "memory per worker, e.g. 2G or 512M; 0 for no limit (default: 80 % of the machine's "
    "memory shared among the workers)";

// --max-memory as given, or the share of the machine for each of `jobs`
// workers when it was not. False after saying what is wrong with it.
bool ChooseMemoryLimit(const std::string& option, size_t jobs, WorkerOptions* options) {
  uint64_t limit = 0;
  if (option.empty()) {
    limit = kSanitizedBuild ? 0 : DefaultMemoryLimit(PhysicalMemoryBytes(), jobs);
  } else {
    std::string error;
    if (!ParseMemorySize(option, &limit, &error)) {
      std::cerr << "meshctl: --max-memory: " << error << "\n";
      return false;
    }
  }
  options->memory_limit_bytes = static_cast<size_t>(limit);
  return true;
}

// How often the elapsed time is brought up to date while the mesher is
// silent; the display itself redraws at most every 250 ms.
constexpr std::chrono::milliseconds kProgressTick(100);

struct MeshCommand {
  std::string input;
  std::string json_out, svg_out, vtu_out, msh_out;
  std::string worker;
  double timeout_seconds = 120;
  bool quiet = false;
  bool verbose = false;
  bool progress = false;  // redraw elapsed time and elements on standard error
  bool svg_quality = false;
  std::string max_memory;  // empty: the default share
  RequestOverrides overrides;
};

int Mesh(const MeshCommand& command) {
  MeshRequest request;
  if (!LoadRequest(command.input, command.overrides, &request)) return kExitBadInput;
  WorkerOptions options;
  if (!FindWorker(command.worker, &options.worker_path)) return kExitBadInput;
  if (!ChooseMemoryLimit(command.max_memory, 1, &options)) return kExitBadInput;

  const std::string name = command.input == "-" ? "<stdin>" : command.input;
  ProgressDisplay display(name, [](const std::string& text) {
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
  });
  if (command.progress) {
    options.on_error_output = [&display](const char* data, size_t size) {
      display.OnWorkerOutput(data, size);
    };
  }
  WorkerAnswer answer;
  {
    std::unique_ptr<ProgressTicker> ticker;
    if (command.progress) ticker = std::make_unique<ProgressTicker>(&display, kProgressTick);
    WorkerProcess worker(options);
    answer = worker.Mesh(request, Timeout(command.timeout_seconds));
    worker.Stop();
  }
  display.Finish();
  if (!answer.ok()) {
    ReportFailure(name, answer, command.verbose);
    return answer.outcome == CallOutcome::kRefused ? kExitNotMeshed : kExitWorkerFailed;
  }

  struct Output {
    const std::string& path;
    std::string (*render)(const MeshRequest&, const PlanarComplexMesh&, const std::string&);
  };
  const Output outputs[] = {
      {command.json_out,
       [](const MeshRequest&, const PlanarComplexMesh& mesh, const std::string&) {
         return DumpReadable(PlanarComplexMeshToJson(mesh));
       }},
      {command.svg_out, command.svg_quality ? MeshToQualitySvg : MeshToSvg},
      {command.vtu_out,
       [](const MeshRequest&, const PlanarComplexMesh& mesh, const std::string&) {
         return MeshToVtu(mesh);
       }},
      {command.msh_out,
       [](const MeshRequest& request, const PlanarComplexMesh& mesh, const std::string&) {
         return MeshToMsh(request, mesh);
       }},
  };
  for (const Output& output : outputs) {
    if (output.path.empty()) continue;
    if (!WriteWholeFile(output.path, output.render(request, answer.mesh, name))) {
      std::cerr << "meshctl: " << output.path << ": cannot be written\n";
      return kExitBadInput;
    }
  }
  if (!command.quiet) {
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s",
                  std::chrono::duration<double>(answer.elapsed).count());
    std::cerr << "meshctl: " << name << ": " << MeshSummary(answer.mesh) << " (" << seconds
              << ")\n";
    std::cerr << FormatMeshQuality(MeasureMeshQuality(answer.mesh));
  }
  return kExitOk;
}

int Request(const std::string& input, const std::string& output,
            const RequestOverrides& overrides, bool one_line) {
  MeshRequest request;
  if (!LoadRequest(input, overrides, &request)) return kExitBadInput;
  const nlohmann::ordered_json json = MeshRequestToJson(request);
  if (!WriteWholeFile(output, one_line ? json.dump() + "\n" : DumpReadable(json))) {
    std::cerr << "meshctl: " << output << ": cannot be written\n";
    return kExitBadInput;
  }
  return kExitOk;
}

int Encode(const std::string& input, const std::string& output,
           const RequestOverrides& overrides) {
  if (output == "-" && isatty(STDOUT_FILENO)) {
    std::cerr << "meshctl: a frame is binary; give -o FILE or pipe the output\n";
    return kExitBadInput;
  }
  MeshRequest request;
  if (!LoadRequest(input, overrides, &request)) return kExitBadInput;
  if (!WriteWholeFile(output, EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request)))) {
    std::cerr << "meshctl: " << output << ": cannot be written\n";
    return kExitBadInput;
  }
  return kExitOk;
}

// Every frame of the input as one JSON document per line: answers by
// default, requests with `requests`.
int Decode(const std::string& input, const std::string& output, bool requests) {
  std::string bytes;
  if (!ReadWholeFile(input, &bytes)) {
    std::cerr << "meshctl: " << input << ": cannot be read\n";
    return kExitBadInput;
  }
  std::string text;
  size_t pos = 0;
  while (pos < bytes.size()) {
    const size_t frame_start = pos;
    auto fail = [&](const std::string& what) {
      std::cerr << "meshctl: " << input << ": byte " << frame_start << ": " << what << "\n";
      return kExitBadInput;
    };
    if (bytes.size() - pos < kFrameHeaderSize) return fail("truncated frame header");
    const FrameHeader header =
        DecodeFrameHeader(reinterpret_cast<const unsigned char*>(bytes.data()) + pos);
    pos += kFrameHeaderSize;
    if (!header.magic_ok) return fail("not a frame: it does not start with MSH1");
    if (header.payload_length > bytes.size() - pos) {
      return fail("the frame announces " + std::to_string(header.payload_length) +
                  " payload bytes, but only " + std::to_string(bytes.size() - pos) + " follow");
    }
    const char* payload = bytes.data() + pos;
    pos += header.payload_length;
    nlohmann::ordered_json line;
    if (requests) {
      MeshRequest request;
      if (header.kind != kKindMeshRequest) {
        line = {{"kind", header.kind}, {"payload_length", header.payload_length}};
      } else if (!DecodeMeshRequest(payload, header.payload_length, &request)) {
        return fail("a mesh request whose payload does not decode");
      } else {
        line = MeshRequestToJson(request);
      }
    } else if (header.kind == kKindFailure && header.payload_length == 0) {
      line = {{"ok", false}};
    } else if (header.kind == kKindSuccess) {
      PlanarComplexMesh mesh;
      if (!DecodePlanarComplexMesh(payload, header.payload_length, &mesh)) {
        return fail("a success answer whose payload does not decode");
      }
      line = {{"ok", true}};
      nlohmann::ordered_json fields = PlanarComplexMeshToJson(mesh);
      for (auto& field : fields.items()) line[field.key()] = std::move(field.value());
    } else {
      return fail("not an answer: kind " + std::to_string(header.kind) + " with " +
                  std::to_string(header.payload_length) + " payload bytes");
    }
    text += line.dump() + "\n";
  }
  if (!WriteWholeFile(output, text)) {
    std::cerr << "meshctl: " << output << ": cannot be written\n";
    return kExitBadInput;
  }
  return kExitOk;
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  using namespace mesh;
  CLI::App app{"meshctl: mesh planar regions with mesh-worker.\n"
               "Requests are JSON files with the record's fields (points, segments, "
               "interior_only, target_size, domain_target_sizes, prefer_quads, plane_normal, "
               "keep_boundary, options) "
               "or Triangle .poly files."};
  app.require_subcommand(1);
  app.set_version_flag("--version", std::string("meshctl ") + MESH_WORKER_VERSION);
  const std::string worker_help =
      "the mesh-worker executable (default: $MESHCTL_WORKER, else mesh-worker beside meshctl "
      "or in the build tree's worker/)";

  MeshCommand mesh_command;
  CLI::App* mesh = app.add_subcommand("mesh", "mesh one request and write the answer");
  mesh->add_option("input", mesh_command.input, "request: JSON, .poly, or - for standard input")
      ->required();
  mesh->add_option("-o,--output", mesh_command.json_out,
                   "the answer as JSON (- for standard output; the default when no other "
                   "output is asked for)");
  CLI::Option* svg_option =
      mesh->add_option("--svg", mesh_command.svg_out, "a picture of the mesh in its plane");
  mesh->add_flag("--svg-quality", mesh_command.svg_quality,
                 "fill the picture's elements by quality (red 0 to green 1), not by domain")
      ->needs(svg_option);
  mesh->add_option("--vtu", mesh_command.vtu_out, "the mesh as VTK XML (ParaView)");
  mesh->add_option("--msh", mesh_command.msh_out, "the mesh as Gmsh MSH 4.1");
  mesh->add_option("--timeout", mesh_command.timeout_seconds,
                   "seconds to wait for the answer; 0 waits for ever")
      ->capture_default_str();
  mesh->add_option("--worker", mesh_command.worker, worker_help);
  mesh->add_option("--max-memory", mesh_command.max_memory, kMaxMemoryHelp);
  mesh->add_flag("-q,--quiet", mesh_command.quiet,
                 "no summary and no progress on standard error");
  bool mesh_no_progress = false;
  mesh->add_flag("--no-progress", mesh_no_progress,
                 "no elapsed time and element count while meshing, even on a terminal");
  mesh->add_flag("-v,--verbose", mesh_command.verbose,
                 "on a failure, all of the worker's output, not only its last lines");
  AddRequestOptions(mesh, &mesh_command.overrides);

  BatchOptions batch_options;
  double batch_timeout = 120;
  std::string batch_worker;
  bool no_progress = false;
  CLI::App* batch = app.add_subcommand(
      "batch", "mesh one JSON request per line through a pool of workers");
  batch->add_option("input", batch_options.input, "JSON lines, or - for standard input")
      ->required();
  batch->add_option("-o,--output", batch_options.output, "JSON lines, or - for standard output")
      ->required();
  batch->add_option("-j,--jobs", batch_options.jobs, "workers (default: one per core)")
      ->check(CLI::NonNegativeNumber);
  batch->add_option("--timeout", batch_timeout, "seconds per request; 0 waits for ever")
      ->capture_default_str();
  batch->add_option("--worker", batch_worker, worker_help);
  std::string batch_max_memory;
  batch->add_option("--max-memory", batch_max_memory, kMaxMemoryHelp);
  batch->add_flag("--no-progress", no_progress, "no progress bar, even on a terminal");
  batch->add_flag("--all-quads", batch_options.all_quads,
                  "every request quads only, whatever its own options say");

  ModelCommandOptions model_options;
  double model_timeout = 120;
  std::string model_worker, model_max_memory;
  bool model_no_progress = false;
  CLI::App* model = app.add_subcommand(
      "model", "mesh a whole CityJSON or OBJ model into one conforming mesh");
  model->add_option("input", model_options.input, "model: .city.json, .json or .obj")->required();
  model->add_option("-o,--output", model_options.output, "the mesh: .vtu, .msh or .obj")
      ->required();
  model->add_option("--target-size", model_options.target_size,
                    "target element size in metres (default: a tenth of the median face's "
                    "extent)")
      ->check(CLI::PositiveNumber);
  model->add_option("--lod", model_options.lod,
                    "CityJSON level of detail, e.g. 2 or 2.2 (default: each object's highest)");
  model->add_option("--svg", model_options.svg, "a picture of the meshed model");
  model->add_option("--weld-tolerance", model_options.weld_tolerance,
                    "vertices closer than this (metres) are one")
      ->check(CLI::PositiveNumber)
      ->capture_default_str();
  CLI::Option* model_triangles =
      model->add_flag("--triangles", model_options.triangles, "mesh with triangles only");
  model->add_flag("--all-quads", model_options.all_quads,
                  "quads only: edges divided at twice the size, each element split into quads")
      ->excludes(model_triangles);
  model->add_option("-j,--jobs", model_options.jobs, "workers (default: one per core)")
      ->check(CLI::NonNegativeNumber);
  model->add_option("--timeout", model_timeout, "seconds per face; 0 waits for ever")
      ->capture_default_str();
  model->add_option("--worker", model_worker, worker_help);
  model->add_option("--max-memory", model_max_memory, kMaxMemoryHelp);
  model->add_flag("--no-progress", model_no_progress, "no progress bar, even on a terminal");

  std::string encode_in, encode_out = "-";
  RequestOverrides encode_overrides;
  CLI::App* encode = app.add_subcommand("encode", "a JSON or .poly request to a raw request frame");
  encode->add_option("input", encode_in, "request, or - for standard input")->required();
  encode->add_option("-o,--output", encode_out, "frame file, or - for standard output");
  AddRequestOptions(encode, &encode_overrides);

  std::string decode_in = "-", decode_out = "-";
  bool decode_requests = false;
  CLI::App* decode = app.add_subcommand("decode", "raw frames to JSON, one per line");
  decode->add_option("input", decode_in, "frames, or - for standard input");
  decode->add_option("-o,--output", decode_out, "JSON lines, or - for standard output");
  decode->add_flag("--requests", decode_requests,
                   "the frames are requests (default: the worker's answers)");

  std::string request_in, request_out = "-";
  RequestOverrides request_overrides;
  CLI::App* request = app.add_subcommand(
      "request", "show a request as the worker will get it (e.g. a .poly file's domains)");
  request->add_option("input", request_in, "request: JSON, .poly, or - for standard input")
      ->required();
  request->add_option("-o,--output", request_out, "JSON file, or - for standard output");
  bool request_one_line = false;
  request->add_flag("--one-line", request_one_line, "all on one line, as batch input wants it");
  AddRequestOptions(request, &request_overrides);

  StatsOptions stats_options;
  CLI::App* stats = app.add_subcommand(
      "stats", "the quality summary of a saved answer (angles, aspect ratios, a histogram)");
  stats->add_option("input", stats_options.input, "answer JSON, or - for standard input")
      ->required();
  stats->add_option("-o,--output", stats_options.output, "file, or - for standard output");
  stats->add_flag("--json", stats_options.json, "the measures as JSON");

  try {
    app.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    return app.exit(e) == 0 ? 0 : kExitBadInput;
  }

  if (*mesh) {
    if (mesh_command.json_out.empty() && mesh_command.svg_out.empty() &&
        mesh_command.vtu_out.empty() && mesh_command.msh_out.empty()) {
      mesh_command.json_out = "-";
    }
    mesh_command.progress = !mesh_no_progress && !mesh_command.quiet && isatty(STDERR_FILENO);
    return Mesh(mesh_command);
  }
  if (*batch) {
    if (!FindWorker(batch_worker, &batch_options.worker.worker_path)) return kExitBadInput;
    const size_t jobs = batch_options.jobs > 0
                            ? batch_options.jobs
                            : std::max<size_t>(1, std::thread::hardware_concurrency());
    if (!ChooseMemoryLimit(batch_max_memory, jobs, &batch_options.worker)) return kExitBadInput;
    batch_options.timeout = Timeout(batch_timeout);
    batch_options.progress = !no_progress && isatty(STDERR_FILENO);
    return RunBatch(batch_options);
  }
  if (*model) {
    if (!FindWorker(model_worker, &model_options.worker.worker_path)) return kExitBadInput;
    const size_t jobs = model_options.jobs > 0
                            ? model_options.jobs
                            : std::max<size_t>(1, std::thread::hardware_concurrency());
    if (!ChooseMemoryLimit(model_max_memory, jobs, &model_options.worker)) return kExitBadInput;
    model_options.timeout = Timeout(model_timeout);
    model_options.progress = !model_no_progress && isatty(STDERR_FILENO);
    return RunModel(model_options);
  }
  if (*encode) return Encode(encode_in, encode_out, encode_overrides);
  if (*request) return Request(request_in, request_out, request_overrides, request_one_line);
  if (*stats) return RunStats(stats_options);
  return Decode(decode_in, decode_out, decode_requests);
}

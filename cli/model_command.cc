#include "cli/model_command.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <map>
#include <string>
#include <vector>

#include "cli/progress_display.h"
#include "cli/whole_file.h"
#include "client/worker_pool.h"
#include "formats/model_file.h"
#include "formats/model_quality.h"
#include "formats/model_svg.h"
#include "formats/model_writers.h"

namespace mesh {

namespace {

constexpr int kExitAllMeshed = 0;
constexpr int kExitBadInput = 1;
constexpr int kExitSomeNotMeshed = 2;

bool EndsWith(const std::string& text, const std::string& tail) {
  return text.size() >= tail.size() &&
         std::equal(tail.rbegin(), tail.rend(), text.rbegin(), [](char a, char b) {
           return std::tolower(static_cast<unsigned char>(a)) == b;
         });
}

using Writer = std::string (*)(const Model&, const ModelMesh&);

Writer WriterFor(const std::string& path) {
  if (EndsWith(path, ".vtu")) return ModelMeshToVtu;
  if (EndsWith(path, ".msh")) return ModelMeshToMsh;
  if (EndsWith(path, ".obj")) return ModelMeshToObj;
  return nullptr;
}

std::string Grouped(size_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

// Faces left out, grouped by what kept them out, so a model with hundreds
// of slivers reads as one line per reason with an example.
void PrintLeftOut(const Model& model, const ModelMeshResult& result) {
  struct Group {
    size_t count = 0;
    size_t first_face = 0;
    std::string example;
  };
  std::map<std::string, Group> groups;
  for (size_t f = 0; f < result.faces.size(); ++f) {
    const FaceOutcome& outcome = result.faces[f];
    if (outcome.kind == FaceOutcomeKind::kMeshed) continue;
    const std::string key = std::string(FaceOutcomeName(outcome.kind)) + " (" +
                            (outcome.reason_key.empty() ? "unclassified" : outcome.reason_key) + ")";
    Group& group = groups[key];
    if (group.count++ == 0) {
      group.first_face = f;
      group.example = outcome.reason;
    }
  }
  for (const auto& [key, group] : groups) {
    const ModelFace& face = model.faces[group.first_face];
    std::string object;
    if (face.object >= 0) object = ", object " + model.objects[static_cast<size_t>(face.object)];
    std::printf("  %s: %zu face%s; e.g. face %zu%s: %s\n", key.c_str(), group.count,
                group.count == 1 ? "" : "s", group.first_face, object.c_str(), group.example.c_str());
  }
}

void PrintSummary(const std::string& name, const Model& model, const ModelMeshResult& result) {
  const ModelMeshSummary& s = result.summary;
  std::printf("%s: %s faces: %s meshed, %s refused, %s skipped as degenerate, %s failed\n",
              name.c_str(), Grouped(s.faces).c_str(), Grouped(s.meshed_faces).c_str(),
              Grouped(s.refused_faces).c_str(), Grouped(s.skipped_faces).c_str(),
              Grouped(s.failed_faces).c_str());
  PrintLeftOut(model, result);
  std::printf("mesh: %s vertices, %s quads, %s triangles\n", Grouped(result.mesh.vertices.size()).c_str(),
              Grouped(result.mesh.quads.size()).c_str(), Grouped(result.mesh.triangles.size()).c_str());
  std::printf(
      "model: %s vertices welded, %s repeated ring vertices dropped, %s empty holes dropped, %s "
      "T-junctions split\n",
      Grouped(s.welded_vertices).c_str(), Grouped(s.dropped_ring_repeats).c_str(),
      Grouped(s.dropped_holes).c_str(), Grouped(s.t_junctions).c_str());
  std::printf("edges: %s shared (%s by more than two faces), %s open\n", Grouped(s.shared_edges).c_str(),
              Grouped(s.non_manifold_edges).c_str(), Grouped(s.open_edges).c_str());
  std::printf("largest non-planarity: %.4g m\n", s.max_non_planarity);
  std::printf("quality by semantic type:\n%s",
              FormatModelQuality(model, MeasureModelQuality(model, result.mesh)).c_str());
  std::printf("time: %.2f s\n", s.seconds);
}

}  // namespace

int RunModel(const ModelCommandOptions& options) {
  const Writer writer = WriterFor(options.output);
  if (writer == nullptr) {
    std::cerr << "meshctl: " << options.output
              << ": cannot tell the format; name the output .vtu, .msh or .obj\n";
    return kExitBadInput;
  }
  ModelReadOptions read_options;
  read_options.lod = options.lod;
  ModelReadResult read;
  std::string error;
  if (!ReadModelFile(options.input, read_options, &read, &error)) {
    std::cerr << "meshctl: " << error << "\n";
    return kExitBadInput;
  }
  for (const std::string& note : read.notes) std::cerr << "meshctl: " << options.input << ": " << note << "\n";
  const Model& model = read.model;

  ModelMeshOptions mesh_options;
  mesh_options.weld_tolerance = options.weld_tolerance;
  mesh_options.prefer_quads = !options.triangles;
  mesh_options.all_quads = options.all_quads;
  mesh_options.target_size = options.target_size;
  if (mesh_options.target_size <= 0) {
    mesh_options.target_size = DefaultModelTargetSize(model);
    if (mesh_options.target_size > 0)
      std::cerr << "meshctl: " << options.input << ": no target size given; using "
                << mesh_options.target_size
                << " (a tenth of the median face's extent; set one with --target-size)\n";
  }

  WorkerPoolOptions pool_options;
  pool_options.worker = options.worker;
  pool_options.workers = options.jobs;
  pool_options.timeout = options.timeout;
  WorkerPool pool(pool_options);
  const auto started = std::chrono::steady_clock::now();
  auto last_drawn = started;
  ModelMeshProgress progress;
  if (options.progress) {
    progress = [&](size_t answered, size_t sent) {
      const auto now = std::chrono::steady_clock::now();
      if (answered < sent && now - last_drawn < std::chrono::milliseconds(100)) return;
      last_drawn = now;
      DrawCountProgress(answered, sent, std::chrono::duration<double>(now - started).count());
    };
  }
  ModelMeshResult result = MeshModel(model, mesh_options, pool, progress);
  if (options.progress) std::fputs("\r\033[K", stderr);
  if (!result.ok) {
    std::cerr << "meshctl: " << options.input << ": " << result.error << "\n";
    return kExitBadInput;
  }
  if (!WriteWholeFile(options.output, writer(model, result.mesh))) {
    std::cerr << "meshctl: " << options.output << ": cannot be written\n";
    return kExitBadInput;
  }
  if (!options.svg.empty() &&
      !WriteWholeFile(options.svg, ModelMeshToSvg(model, result.mesh, options.input))) {
    std::cerr << "meshctl: " << options.svg << ": cannot be written\n";
    return kExitBadInput;
  }
  PrintSummary(options.input, model, result);
  std::fflush(stdout);
  const bool all_meshed = result.summary.meshed_faces == result.summary.faces;
  return all_meshed ? kExitAllMeshed : kExitSomeNotMeshed;
}

}  // namespace mesh

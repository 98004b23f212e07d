// Every request the project keeps for testing, through the worker's own
// stages in this process, one after another: the benchmark requests, the
// examples, every fuzz-corpus input that decodes as a request, the
// degenerate geometry and the reliability mix. For each it takes the
// processor time and, where Netgen made a mesh, its element count against
// the element estimate the runaway watch judges by. Prints
//   - the largest ratios of element count to estimate (the runaway limit
//     must stay clear of them),
//   - the ten cases slowest in processor time (target: 5 s each),
//   - the mesher alone, checks bypassed, on the inputs that ran away before
//     any check refused them, and how soon the watch stopped each.
//
//   mesh-bench-cases [SOURCE_DIR]   (make bench; SOURCE_DIR holds examples/ and fuzz/)
//   mesh-bench-cases SOURCE_DIR REQUEST_FILE...
// The second form runs only the given encoded requests (a fuzz input, say)
// and prints the outcome and processor time of each.
#include <fcntl.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <iterator>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "bench/bench_requests.h"
#include "common/netgen_lock.h"
#include "extract/extract.h"
#include "formats/mesh_json.h"
#include "formats/poly_reader.h"
#include "netgen/netgen_mesher.h"
#include "planar/build_planar_mesh.h"
#include "planar/element_estimate.h"
#include "planar/plane_frame.h"
#include "reliability/degenerate_cases.h"
#include "reliability/request_mix.h"
#include "testing/loops.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

// Past this many estimated elements a fuzz input is a fine grid, not a
// trap; the corpora hold a few such, which take minutes and say nothing
// about runaways.
constexpr double kLargestEstimateMeshed = 300000;

double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + 1e-9 * static_cast<double>(now.tv_nsec);
}

struct Case {
  std::string name;
  MeshRequest request;
};

struct Run {
  std::string name;
  double seconds = 0;
  std::string outcome;  // "meshed", "skipped", or the refusal line
  double estimate = -1;  // -1: the checks refused it before the mesher
  size_t elements = 0;   // Netgen's, when it made a mesh
};

// The worker's mesher, noting the estimate it is judged by and the size of
// the mesh it made.
class CountingMesher : public PlaneMesher {
 public:
  double estimate = -1;
  size_t elements = 0;
  bool skipped = false;

  PlaneMeshing MeshPlane(const MeshRequest& request,
                         const std::vector<PlanePoint>& plane_points) override {
    estimate = EstimateElements(request, plane_points).elements;
    if (estimate > kLargestEstimateMeshed) {
      skipped = true;
      PlaneMeshing meshing;
      meshing.refusal = StageRefusal{};
      return meshing;
    }
    PlaneMeshing meshing = NetgenMesher().MeshPlane(request, plane_points);
    if (meshing.mesh != nullptr) elements = meshing.mesh->ElementCount();
    return meshing;
  }
};

Run RunStages(const Case& c) {
  Run run;
  run.name = c.name;
  CountingMesher mesher;
  const double start = ProcessorSeconds();
  {
    PlanarMeshBuild build = BuildPlanarMesh(c.request, mesher);
    if (build.ok) {
      Extraction extraction =
          ExtractToPlanarComplexMesh(*build.mesh, build.frame, build.plane_points, c.request);
      run.outcome = extraction.refusal ? extraction.refusal->line : "meshed";
    } else {
      run.outcome = build.refusal ? build.refusal->line : "refused";
    }
  }
  run.seconds = ProcessorSeconds() - start;
  run.estimate = mesher.estimate;
  run.elements = mesher.elements;
  if (mesher.skipped) run.outcome = "skipped";
  return run;
}

// The mesher alone, in the frame the stage would give the request.
Run RunMesherAlone(const Case& c) {
  Run run;
  run.name = c.name;
  // As the stage does: the caller's normal, else the one that has the
  // outer boundary turn counter-clockwise.
  Point3 normal = c.request.plane_normal;
  if (normal.x == 0 && normal.y == 0 && normal.z == 0) {
    for (const BoundarySegment& s : c.request.segments) {
      // Outer segments, turned so that their domain lies on the left.
      const bool left = s.left_domain >= 1 && s.right_domain == 0;
      const bool right = s.right_domain >= 1 && s.left_domain == 0;
      if (!left && !right) continue;
      const Point3& a = c.request.points[left ? s.point_a : s.point_b];
      const Point3& b = c.request.points[left ? s.point_b : s.point_a];
      normal.x += a.y * b.z - a.z * b.y;
      normal.y += a.z * b.x - a.x * b.z;
      normal.z += a.x * b.y - a.y * b.x;
    }
  }
  PlanarFrame frame;
  if (!BuildFrame(c.request.points, &normal, &frame) &&
      !BuildFrame(c.request.points, nullptr, &frame)) {
    run.outcome = "no plane";
    return run;
  }
  const std::vector<PlanePoint> plane_points = ToPlanePoints(frame, c.request.points);
  run.estimate = EstimateElements(c.request, plane_points).elements;
  const double start = ProcessorSeconds();
  {
    std::lock_guard<std::mutex> hold(netgen_lock);
    PlaneMeshing meshing = NetgenMesher().MeshPlane(c.request, plane_points);
    if (meshing.mesh != nullptr) {
      run.elements = meshing.mesh->ElementCount();
      run.outcome = "meshed";
    } else {
      run.outcome = meshing.refusal ? meshing.refusal->line : "refused";
    }
  }
  run.seconds = ProcessorSeconds() - start;
  return run;
}

bool ReadFile(const std::string& path, std::string* text) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  text->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return true;
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(directory.c_str())) {
    while (const dirent* entry = readdir(dir)) {
      if (entry->d_name[0] != '.') names.push_back(entry->d_name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// The examples as meshctl reads them: a .poly file without a size of its
// own gets 1/20 of its extent.
void AddExamples(const std::string& source, std::vector<Case>* cases) {
  const std::string directory = source + "/examples";
  for (const std::string& name : FilesIn(directory)) {
    const std::string path = directory + "/" + name;
    if (EndsWith(name, ".json")) {
      std::string text;
      MeshRequest request;
      JsonProblem problem;
      if (ReadFile(path, &text) && ParseMeshRequestJson(text, &request, &problem)) {
        cases->push_back({"example " + name, request});
      }
    } else if (EndsWith(name, ".poly")) {
      PolyResult poly;
      std::string error;
      if (!ReadPolyFile(path, &poly, &error)) continue;
      double low_x = HUGE_VAL, low_y = HUGE_VAL, high_x = -HUGE_VAL, high_y = -HUGE_VAL;
      for (const Point3& p : poly.request.points) {
        low_x = std::min(low_x, p.x);
        high_x = std::max(high_x, p.x);
        low_y = std::min(low_y, p.y);
        high_y = std::max(high_y, p.y);
      }
      poly.request.target_size = std::max(high_x - low_x, high_y - low_y) / 20;
      cases->push_back({"example " + name, poly.request});
    }
  }
}

void AddFuzzCorpora(const std::string& source, std::vector<Case>* cases) {
  const std::string corpora = source + "/fuzz/corpus";
  for (const std::string& target : FilesIn(corpora)) {
    for (const std::string& name : FilesIn(corpora + "/" + target)) {
      std::string bytes;
      MeshRequest request;
      if (!ReadFile(corpora + "/" + target + "/" + name, &bytes) ||
          !DecodeMeshRequest(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             &request)) {
        continue;
      }
      cases->push_back({target + "/" + name, request});
    }
  }
}

std::vector<Case> AllCases(const std::string& source) {
  std::vector<Case> cases;
  for (const BenchCase& c : MeshingCases()) cases.push_back({"bench " + c.name, c.request});
  AddExamples(source, &cases);
  for (const DegenerateCase& c : DegenerateCases()) {
    cases.push_back({std::string("degenerate ") + c.name, c.make()});
  }
  for (const auto& [name, request] : MeshableRequests()) cases.push_back({"mix " + name, request});
  for (const auto& [name, request] : RefusedRequests()) cases.push_back({"mix " + name, request});
  AddFuzzCorpora(source, &cases);
  return cases;
}

// Two boundaries from the field on which the mesher churned for tens of
// seconds before the checks refused them: a roof outline running back along
// itself, and an outline passing two of its corners twice around a hole
// that shares its edges.
std::vector<Case> FieldRunaways() {
  const MeshRequest roof = test::FieldRoofRunningBackAlongItself();
  const MeshRequest pinched = test::FieldOutlinePinchedAroundAHole();
  return {{"field: roof running back along itself", roof},
          {"field: outline pinched around a hole", pinched}};
}

std::string Shortened(const std::string& line, size_t width) {
  return line.size() <= width ? line : line.substr(0, width - 3) + "...";
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  using namespace mesh;
  const std::string source = argc > 1 ? argv[1] : MESH_SOURCE_DIR;
  // What Netgen and the stages print is not ours to show; the tables go to
  // the original standard output.
  FILE* out = fdopen(dup(1), "w");
  const int null_fd = open("/dev/null", O_WRONLY);
  if (out == nullptr || null_fd < 0) return 1;
  dup2(null_fd, 1);
  dup2(null_fd, 2);

  if (argc > 2) {
    for (int i = 2; i < argc; ++i) {
      std::string bytes;
      MeshRequest request;
      if (!ReadFile(argv[i], &bytes) ||
          !DecodeMeshRequest(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(),
                             &request)) {
        std::fprintf(out, "%s: not an encoded request\n", argv[i]);
        continue;
      }
      const Run run = RunStages({argv[i], request});
      std::fprintf(out, "%s: %.3f s, estimate %.1f, %zu elements: %s\n", argv[i], run.seconds,
                   run.estimate, run.elements, run.outcome.c_str());
      const Run alone = RunMesherAlone({argv[i], request});
      std::fprintf(out, "  the mesher alone: %.3f s, estimate %.1f, %zu elements: %s\n",
                   alone.seconds, alone.estimate, alone.elements, alone.outcome.c_str());
    }
    std::fclose(out);
    return 0;
  }

  const std::vector<Case> cases = AllCases(source);
  std::vector<Run> runs;
  runs.reserve(cases.size());
  size_t meshed = 0, skipped = 0;
  for (const Case& c : cases) {
    runs.push_back(RunStages(c));
    if (runs.back().outcome == "meshed") ++meshed;
    if (runs.back().outcome == "skipped") ++skipped;
  }
  std::fprintf(out, "%zu cases: %zu meshed, %zu refused, %zu skipped (estimate over %.0f)\n\n",
               runs.size(), meshed, runs.size() - meshed - skipped, skipped,
               kLargestEstimateMeshed);

  // Through the checks, nothing may be stopped by the watch: a request the
  // checks let through and the watch stops is either a runaway no check
  // foresees or a legitimate mesh the limit is too tight for.
  size_t stopped = 0;
  for (const Run& run : runs) {
    if (run.outcome.find("ran away") == std::string::npos) continue;
    std::fprintf(out, "stopped by the runaway watch: %s: %s\n", run.name.c_str(),
                 run.outcome.c_str());
    ++stopped;
  }
  std::fprintf(out, "%zu stopped by the runaway watch\n\n", stopped);

  std::vector<const Run*> by_ratio;
  for (const Run& run : runs) {
    if (run.elements > 0 && run.estimate > 0) by_ratio.push_back(&run);
  }
  std::sort(by_ratio.begin(), by_ratio.end(), [](const Run* a, const Run* b) {
    return a->elements / a->estimate > b->elements / b->estimate;
  });
  std::fprintf(out, "Largest ratios of Netgen's element count to the estimate (%zu meshes; "
                    "runaway limit %zu at estimate 1, %zu at 100, %zu at 10000)\n",
               by_ratio.size(), RunawayElementLimitFor(1), RunawayElementLimitFor(100), RunawayElementLimitFor(10000));
  std::fprintf(out, "  %-58s %9s %10s %6s\n", "case", "elements", "estimate", "ratio");
  for (size_t i = 0; i < by_ratio.size() && i < 10; ++i) {
    const Run& run = *by_ratio[i];
    std::fprintf(out, "  %-58s %9zu %10.1f %6.3f\n", Shortened(run.name, 58).c_str(),
                 run.elements, run.estimate, run.elements / run.estimate);
  }
  // Small meshes sit closest to the slack rather than the factor.
  double closest = 0;
  const Run* closest_run = nullptr;
  for (const Run* run : by_ratio) {
    const double share = run->elements / static_cast<double>(RunawayElementLimitFor(run->estimate));
    if (share > closest) {
      closest = share;
      closest_run = run;
    }
  }
  if (closest_run != nullptr) {
    std::fprintf(out, "  closest to its limit: %s, %zu elements of %zu (%.1f %%)\n",
                 closest_run->name.c_str(), closest_run->elements,
                 RunawayElementLimitFor(closest_run->estimate), 100 * closest);
  }

  // The benchmark requests and the examples are sized to take time; the
  // target is for everything else.
  std::vector<const Run*> by_time;
  for (const Run& run : runs) {
    if (run.name.rfind("bench ", 0) != 0 && run.name.rfind("example ", 0) != 0) {
      by_time.push_back(&run);
    }
  }
  std::sort(by_time.begin(), by_time.end(),
            [](const Run* a, const Run* b) { return a->seconds > b->seconds; });
  std::fprintf(out,
               "\nSlowest ten of the degenerate cases, the reliability mix and the fuzz corpora, "
               "by processor time (target 5 s each)\n");
  for (size_t i = 0; i < by_time.size() && i < 10; ++i) {
    const Run& run = *by_time[i];
    std::fprintf(out, "  %-58s %7.3f s  %s\n", Shortened(run.name, 58).c_str(), run.seconds,
                 Shortened(run.outcome, 70).c_str());
  }

  // The inputs that ran away before the boundary checks refused them: the
  // watch must still stop each quickly.
  std::vector<Case> runaways = FieldRunaways();
  for (const Case& c : cases) {
    if (c.name.find("/runaway_") != std::string::npos) runaways.push_back(c);
  }
  std::fprintf(out, "\nThe mesher alone, checks bypassed, on the runaway inputs\n");
  for (const Case& c : runaways) {
    const Run run = RunMesherAlone(c);
    const size_t at = run.outcome.find("ran away");
    std::fprintf(out, "  %-58s %7.3f s  estimate %6.1f  %s\n", Shortened(run.name, 58).c_str(),
                 run.seconds, run.estimate,
                 at == std::string::npos ? Shortened(run.outcome, 60).c_str()
                                         : Shortened(run.outcome.substr(at), 60).c_str());
  }
  std::fclose(out);
  return 0;
}

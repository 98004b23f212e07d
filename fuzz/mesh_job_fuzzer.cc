// Fuzzes whole mesh jobs with the real Netgen mesher: small decoded requests
// go through BuildPlanarMesh and ExtractToPlanarComplexMesh exactly as the
// worker runs them. Every job must end, within the run's -timeout, in an
// answer that holds every answer invariant, or in a failure whose refusal
// says why. Slow (each input meshes), so it is fuzzed on its
// own schedule; its corpus replays like every other.
//
// Requests that would only make big meshes are skipped: the point is to
// find the inputs on which the mesher crashes, hangs or answers wrongly,
// not to spend the run meshing fine grids.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "extract/mesh_invariants.h"
#include "fuzz/fuzz_check.h"
#include "protocol/mesh_request.h"
#include "worker/mesh_job.h"

namespace mesh {
namespace {

constexpr size_t kMaxPoints = 64;
constexpr size_t kMaxSegments = 64;
// Boundary size over element size: bounds the element count to some
// thousands.
constexpr double kMaxElementsAcross = 40;

bool SmallEnough(const MeshRequest& request) {
  if (request.points.size() > kMaxPoints || request.segments.size() > kMaxSegments ||
      request.interior_only.size() > kMaxPoints) {
    return false;
  }
  double smallest = request.target_size;
  for (double size : request.domain_target_sizes) {
    if (size > 0) smallest = std::min(smallest, size);
  }
  if (!(smallest > 0) || !std::isfinite(smallest)) return true;  // refused early anyway
  double lo[3] = {INFINITY, INFINITY, INFINITY}, hi[3] = {-INFINITY, -INFINITY, -INFINITY};
  for (const Point3& p : request.points) {
    const double c[3] = {p.x, p.y, p.z};
    for (int k = 0; k < 3; ++k) {
      lo[k] = std::min(lo[k], c[k]);
      hi[k] = std::max(hi[k], c[k]);
    }
  }
  double diagonal = 0;
  for (int k = 0; k < 3; ++k) diagonal += (hi[k] - lo[k]) * (hi[k] - lo[k]);
  diagonal = std::sqrt(diagonal);
  // NaN or infinite coordinates are refused before meshing, so let them in.
  return !(diagonal / smallest > kMaxElementsAcross);
}

bool EndsWith(const std::string& s, const std::string& suffix) {
  return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // As in the worker: what Netgen prints is not ours to read.
  const int null_fd = open("/dev/null", O_WRONLY);
  if (null_fd >= 0) dup2(null_fd, 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  MeshRequest request;
  if (!DecodeMeshRequest(data, size, &request) || !SmallEnough(request)) return 0;

  const MeshStagesResult result = RunMeshStages(request);
  const PlanarComplexMesh& answer = result.answer;
  if (answer.vertices.empty()) {
    FUZZ_CHECK(result.refusal.has_value());
    FUZZ_CHECK(EndsWith(result.refusal->line, "; returning empty"));
    return 0;
  }
  FUZZ_CHECK(!result.refusal.has_value());
  const std::vector<std::string> problems = CheckMeshInvariants(request, answer);
  for (const std::string& problem : problems) std::fprintf(stderr, "invariant: %s\n", problem.c_str());
  FUZZ_CHECK(problems.empty());
  return 0;
}

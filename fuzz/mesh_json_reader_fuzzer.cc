// Fuzzes meshctl's JSON readers, which take files from anywhere: a request
// (`meshctl mesh request.json`) and an answer (`meshctl stats answer.json`)
// from the same bytes. A read request must write back to JSON that reads as
// the same request, bit for bit; a read answer can be walked without checks;
// a refused text gives one line "LINE:COLUMN: message" pointing inside the
// text and leaves the record untouched.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "formats/mesh_json.h"
#include "fuzz/fuzz_check.h"

namespace mesh {
namespace {

void CheckProblem(const std::string& text, const JsonProblem& problem) {
  const size_t lines = 1 + static_cast<size_t>(std::count(text.begin(), text.end(), '\n'));
  FUZZ_CHECK(problem.position.line >= 1 && problem.position.line <= lines);
  FUZZ_CHECK(problem.position.column >= 1 && problem.position.column <= text.size() + 1);
  FUZZ_CHECK(!problem.message.empty());
  FUZZ_CHECK(problem.ToString().find('\n') == std::string::npos);
}

void ReadRequest(const std::string& text) {
  // A request nothing could produce, to tell a touched one apart.
  MeshRequest request;
  request.target_size = -7;
  request.interior_only = {-3};
  JsonProblem problem;
  if (!ParseMeshRequestJson(text, &request, &problem)) {
    CheckProblem(text, problem);
    FUZZ_CHECK(request.target_size == -7 && request.points.empty() &&
               request.interior_only.size() == 1);
    return;
  }
  for (const std::string& written :
       {MeshRequestToJson(request).dump(), DumpReadable(MeshRequestToJson(request))}) {
    MeshRequest again;
    JsonProblem again_problem;
    if (!ParseMeshRequestJson(written, &again, &again_problem)) {
      std::fprintf(stderr, "written request does not read: %s\n%s\n",
                   again_problem.ToString().c_str(), written.c_str());
      FUZZ_CHECK(false);
    }
    FUZZ_CHECK(SameRequest(request, again));
  }
}

void ReadAnswer(const std::string& text) {
  PlanarComplexMesh mesh;
  mesh.quad_domains = {-5};
  JsonProblem problem;
  if (!ParsePlanarComplexMeshJson(text, &mesh, &problem)) {
    CheckProblem(text, problem);
    FUZZ_CHECK(mesh.quad_domains.size() == 1 && mesh.vertices.empty());
    return;
  }
  const size_t vertices = mesh.vertices.size();
  auto is_vertex = [vertices](int32_t v) {
    return v >= 0 && static_cast<size_t>(v) < vertices;
  };
  for (const auto& quad : mesh.quads) FUZZ_CHECK(std::all_of(quad.begin(), quad.end(), is_vertex));
  for (const auto& triangle : mesh.triangles) {
    FUZZ_CHECK(std::all_of(triangle.begin(), triangle.end(), is_vertex));
  }
  FUZZ_CHECK(mesh.quad_domains.size() == mesh.quads.size());
  FUZZ_CHECK(mesh.triangle_domains.size() == mesh.triangles.size());
  FUZZ_CHECK(std::all_of(mesh.point_vertex.begin(), mesh.point_vertex.end(), is_vertex));
  for (const auto& chain : mesh.segment_chains) {
    FUZZ_CHECK(std::all_of(chain.begin(), chain.end(), is_vertex));
  }
  PlanarComplexMesh again;
  JsonProblem again_problem;
  FUZZ_CHECK(ParsePlanarComplexMeshJson(PlanarComplexMeshToJson(mesh).dump(), &again,
                                        &again_problem));
  FUZZ_CHECK(SameMesh(mesh, again));
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  mesh::ReadRequest(text);
  mesh::ReadAnswer(text);
  return 0;
}

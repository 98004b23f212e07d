#include "cli/stats.h"

#include <fstream>
#include <iostream>
#include <iterator>

#include <nlohmann/json.hpp>

#include "cli/mesh_export.h"
#include "cli/mesh_json.h"
#include "cli/mesh_quality.h"

namespace mesh {

int RunStats(const StatsOptions& options) {
  const std::string name = options.input == "-" ? "<stdin>" : options.input;
  std::string text;
  if (options.input == "-") {
    text.assign(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
  } else {
    std::ifstream in(options.input, std::ios::binary);
    if (!in) {
      std::cerr << "meshctl: " << name << ": cannot be read\n";
      return 1;
    }
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  PlanarComplexMesh mesh;
  JsonProblem problem;
  if (!ParsePlanarComplexMeshJson(text, &mesh, &problem)) {
    std::cerr << "meshctl: " << name << ":" << problem.ToString() << "\n";
    return 1;
  }
  const std::vector<DomainQuality> quality = MeasureMeshQuality(mesh);
  std::string report;
  if (options.json) {
    nlohmann::ordered_json json = {{"vertices", mesh.vertices.size()},
                                   {"quads", mesh.quads.size()},
                                   {"triangles", mesh.triangles.size()}};
    json["domains"] = MeshQualityToJson(quality)["domains"];
    report = json.dump() + "\n";
  } else {
    report = name + ": " + MeshSummary(mesh) + "\n" + FormatMeshQuality(quality);
  }
  if (options.output == "-") {
    std::cout << report << std::flush;
    if (std::cout) return 0;
  } else {
    std::ofstream out(options.output, std::ios::binary | std::ios::trunc);
    out << report;
    out.close();
    if (out) return 0;
  }
  std::cerr << "meshctl: " << options.output << ": cannot be written\n";
  return 1;
}

}  // namespace mesh

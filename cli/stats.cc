#include "cli/stats.h"

#include <iostream>

#include <nlohmann/json.hpp>

#include "cli/exit_codes.h"
#include "cli/whole_file.h"
#include "formats/mesh_export.h"
#include "formats/mesh_json.h"
#include "formats/mesh_quality.h"

namespace mesh {

int RunStats(const StatsOptions& options) {
  const std::string name = options.input == "-" ? "<stdin>" : options.input;
  std::string text;
  if (!ReadWholeFile(options.input, &text)) {
    std::cerr << "meshctl: " << name << ": cannot be read\n";
    return kExitBadInput;
  }
  PlanarComplexMesh mesh;
  JsonProblem problem;
  if (!ParsePlanarComplexMeshJson(text, &mesh, &problem)) {
    std::cerr << "meshctl: " << name << ":" << problem.ToString() << "\n";
    return kExitBadInput;
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
  if (WriteWholeFile(options.output, report)) return kExitOk;
  std::cerr << "meshctl: " << options.output << ": cannot be written\n";
  return kExitBadInput;
}

}  // namespace mesh

// How good the elements around interior-only points come out, before and
// after the shaped placement: the demo's tilted face and random faces with
// 1 to 20 points, each meshed without its points, with the older placement
// (split the element a point falls in) and with the worker's own. Prints
// the smallest triangle angle and the worst quad's scaled Jacobian over the
// cases, and how many cases miss the targets (20 degrees in a triangle
// mesh; in a quad mesh 0.3 and no more than a fifth below the face without
// points). Run by `make bench`; `--faces N` sets how many random faces of
// each kind; `--verbose` lists the cases that miss,
// and `--save DIR` writes their requests there as meshctl JSON.
#include <stdio.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "formats/mesh_json.h"
#include "formats/mesh_quality.h"
#include "netgen/netgen_mesher.h"
#include "planar/interior_point_sizes.h"
#include "protocol/mesh_request.h"
#include "testing/random_faces.h"
#include "worker/mesh_job.h"

namespace mesh {
namespace {

struct Worst {
  double triangle_angle = 180;
  double quad_jacobian = 1;
  bool meshed = false;
};

Worst Measure(const MeshRequest& request) {
  const MeshStagesResult result = RunMeshStages(request);
  Worst worst;
  if (result.answer.vertices.empty()) return worst;
  worst.meshed = true;
  const std::vector<ElementShape> shapes = ElementShapes(result.answer);
  for (size_t i = 0; i < shapes.size(); ++i) {
    if (i < result.answer.quads.size()) {
      worst.quad_jacobian = std::min(worst.quad_jacobian, shapes[i].quality);
    } else {
      worst.triangle_angle = std::min(worst.triangle_angle, shapes[i].min_angle);
    }
  }
  return worst;
}

bool MissesTarget(const Worst& got, const Worst& plain, bool quads) {
  if (!got.meshed) return true;
  if (!quads) return got.triangle_angle < std::min(20.0, plain.triangle_angle);
  return got.quad_jacobian < std::min(0.3, plain.quad_jacobian) ||
         got.quad_jacobian < 0.8 * plain.quad_jacobian;
}

bool verbose = false;
std::string save_to;

struct Row {
  std::string name;
  bool quads = false;
  int cases = 0;
  Worst without, before, after;
  int missed_before = 0, missed_after = 0;
};

void Fold(Worst* into, const Worst& one) {
  into->triangle_angle = std::min(into->triangle_angle, one.triangle_angle);
  into->quad_jacobian = std::min(into->quad_jacobian, one.quad_jacobian);
}

void AddCase(Row* row, const MeshRequest& request) {
  const Worst without = Measure(test::WithoutInteriorPoints(request));
  SetInteriorPointsShaped(false);
  const Worst before = Measure(request);
  SetInteriorPointsShaped(true);
  const Worst after = Measure(request);
  ++row->cases;
  Fold(&row->without, without);
  Fold(&row->before, before);
  Fold(&row->after, after);
  row->missed_before += MissesTarget(before, without, row->quads);
  row->missed_after += MissesTarget(after, without, row->quads);
  if (verbose && MissesTarget(after, without, row->quads)) {
    printf("%s case %d: angle %.1f/%.1f/%.1f sj %.2f/%.2f/%.2f\n", row->name.c_str(),
            row->cases - 1, without.triangle_angle, before.triangle_angle, after.triangle_angle,
            without.quad_jacobian, before.quad_jacobian, after.quad_jacobian);
    if (!save_to.empty()) {
      std::ofstream out(save_to + "/" + std::to_string(row->quads) + "_" +
                        std::to_string(row->cases - 1) + ".json");
      out << MeshRequestToJson(request).dump() << "\n";
    }
  }
}

MeshRequest ReadExample(const char* path) {
  std::ifstream in(path);
  std::stringstream text;
  text << in.rdbuf();
  MeshRequest request;
  JsonProblem problem;
  if (!ParseMeshRequestJson(text.str(), &request, &problem)) {
    fprintf(stderr, "%s: %s\n", path, problem.message.c_str());
    exit(1);
  }
  return request;
}

void Print(const Row& row) {
  auto angle = [](const Worst& w) {
    char text[16];
    snprintf(text, sizeof text, "%.1f", w.triangle_angle);
    return std::string(text);
  };
  auto jacobian = [&](const Worst& w) {
    char text[16];
    snprintf(text, sizeof text, "%.2f", w.quad_jacobian);
    return row.quads ? std::string(text) : std::string("-");
  };
  printf("%-26s %6d  %7s %7s %7s  %7s %7s %7s  %6d %6d\n", row.name.c_str(), row.cases,
         angle(row.without).c_str(), angle(row.before).c_str(), angle(row.after).c_str(),
         jacobian(row.without).c_str(), jacobian(row.before).c_str(),
         jacobian(row.after).c_str(), row.missed_before, row.missed_after);
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  int faces = 100;
  for (int i = 1; i + 1 < argc; ++i) {
    if (strcmp(argv[i], "--faces") == 0) faces = atoi(argv[i + 1]);
    if (strcmp(argv[i], "--save") == 0) mesh::save_to = argv[i + 1];
  }
  for (int i = 1; i < argc; ++i) {
    if (strcmp(argv[i], "--verbose") == 0) mesh::verbose = true;
  }
  mesh::SetNetgenMessageLevel(0);
  std::vector<mesh::Row> rows;
  for (bool quads : {false, true}) {
    mesh::Row row;
    row.name = std::string("tilted_face ") + (quads ? "quads" : "triangles");
    row.quads = quads;
    mesh::MeshRequest request = mesh::ReadExample("examples/tilted_face.json");
    request.prefer_quads = quads;
    mesh::AddCase(&row, request);
    rows.push_back(row);
  }
  for (bool quads : {false, true}) {
    mesh::Row row;
    row.name = std::string("random faces ") + (quads ? "quads" : "triangles");
    row.quads = quads;
    for (int seed = 0; seed < faces; ++seed) {
      mesh::AddCase(&row, mesh::test::RandomFaceWithPoints(static_cast<uint64_t>(seed), quads));
    }
    rows.push_back(row);
  }
  printf("interior-only points: smallest triangle angle (degrees) and worst quad scaled Jacobian "
         "over the cases,\nwithout the points (none), with them split in (before) and shaped "
         "(after)\n");
  printf("%-26s %6s  %23s  %23s  %13s\n", "", "", "smallest angle", "worst quad",
         "missing target");
  printf("%-26s %6s  %7s %7s %7s  %7s %7s %7s  %6s %6s\n", "", "cases", "none", "before",
         "after", "none", "before", "after", "before", "after");
  for (const mesh::Row& row : rows) mesh::Print(row);
  return 0;
}

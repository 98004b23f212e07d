// The exported files as other programs read them.
#include "formats/mesh_export.h"

#include <algorithm>
#include <string>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "testing/export_readers.h"

namespace mesh {
namespace {

// A tilted strip of three cells: a quad in domain 1, two triangles in
// domain 4, and one more quad in domain 1 after them in the record, so that
// the files' blocks group elements the record keeps apart.
MeshRequest StripRequest() {
  MeshRequest request;
  request.points = {{0, 0, 0}, {3, 0, 0}, {3, 1, 1}, {0, 1, 1}, {1.5, 0.5, 0.5}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 4, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  request.interior_only = {4};
  request.target_size = 1;
  return request;
}

PlanarComplexMesh StripMesh() {
  PlanarComplexMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {3, 0, 0},
                   {3, 1, 1}, {2, 1, 1}, {1, 1, 1}, {0, 1, 1}, {1.5, 0.5, 0.5}};
  mesh.quads = {{0, 1, 6, 7}, {2, 3, 4, 5}};
  mesh.quad_domains = {1, 1};
  mesh.triangles = {{1, 2, 5}, {1, 5, 6}};
  mesh.triangle_domains = {4, 4};
  mesh.point_vertex = {0, 3, 4, 7, 8};
  mesh.segment_chains = {{0, 1, 2, 3}, {3, 4}, {4, 5, 6, 7}, {7, 0}};
  return mesh;
}

nlohmann::json ExpectedMeshio(const PlanarComplexMesh& mesh) {
  nlohmann::json points = nlohmann::json::array();
  for (const Point3& v : mesh.vertices) points.push_back({v.x, v.y, v.z});
  std::vector<nlohmann::json> elements;
  for (size_t q = 0; q < mesh.quads.size(); ++q) {
    const auto& c = mesh.quads[q];
    elements.push_back({"quad", mesh.quad_domains[q], c[0], c[1], c[2], c[3]});
  }
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    const auto& c = mesh.triangles[t];
    elements.push_back({"triangle", mesh.triangle_domains[t], c[0], c[1], c[2]});
  }
  for (size_t s = 0; s < mesh.segment_chains.size(); ++s) {
    const std::vector<int32_t>& chain = mesh.segment_chains[s];
    for (size_t i = 1; i < chain.size(); ++i) elements.push_back({"line", s, chain[i - 1], chain[i]});
  }
  std::sort(elements.begin(), elements.end());
  return {{"points", points}, {"elements", elements}};
}

// Elements with their domains, and the segments' chains as lines with their
// segment indices (Gmsh's physical curves, named after the segment and its
// two domains), as independent readers see them.
TEST(MeshExportTest, VtuAndMshReadBackThroughMeshioAndGmsh) {
  ScratchDirectory dir;
  const MeshRequest request = StripRequest();
  const PlanarComplexMesh mesh = StripMesh();
  WriteFile(dir / "strip.vtu", MeshToVtu(mesh));
  WriteFile(dir / "strip.msh", MeshToMsh(request, mesh));

  nlohmann::json expected = ExpectedMeshio(mesh);
  EXPECT_EQ(ReadWithMeshio(dir / "strip.vtu"), expected);
  expected["segment_names"] = {{"0", "segment 0 (left domain 1, right domain 0)"},
                               {"1", "segment 1 (left domain 4, right domain 0)"},
                               {"2", "segment 2 (left domain 1, right domain 0)"},
                               {"3", "segment 3 (left domain 1, right domain 0)"}};
  EXPECT_EQ(ReadWithMeshio(dir / "strip.msh"), expected);

  // 4 elements and 3 + 1 + 3 + 1 lines along the chains.
  const GmshCounts gmsh = CheckWithGmsh(dir / "strip.msh");
  EXPECT_EQ(gmsh.nodes, 9);
  EXPECT_EQ(gmsh.elements, 12);
}

// Gmsh's own reading of the physical groups: one curve group per segment,
// one surface group per domain.
TEST(MeshExportTest, GmshSeesOnePhysicalCurvePerSegment) {
  ScratchDirectory dir;
  WriteFile(dir / "strip.msh", MeshToMsh(StripRequest(), StripMesh()));
  WriteFile(dir / "groups.geo", "Merge \"" + (dir / "strip.msh") +
                                    "\";\n"
                                    "c() = Physical Curve{:};\n"
                                    "s() = Physical Surface{:};\n"
                                    "Printf(\"curves %g surfaces %g\", #c(), #s());\n");
  const ProcessOutput out = RunProgram("/usr/bin/gmsh", {"-0", dir / "groups.geo"});
  EXPECT_TRUE(out.status.exited && out.status.code == 0) << out.out << out.err;
  const std::string text = out.out + out.err;
  EXPECT_EQ(text.find("Error"), std::string::npos) << text;
  EXPECT_NE(text.find("curves 4 surfaces 2"), std::string::npos) << text;
}

TEST(MeshExportTest, SvgDrawsEveryElementChainAndPoint) {
  ScratchDirectory dir;
  WriteFile(dir / "strip.svg", MeshToSvg(StripRequest(), StripMesh(), "a <strip> & more"));
  const nlohmann::json svg = ReadSvg(dir / "strip.svg");
  EXPECT_EQ(svg["domains"], (nlohmann::json{{"1", 2}, {"4", 2}}));
  EXPECT_EQ(svg["chains"], 4);
  EXPECT_EQ(svg["dots"], 5);
}

TEST(MeshExportTest, SvgLooksAtThePlaneFromTheWorkersSide) {
  // A square in the x-y plane run clockwise seen from +z: the worker's
  // normal is then -z, and seen from there x still points right, so y must
  // point down the picture. The point at y = 1 is drawn below the one at 0.
  MeshRequest request;
  request.points = {{0, 0, 0}, {0, 1, 0}, {1, 1, 0}, {1, 0, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  request.target_size = 1;
  PlanarComplexMesh mesh;
  mesh.vertices = request.points;
  mesh.quads = {{0, 1, 2, 3}};
  mesh.quad_domains = {1};
  const std::string svg = MeshToSvg(request, mesh, "clockwise");
  auto dot_y = [&svg](int which) {
    size_t at = 0;
    for (int i = 0; i <= which; ++i) at = svg.find("<circle", at + 1);
    return std::stod(svg.substr(svg.find("cy=\"", at) + 4));
  };
  EXPECT_GT(dot_y(1), dot_y(0));

  request.plane_normal = {0, 0, 1};
  const std::string from_above = MeshToSvg(request, mesh, "clockwise");
  EXPECT_NE(from_above, svg);
}

TEST(MeshExportTest, SummaryCountsDomains) {
  EXPECT_EQ(MeshSummary(StripMesh()), "9 vertices, 2 quads, 2 triangles in 2 domains");
}

TEST(MeshExportTest, TheQualityPictureFillsEachElementByItsTenth) {
  // The strip's quads are 1 x √2 rectangles (quality 1); its triangles have
  // a right angle between legs 1 and √2 (quality 4√3 · 0.707 / 6 = 0.816).
  const std::string svg = MeshToQualitySvg(StripRequest(), StripMesh(), "strip");
  auto subpaths_of = [&](const std::string& class_name) {
    const size_t at = svg.find("<path class=\"" + class_name + "\"");
    if (at == std::string::npos) return -1;
    const size_t end = svg.find("/>", at);
    return static_cast<int>(std::count(svg.begin() + at, svg.begin() + end, 'Z'));
  };
  EXPECT_EQ(subpaths_of("quality-9"), 2);
  EXPECT_EQ(subpaths_of("quality-8"), 2);
  EXPECT_EQ(subpaths_of("quality-0"), -1);  // no path for an empty tenth
  EXPECT_EQ(svg.find("domain-"), std::string::npos);
  // The legend has every tenth, the best first.
  const size_t best = svg.find(">quality 0.9 to 1.0: 2 elements</text>");
  const size_t worst = svg.find(">quality 0.0 to 0.1: 0 elements</text>");
  ASSERT_NE(best, std::string::npos) << svg;
  ASSERT_NE(worst, std::string::npos) << svg;
  EXPECT_LT(best, worst);
  EXPECT_NE(svg.find(">quality 0.8 to 0.9: 2 elements</text>"), std::string::npos);
}

}  // namespace
}  // namespace mesh

// Helpers for meshctl's tests: scratch directories, and the independent
// readers (Debian's python3-meshio, gmsh, Python's XML parser) that exported
// files are checked with. Test-only.
#ifndef MESH_WORKER_TESTING_EXPORT_READERS_H_
#define MESH_WORKER_TESTING_EXPORT_READERS_H_

#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "testing/test_process.h"

namespace mesh {

class ScratchDirectory {
 public:
  ScratchDirectory() {
    char pattern[] = "/tmp/meshctl-test-XXXXXX";
    path_ = mkdtemp(pattern);
  }
  ~ScratchDirectory() { std::filesystem::remove_all(path_); }
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

inline ProcessOutput RunProgram(const std::string& program, const std::vector<std::string>& args,
                         const std::string& input = "",
                         const TestProcessOptions& options = TestProcessOptions()) {
  TestProcess process;
  if (!process.Start(program, args, options)) return ProcessOutput();
  return process.Communicate(input, 120000);
}

// What meshio makes of a .vtu or .msh file: points, and every element as
// [type, domain, corner...] and every boundary line as ["line", segment,
// corner, corner] (0-based corners), sorted, so that files that order their
// blocks differently compare equal. A .msh file's segment is its physical
// curve's tag - 1, and the curves' names come as "segment_names" (segment
// to name); a .vtu file must mark lines' domains and elements' segments -1.
inline nlohmann::json ReadWithMeshio(const std::string& path) {
  static const char kScript[] = R"(
import json, sys, meshio
m = meshio.read(sys.argv[1])
vtu = "domain" in m.cell_data
elements = []
for i, block in enumerate(m.cells):
    if vtu:
        domains, segments = m.cell_data["domain"][i].tolist(), m.cell_data["segment"][i].tolist()
        if block.type == "line":
            assert all(d == -1 for d in domains), "a line with a domain"
            ids = segments
        else:
            assert all(s == -1 for s in segments), "an element with a segment"
            ids = domains
    else:
        ids = m.cell_data["gmsh:physical"][i].tolist()
        if block.type == "line":
            ids = [s - 1 for s in ids]
    for corners, id in zip(block.data.tolist(), ids):
        elements.append([block.type, int(id)] + [int(c) for c in corners])
out = {"points": m.points.tolist(), "elements": sorted(elements)}
names = {str(int(v[0]) - 1): k for k, v in m.field_data.items() if int(v[1]) == 1}
if names:
    out["segment_names"] = names
print(json.dumps(out))
)";
  const ProcessOutput out = RunProgram("/usr/bin/python3", {"-c", kScript, path});
  EXPECT_TRUE(out.status.exited && out.status.code == 0) << out.err;
  return out.status.code == 0 ? nlohmann::json::parse(out.out) : nlohmann::json();
}

struct GmshCounts {
  int nodes = -1;
  int elements = -1;
};

// `gmsh -check` reads the file as Gmsh itself would and reports its counts.
inline GmshCounts CheckWithGmsh(const std::string& path) {
  const ProcessOutput out = RunProgram("/usr/bin/gmsh", {"-check", path});
  EXPECT_TRUE(out.status.exited && out.status.code == 0) << out.out << out.err;
  const std::string text = out.out + out.err;
  EXPECT_EQ(text.find("Error"), std::string::npos) << text;
  GmshCounts counts;
  std::smatch match;
  if (std::regex_search(text, match, std::regex("Info +: (\\d+) nodes"))) {
    counts.nodes = std::stoi(match[1]);
  }
  if (std::regex_search(text, match, std::regex("Info +: (\\d+) elements"))) {
    counts.elements = std::stoi(match[1]);
  }
  return counts;
}

// Python's XML parser on an SVG: the number of element paths per domain
// class (counted as closed subpaths), of dots, and of segment subpaths.
inline nlohmann::json ReadSvg(const std::string& path) {
  static const char kScript[] = R"(
import json, sys, xml.etree.ElementTree as ET
ns = "{http://www.w3.org/2000/svg}"
root = ET.parse(sys.argv[1]).getroot()
out = {"domains": {}, "dots": 0, "chains": 0}
for p in root.iter(ns + "path"):
    cls = p.get("class")
    if cls.startswith("domain-"):
        out["domains"][cls[7:]] = p.get("d").count("Z")
    elif cls == "segments":
        out["chains"] = p.get("d").count("M")
out["dots"] = sum(1 for _ in root.iter(ns + "circle"))
print(json.dumps(out))
)";
  const ProcessOutput out = RunProgram("/usr/bin/python3", {"-c", kScript, path});
  EXPECT_TRUE(out.status.exited && out.status.code == 0) << out.err;
  return out.status.code == 0 ? nlohmann::json::parse(out.out) : nlohmann::json();
}

}  // namespace mesh

#endif  // MESH_WORKER_TESTING_EXPORT_READERS_H_

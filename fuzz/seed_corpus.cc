// Writes the fuzzers' starting inputs into fuzz/corpus/, one folder per
// fuzz target. The requests are the shapes the unit tests use
// (valid ones the mesher can finish quickly, and refused ones for every kind
// of check), so the fuzzers start from inputs that reach deep into each
// stage instead of stopping at the version byte.
//
//   fuzz-seed-corpus fuzz/corpus
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <string>
#include <sys/stat.h>
#include <utility>
#include <vector>

#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "testing/loops.h"
#include "testing/shapes.h"

namespace mesh {
namespace {

using test::AddLoop;
using test::OneQuadMesh;
using test::UnitSquareRequest;

std::vector<std::pair<std::string, MeshRequest>> Requests() {
  std::vector<std::pair<std::string, MeshRequest>> requests;
  requests.emplace_back("unit_square", UnitSquareRequest(0.25));

  MeshRequest hole;
  AddLoop(&hole, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}, 1, 0);
  // Clockwise: the domain is on its left.
  AddLoop(&hole, {{0.5, 0.5, 0}, {0.5, 1.5, 0}, {1.5, 1.5, 0}, {1.5, 0.5, 0}}, 1, 0);
  hole.target_size = 0.4;
  requests.emplace_back("square_with_hole", hole);

  MeshRequest two;
  two.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  two.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                  {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 2, 1}};
  two.target_size = 0.5;
  two.domain_target_sizes = {0.25, 0.0};
  requests.emplace_back("two_domains", two);

  MeshRequest ell;
  AddLoop(&ell, {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}, 1, 0);
  ell.target_size = 0.5;
  ell.domain_target_sizes = {0.3};
  requests.emplace_back("l_shape", ell);

  MeshRequest interior = UnitSquareRequest(0.5);
  interior.points.push_back({0.3, 0.6, 0});
  interior.interior_only = {4};
  requests.emplace_back("interior_point", interior);

  MeshRequest triangles = UnitSquareRequest(0.5);
  triangles.prefer_quads = false;
  requests.emplace_back("triangles_only", triangles);

  MeshRequest kept = UnitSquareRequest(0.5);
  kept.options = kKeepBoundary;
  requests.emplace_back("kept_boundary", kept);

  MeshRequest all_quads = UnitSquareRequest(0.5);
  all_quads.options = kAllQuads;
  requests.emplace_back("all_quads", all_quads);

  MeshRequest unknown_option = UnitSquareRequest(0.5);
  unknown_option.options = 1u << 2;
  requests.emplace_back("refused_unsupported_option", unknown_option);

  MeshRequest too_long_to_keep = UnitSquareRequest(0.25);
  too_long_to_keep.options = kKeepBoundary;
  requests.emplace_back("refused_segment_too_long_to_keep", too_long_to_keep);

  MeshRequest tilted;
  AddLoop(&tilted, {{0, 0, 0}, {1, 0, 1}, {1, 1, 1}, {0, 1, 0}}, 1, 0);
  tilted.target_size = 0.5;
  tilted.plane_normal = {-1, 0, 1};
  requests.emplace_back("tilted_with_normal", tilted);

  MeshRequest clockwise;
  AddLoop(&clockwise, {{0, 0, 5}, {0, 1, 5}, {1, 1, 5}, {1, 0, 5}}, 0, 1);
  clockwise.target_size = 0.5;
  requests.emplace_back("clockwise_outline", clockwise);

  MeshRequest no_segments;
  no_segments.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  no_segments.target_size = 1;
  requests.emplace_back("no_segments", no_segments);

  MeshRequest two_points;
  two_points.points = {{0, 0, 0}, {1, 0, 0}};
  two_points.target_size = 1;
  requests.emplace_back("refused_two_points", two_points);

  MeshRequest nan_size = UnitSquareRequest(std::numeric_limits<double>::quiet_NaN());
  requests.emplace_back("refused_nan_target_size", nan_size);

  MeshRequest infinite_point = UnitSquareRequest(0.5);
  infinite_point.points[2].y = std::numeric_limits<double>::infinity();
  requests.emplace_back("refused_infinite_point", infinite_point);

  MeshRequest out_of_range = UnitSquareRequest(0.5);
  out_of_range.segments[2].point_b = 4;
  requests.emplace_back("refused_endpoint_out_of_range", out_of_range);

  MeshRequest short_segment = UnitSquareRequest(0.5);
  short_segment.points[1] = {1e-12, 0, 0};
  requests.emplace_back("refused_short_segment", short_segment);

  MeshRequest bad_interior = UnitSquareRequest(0.5);
  bad_interior.interior_only = {-1};
  requests.emplace_back("refused_interior_out_of_range", bad_interior);

  MeshRequest bow_tie;
  AddLoop(&bow_tie, {{0, 0, 0}, {1, 1, 0}, {1, 0, 0}, {0, 1, 0}}, 1, 0);
  bow_tie.target_size = 0.5;
  requests.emplace_back("refused_bow_tie", bow_tie);

  MeshRequest slit;
  slit.points = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
  slit.segments = {{0, 1, 1, 0}, {1, 0, 1, 0}};
  slit.target_size = 0.5;
  requests.emplace_back("refused_slit", slit);

  MeshRequest collinear;
  AddLoop(&collinear, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}, 1, 0);
  collinear.target_size = 0.5;
  requests.emplace_back("refused_collinear", collinear);

  MeshRequest open = UnitSquareRequest(0.5);
  open.segments.pop_back();
  requests.emplace_back("open_outline", open);
  return requests;
}

std::vector<std::pair<std::string, PlanarComplexMesh>> Results() {
  std::vector<std::pair<std::string, PlanarComplexMesh>> results;
  results.emplace_back("one_quad", OneQuadMesh());

  PlanarComplexMesh mixed = OneQuadMesh();
  mixed.vertices.push_back({0.5, 0.5, -0.0});
  mixed.vertices.push_back({std::numeric_limits<double>::denorm_min(),
                            std::numeric_limits<double>::max(), 0});
  mixed.triangles = {{0, 1, 4}, {1, 2, 4}};
  mixed.triangle_domains = {2, 2};
  mixed.segment_chains.push_back({4});
  mixed.segment_chains.push_back({});
  results.emplace_back("quads_triangles_and_odd_chains", mixed);

  results.emplace_back("empty_record", PlanarComplexMesh());
  return results;
}

std::string MeshFrame(const MeshRequest& request) {
  return EncodeFrame(kKindMeshRequest, EncodeMeshRequest(request));
}

std::vector<std::pair<std::string, std::string>> Streams() {
  const std::string square = MeshFrame(UnitSquareRequest(0.25));
  const std::string empty = EncodeFrame(kKindMeshRequest, "");
  std::string bad_magic = empty;
  bad_magic[3] = '2';
  MeshRequest refused = UnitSquareRequest(0.25);
  refused.points.resize(2);
  return {
      {"one_request", square},
      {"requests_and_failures", square + empty + MeshFrame(refused) + square},
      {"unknown_kind_after_request", square + EncodeFrame(2, "abc") + square},
      {"hang_test_disarmed", empty + EncodeFrame(kKindHangTest, "x")},
      {"bad_magic", square + bad_magic},
      {"cut_in_payload", square + square.substr(0, square.size() - 5)},
      {"cut_in_header", square + square.substr(0, 9)},
  };
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

bool WriteAll(const std::string& dir, const std::string& target,
              const std::vector<std::pair<std::string, std::string>>& files) {
  const std::string folder = dir + "/" + target;
  mkdir(folder.c_str(), 0755);
  for (const auto& [name, bytes] : files) {
    if (!WriteFile(folder + "/" + name, bytes)) {
      std::fprintf(stderr, "cannot write %s/%s\n", folder.c_str(), name.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  using namespace mesh;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s CORPUS_DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  mkdir(dir.c_str(), 0755);

  std::vector<std::pair<std::string, std::string>> requests, small_valid, results;
  for (const auto& [name, request] : Requests()) {
    requests.emplace_back(name, EncodeMeshRequest(request));
    if (name.rfind("refused_", 0) != 0) small_valid.emplace_back(name, requests.back().second);
  }
  for (const auto& [name, result] : Results()) {
    results.emplace_back(name, EncodePlanarComplexMesh(result));
  }
  const bool ok = WriteAll(dir, "mesh_request_fuzzer", requests) &&
                  WriteAll(dir, "build_planar_mesh_fuzzer", requests) &&
                  WriteAll(dir, "mesh_job_fuzzer", small_valid) &&
                  WriteAll(dir, "planar_complex_mesh_fuzzer", results) &&
                  WriteAll(dir, "request_loop_fuzzer", Streams());
  return ok ? 0 : 1;
}

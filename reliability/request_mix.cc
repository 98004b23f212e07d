#include "reliability/request_mix.h"

#include <limits>

#include "testing/loops.h"
#include "testing/shapes.h"

namespace mesh {

using test::AddLoop;
using test::UnitSquareRequest;

std::vector<std::pair<std::string, MeshRequest>> MeshableRequests() {
  std::vector<std::pair<std::string, MeshRequest>> requests;
  requests.emplace_back("square", UnitSquareRequest(0.25));

  MeshRequest triangles = UnitSquareRequest(0.2);
  triangles.prefer_quads = false;
  requests.emplace_back("square_triangles", triangles);

  MeshRequest hole;
  AddLoop(&hole, {{0, 0}, {2, 0}, {2, 2}, {0, 2}}, 1, 0);
  AddLoop(&hole, {{0.5, 0.5}, {1.5, 0.5}, {1.5, 1.5}, {0.5, 1.5}}, 0, 1);
  hole.target_size = 0.4;
  requests.emplace_back("square_with_hole", hole);

  MeshRequest two = test::TwoDomainRectangleRequest(0.4);
  two.domain_target_sizes = {0, 0.25};
  requests.emplace_back("two_domains", two);

  MeshRequest interior = UnitSquareRequest(0.3);
  interior.interior_only = {4};
  interior.points.push_back({0.37, 0.61, 0});
  requests.emplace_back("interior_point", interior);

  MeshRequest tilted;
  tilted.points = {{10, 0, 0}, {11, 0, 1}, {11, 1, 1}, {10, 1, 0}};
  tilted.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
  tilted.target_size = 0.3;
  tilted.plane_normal = {-1, 0, 1};
  requests.emplace_back("tilted_plane", tilted);
  return requests;
}

std::vector<std::pair<std::string, MeshRequest>> RefusedRequests() {
  std::vector<std::pair<std::string, MeshRequest>> requests;
  MeshRequest few = UnitSquareRequest(0.25);
  few.points.resize(2);
  few.segments.clear();
  requests.emplace_back("two_points", few);

  requests.emplace_back("nan_target_size", UnitSquareRequest(std::numeric_limits<double>::quiet_NaN()));

  MeshRequest endpoint = UnitSquareRequest(0.25);
  endpoint.segments[3].point_b = 7;
  requests.emplace_back("endpoint_out_of_range", endpoint);

  MeshRequest bow_tie;
  AddLoop(&bow_tie, {{0, 0}, {1, 1}, {1, 0}, {0, 1}}, 1, 0);
  bow_tie.target_size = 0.25;
  requests.emplace_back("bow_tie", bow_tie);

  MeshRequest open = UnitSquareRequest(0.25);
  open.segments.pop_back();
  requests.emplace_back("open_outline", open);

  MeshRequest outside = UnitSquareRequest(0.25);
  outside.interior_only = {4};
  outside.points.push_back({3, 3, 0});
  requests.emplace_back("interior_point_outside", outside);
  return requests;
}

std::vector<std::pair<std::string, std::string>> MalformedPayloads() {
  const std::string valid = EncodeMeshRequest(UnitSquareRequest(0.25));
  std::string huge_count = valid;
  for (int i = 1; i <= 8; ++i) huge_count[i] = '\xff';
  std::string version_two = valid;
  version_two[0] = 2;
  return {
      {"empty", ""},
      {"version_two", version_two},
      {"one_byte_short", valid.substr(0, valid.size() - 1)},
      {"one_byte_over", valid + "x"},
      {"huge_point_count", huge_count},
  };
}

}  // namespace mesh

// Fuzzes the .poly reader (`meshctl mesh file.poly`). The bytes up to the
// first form feed are the .poly file, those after it the .node file beside
// it (read only when the .poly file lists no vertices); without a form feed
// there is no .node file. A refused file gives one line naming the file at
// fault; a read one is a request the worker can be sent as it is: every
// index within its list, every number finite, the outside never on the left
// of a segment.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "formats/poly_reader.h"
#include "fuzz/fuzz_check.h"
#include "protocol/frame.h"

namespace mesh {
namespace {

void CheckRequest(const MeshRequest& request) {
  const size_t points = request.points.size();
  auto is_point = [points](int32_t p) { return p >= 0 && static_cast<size_t>(p) < points; };
  for (const Point3& p : request.points) {
    FUZZ_CHECK(std::isfinite(p.x) && std::isfinite(p.y) && p.z == 0);
  }
  FUZZ_CHECK(!request.segments.empty());
  std::vector<bool> on_segment(points, false);
  for (const BoundarySegment& s : request.segments) {
    FUZZ_CHECK(is_point(s.point_a) && is_point(s.point_b) && s.point_a != s.point_b);
    FUZZ_CHECK(s.left_domain > 0 && s.right_domain >= 0);
    on_segment[s.point_a] = on_segment[s.point_b] = true;
  }
  for (int32_t p : request.interior_only) FUZZ_CHECK(is_point(p) && !on_segment[p]);
  FUZZ_CHECK(std::is_sorted(request.interior_only.begin(), request.interior_only.end()));
  FUZZ_CHECK(std::adjacent_find(request.interior_only.begin(), request.interior_only.end()) ==
             request.interior_only.end());
  for (double size : request.domain_target_sizes) FUZZ_CHECK(std::isfinite(size) && size >= 0);
  // The whole request must fit one frame, or the worker could never be
  // sent it.
  FUZZ_CHECK(request.domain_target_sizes.size() * sizeof(double) < kMaxRequestPayload);
  FUZZ_CHECK(request.plane_normal.x == 0 && request.plane_normal.y == 0 &&
             request.plane_normal.z == 1);
  FUZZ_CHECK(request.target_size == 0);
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t split = input.find('\f');
  const std::string poly_text = input.substr(0, split);
  const bool has_node_file = split != std::string::npos;
  const NodeFileReader read_node = [&](std::string* name, std::string* text) {
    if (!has_node_file) return false;
    *name = "fuzz.node";
    *text = input.substr(split + 1);
    return true;
  };
  PolyResult result;
  std::string error;
  if (!ParsePoly("fuzz.poly", poly_text, read_node, &result, &error)) {
    FUZZ_CHECK(error.rfind("fuzz.poly:", 0) == 0 || error.rfind("fuzz.node:", 0) == 0);
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    return 0;
  }
  CheckRequest(result.request);
  for (const std::string& note : result.notes) FUZZ_CHECK(note.find('\n') == std::string::npos);
  return 0;
}

#include "cli/mesh_json.h"

#include <cstdint>
#include <limits>

namespace mesh {

namespace {

using nlohmann::json;

// A small reader that keeps the path of the value it is looking at, so that
// every error can say exactly which field was wrong.
class FieldReader {
 public:
  explicit FieldReader(std::string* error) : error_(error) {}

  bool Fail(const std::string& path, const std::string& what) {
    *error_ = "field '" + path + "': " + what;
    return false;
  }

  bool Number(const json& value, const std::string& path, double* out) {
    if (!value.is_number()) return Fail(path, "expected a number");
    *out = value.get<double>();
    return true;
  }

  bool Int32(const json& value, const std::string& path, int32_t* out) {
    if (!value.is_number_integer()) return Fail(path, "expected an integer");
    const int64_t wide = value.get<int64_t>();
    if (wide < std::numeric_limits<int32_t>::min() ||
        wide > std::numeric_limits<int32_t>::max()) {
      return Fail(path, "integer out of 32-bit range");
    }
    *out = static_cast<int32_t>(wide);
    return true;
  }

  bool Point(const json& value, const std::string& path, Point3* out) {
    if (!value.is_array() || value.size() != 3) {
      return Fail(path, "expected [x, y, z]");
    }
    return Number(value[0], path + "[0]", &out->x) &&
           Number(value[1], path + "[1]", &out->y) &&
           Number(value[2], path + "[2]", &out->z);
  }

  bool Array(const json& value, const std::string& path) {
    if (!value.is_array()) return Fail(path, "expected an array");
    return true;
  }

 private:
  std::string* error_;
};

std::string Indexed(const char* name, size_t i) {
  return std::string(name) + "[" + std::to_string(i) + "]";
}

}  // namespace

bool MeshRequestFromJson(const json& in, MeshRequest* request, std::string* error) {
  FieldReader reader(error);
  if (!in.is_object()) return reader.Fail("(top level)", "expected an object");
  for (const char* required : {"points", "segments", "target_size"}) {
    if (!in.contains(required)) return reader.Fail(required, "missing");
  }
  MeshRequest staged;

  const json& points = in.at("points");
  if (!reader.Array(points, "points")) return false;
  staged.points.resize(points.size());
  for (size_t i = 0; i < points.size(); ++i) {
    if (!reader.Point(points[i], Indexed("points", i), &staged.points[i])) return false;
  }

  const json& segments = in.at("segments");
  if (!reader.Array(segments, "segments")) return false;
  staged.segments.resize(segments.size());
  for (size_t i = 0; i < segments.size(); ++i) {
    const std::string path = Indexed("segments", i);
    const json& s = segments[i];
    if (!s.is_array() || s.size() != 4) {
      return reader.Fail(path, "expected [point_a, point_b, left_domain, right_domain]");
    }
    BoundarySegment& segment = staged.segments[i];
    if (!reader.Int32(s[0], path + "[0]", &segment.point_a) ||
        !reader.Int32(s[1], path + "[1]", &segment.point_b) ||
        !reader.Int32(s[2], path + "[2]", &segment.left_domain) ||
        !reader.Int32(s[3], path + "[3]", &segment.right_domain)) {
      return false;
    }
  }

  if (!reader.Number(in.at("target_size"), "target_size", &staged.target_size)) return false;

  if (in.contains("interior_only")) {
    const json& interior = in.at("interior_only");
    if (!reader.Array(interior, "interior_only")) return false;
    staged.interior_only.resize(interior.size());
    for (size_t i = 0; i < interior.size(); ++i) {
      if (!reader.Int32(interior[i], Indexed("interior_only", i), &staged.interior_only[i])) {
        return false;
      }
    }
  }
  if (in.contains("domain_target_sizes")) {
    const json& sizes = in.at("domain_target_sizes");
    if (!reader.Array(sizes, "domain_target_sizes")) return false;
    staged.domain_target_sizes.resize(sizes.size());
    for (size_t i = 0; i < sizes.size(); ++i) {
      if (!reader.Number(sizes[i], Indexed("domain_target_sizes", i),
                         &staged.domain_target_sizes[i])) {
        return false;
      }
    }
  }
  if (in.contains("prefer_quads")) {
    if (!in.at("prefer_quads").is_boolean()) {
      return reader.Fail("prefer_quads", "expected true or false");
    }
    staged.prefer_quads = in.at("prefer_quads").get<bool>();
  }
  if (in.contains("plane_normal") &&
      !reader.Point(in.at("plane_normal"), "plane_normal", &staged.plane_normal)) {
    return false;
  }
  *request = std::move(staged);
  return true;
}

json MeshRequestToJson(const MeshRequest& request) {
  json out = json::object();
  json points = json::array();
  for (const Point3& p : request.points) points.push_back({p.x, p.y, p.z});
  out["points"] = std::move(points);
  json segments = json::array();
  for (const BoundarySegment& s : request.segments) {
    segments.push_back({s.point_a, s.point_b, s.left_domain, s.right_domain});
  }
  out["segments"] = std::move(segments);
  out["interior_only"] = request.interior_only;
  out["target_size"] = request.target_size;
  out["domain_target_sizes"] = request.domain_target_sizes;
  out["prefer_quads"] = request.prefer_quads;
  out["plane_normal"] = {request.plane_normal.x, request.plane_normal.y,
                         request.plane_normal.z};
  return out;
}

json PlanarComplexMeshToJson(const PlanarComplexMesh& mesh) {
  json out = json::object();
  json vertices = json::array();
  for (const Point3& v : mesh.vertices) vertices.push_back({v.x, v.y, v.z});
  out["vertices"] = std::move(vertices);
  out["quads"] = mesh.quads;
  out["triangles"] = mesh.triangles;
  out["point_vertex"] = mesh.point_vertex;
  out["quad_domains"] = mesh.quad_domains;
  out["triangle_domains"] = mesh.triangle_domains;
  out["segment_chains"] = mesh.segment_chains;
  return out;
}

}  // namespace mesh

#include "formats/mesh_json.h"

#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <utility>
#include <vector>

namespace mesh {

namespace {

using nlohmann::json;
using nlohmann::ordered_json;

// One step of the way from the document's root to a value.
struct PathPart {
  bool is_index = false;
  size_t index = 0;
  std::string key;
};
using Path = std::vector<PathPart>;

std::string PathToString(const Path& path) {
  std::string text;
  for (const PathPart& part : path) {
    if (part.is_index) {
      text += "[" + std::to_string(part.index) + "]";
    } else {
      text += text.empty() ? part.key : "." + part.key;
    }
  }
  return text.empty() ? "(top level)" : text;
}

// nlohmann's DOM keeps no positions, so the position of a value is found
// again, only when an error needs it, by walking the text (already known to
// be valid JSON) along the value's path.
class ValueLocator {
 public:
  ValueLocator(const std::string& text, const Path& target, bool want_key)
      : text_(text), target_(target), want_key_(want_key) {}

  // The offset of the value (or of its key), or npos.
  size_t Find() {
    pos_ = 0;
    Walk(/*on_path=*/true, 0, 0);
    return found_;
  }

 private:
  // Deeper documents are rare; giving up there keeps the walk off the
  // stack's limits, and the caller falls back on a shallower position.
  static constexpr size_t kMaxDepth = 256;

  void SkipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  // Leaves pos_ after the closing quote; returns the raw token.
  std::string SkipString() {
    const size_t start = pos_++;
    while (pos_ < text_.size() && text_[pos_] != '"') pos_ += text_[pos_] == '\\' ? 2 : 1;
    ++pos_;
    return text_.substr(start, pos_ - start);
  }

  void Walk(bool on_path, size_t matched, size_t depth) {
    SkipSpace();
    if (found_ != std::string::npos || pos_ >= text_.size()) return;
    if (on_path && matched == target_.size() && !want_key_) {
      found_ = pos_;
      return;
    }
    if (depth > kMaxDepth) {
      pos_ = text_.size();
      return;
    }
    const char c = text_[pos_];
    if (c == '{') {
      ++pos_;
      for (;;) {
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] == '}') break;
        const size_t key_start = pos_;
        const std::string token = SkipString();
        bool child_on_path = false;
        if (on_path && matched < target_.size() && !target_[matched].is_index) {
          child_on_path = json::parse(token).get<std::string>() == target_[matched].key;
        }
        if (child_on_path && want_key_ && matched + 1 == target_.size()) {
          found_ = key_start;
          return;
        }
        SkipSpace();
        ++pos_;  // ':'
        Walk(child_on_path, matched + 1, depth + 1);
        if (found_ != std::string::npos) return;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == ',') ++pos_;
      }
      ++pos_;
    } else if (c == '[') {
      ++pos_;
      for (size_t index = 0;; ++index) {
        SkipSpace();
        if (pos_ >= text_.size() || text_[pos_] == ']') break;
        const bool child_on_path = on_path && matched < target_.size() &&
                                   target_[matched].is_index && target_[matched].index == index;
        Walk(child_on_path, matched + 1, depth + 1);
        if (found_ != std::string::npos) return;
        SkipSpace();
        if (pos_ < text_.size() && text_[pos_] == ',') ++pos_;
      }
      ++pos_;
    } else if (c == '"') {
      SkipString();
    } else {
      while (pos_ < text_.size() && text_[pos_] != ',' && text_[pos_] != ']' &&
             text_[pos_] != '}' && text_[pos_] != ' ' && text_[pos_] != '\t' &&
             text_[pos_] != '\n' && text_[pos_] != '\r') {
        ++pos_;
      }
    }
  }

  const std::string& text_;
  const Path& target_;
  const bool want_key_;
  size_t pos_ = 0;
  size_t found_ = std::string::npos;
};

// Reads the fields of a request or an answer out of the DOM, keeping the
// path of the value at hand so that the first error can say which field and
// where.
class RecordReader {
 public:
  RecordReader(const std::string& text, JsonProblem* problem)
      : text_(text), problem_(problem) {}

  bool Read(const json& root, MeshRequest* out) {
    if (!root.is_object()) return Fail("expected an object with the request's fields");
    static const char* const kFields[] = {"points",        "segments",
                                          "interior_only", "target_size",
                                          "domain_target_sizes", "prefer_quads",
                                          "plane_normal",  "keep_boundary",
                                          "all_quads",     "options"};
    for (const auto& member : root.items()) {
      bool known = false;
      for (const char* field : kFields) known = known || member.key() == field;
      if (!known) {
        Enter(member.key());
        return Fail(
            "unknown field (expected points, segments, interior_only, target_size, "
            "domain_target_sizes, prefer_quads, plane_normal, keep_boundary, all_quads or "
            "options)",
            /*at_key=*/true);
      }
    }
    for (const char* required : {"points", "segments", "target_size"}) {
      if (!root.contains(required)) return Missing(required);
    }

    if (!Array(root, "points", [&](const json& p) {
          out->points.emplace_back();
          return Point(p, &out->points.back());
        })) {
      return false;
    }
    if (!Array(root, "segments", [&](const json& s) {
          if (!s.is_array() || s.size() != 4) {
            return Fail("expected [point_a, point_b, left_domain, right_domain]");
          }
          BoundarySegment segment;
          int32_t* fields[] = {&segment.point_a, &segment.point_b, &segment.left_domain,
                               &segment.right_domain};
          for (size_t i = 0; i < 4; ++i) {
            if (!Indexed(i, [&] { return Int32(s[i], fields[i]); })) return false;
          }
          out->segments.push_back(segment);
          return true;
        })) {
      return false;
    }
    if (!Field(root, "target_size", [&](const json& v) { return Number(v, &out->target_size); })) {
      return false;
    }
    if (root.contains("interior_only") &&
        !Array(root, "interior_only", [&](const json& v) {
          out->interior_only.emplace_back();
          return Int32(v, &out->interior_only.back());
        })) {
      return false;
    }
    if (root.contains("domain_target_sizes") &&
        !Array(root, "domain_target_sizes", [&](const json& v) {
          out->domain_target_sizes.emplace_back();
          return Number(v, &out->domain_target_sizes.back());
        })) {
      return false;
    }
    if (root.contains("prefer_quads") &&
        !Field(root, "prefer_quads", [&](const json& v) {
          if (!v.is_boolean()) return Fail("expected true or false");
          out->prefer_quads = v.get<bool>();
          return true;
        })) {
      return false;
    }
    if (root.contains("plane_normal") &&
        !Field(root, "plane_normal", [&](const json& v) { return Point(v, &out->plane_normal); })) {
      return false;
    }
    // `options` carries any bits, even ones no name here stands for (a newer
    // worker's); the named flag must then agree with its bit.
    if (root.contains("options") &&
        !Field(root, "options", [&](const json& v) { return Uint32(v, &out->options); })) {
      return false;
    }
    const struct {
      const char* name;
      uint32_t bit;
      const char* bit_name;
    } named_bits[] = {{"keep_boundary", kKeepBoundary, "bit 0"}, {"all_quads", kAllQuads, "bit 1"}};
    for (const auto& named : named_bits) {
      if (root.contains(named.name) &&
          !Field(root, named.name, [&](const json& v) {
            if (!v.is_boolean()) return Fail("expected true or false");
            const bool set = v.get<bool>();
            if (root.contains("options") && set != ((out->options & named.bit) != 0)) {
              return Fail(std::string("is ") + (set ? "true" : "false") + " but " +
                          named.bit_name + " of options says otherwise");
            }
            if (set) out->options |= named.bit;
            return true;
          })) {
        return false;
      }
    }
    return true;
  }

  // Other fields (a batch line's `line`, `ok`, `outcome`) are passed over:
  // an answer has no optional field a misspelling could hide.
  bool Read(const json& root, PlanarComplexMesh* out) {
    if (!root.is_object()) return Fail("expected an object with the answer's fields");
    for (const char* required :
         {"vertices", "quads", "triangles", "quad_domains", "triangle_domains"}) {
      if (!root.contains(required)) return Missing(required);
    }
    if (!Array(root, "vertices", [&](const json& v) {
          out->vertices.emplace_back();
          return Point(v, &out->vertices.back());
        })) {
      return false;
    }
    if (!Elements(root, "quads", out->vertices.size(), &out->quads) ||
        !Elements(root, "triangles", out->vertices.size(), &out->triangles) ||
        !Domains(root, "quad_domains", out->quads.size(), "quads", &out->quad_domains) ||
        !Domains(root, "triangle_domains", out->triangles.size(), "triangles",
                 &out->triangle_domains)) {
      return false;
    }
    if (root.contains("point_vertex") &&
        !Array(root, "point_vertex", [&](const json& v) {
          out->point_vertex.emplace_back();
          return Vertex(v, out->vertices.size(), &out->point_vertex.back());
        })) {
      return false;
    }
    if (root.contains("segment_chains") &&
        !Array(root, "segment_chains", [&](const json& chain) {
          if (!chain.is_array()) return Fail("expected an array of vertex indices");
          out->segment_chains.emplace_back();
          std::vector<int32_t>& indices = out->segment_chains.back();
          for (size_t i = 0; i < chain.size(); ++i) {
            indices.emplace_back();
            const bool ok =
                Indexed(i, [&] { return Vertex(chain[i], out->vertices.size(), &indices.back()); });
            if (!ok) return false;
          }
          return true;
        })) {
      return false;
    }
    return true;
  }

 private:
  bool Vertex(const json& value, size_t vertices, int32_t* out) {
    if (!Int32(value, out)) return false;
    if (*out < 0 || static_cast<size_t>(*out) >= vertices) {
      return Fail("vertex " + std::to_string(*out) + " is not one of the " +
                  std::to_string(vertices) + " vertices");
    }
    return true;
  }

  template <size_t N>
  bool Elements(const json& root, const char* key, size_t vertices,
                std::vector<std::array<int32_t, N>>* out) {
    return Array(root, key, [&](const json& element) {
      if (!element.is_array() || element.size() != N) {
        return Fail("expected " + std::to_string(N) + " vertex indices");
      }
      std::array<int32_t, N> corners{};
      for (size_t i = 0; i < N; ++i) {
        if (!Indexed(i, [&] { return Vertex(element[i], vertices, &corners[i]); })) {
          return false;
        }
      }
      out->push_back(corners);
      return true;
    });
  }

  bool Domains(const json& root, const char* key, size_t elements, const char* what,
               std::vector<int32_t>* out) {
    if (!Array(root, key, [&](const json& v) {
          out->emplace_back();
          return Int32(v, &out->back());
        })) {
      return false;
    }
    if (out->size() == elements) return true;
    Enter(key);
    return Fail("has " + std::to_string(out->size()) + " entries for " +
                std::to_string(elements) + " " + what);
  }

  void Enter(const std::string& key) {
    PathPart part;
    part.key = key;
    path_.push_back(part);
  }

  template <typename Body>
  bool Field(const json& object, const char* key, Body body) {
    Enter(key);
    if (!body(object.at(key))) return false;
    path_.pop_back();
    return true;
  }

  template <typename Body>
  bool Indexed(size_t index, Body body) {
    PathPart part;
    part.is_index = true;
    part.index = index;
    path_.push_back(part);
    if (!body()) return false;
    path_.pop_back();
    return true;
  }

  template <typename Element>
  bool Array(const json& object, const char* key, Element element) {
    return Field(object, key, [&](const json& array) {
      if (!array.is_array()) return Fail("expected an array");
      for (size_t i = 0; i < array.size(); ++i) {
        if (!Indexed(i, [&] { return element(array[i]); })) return false;
      }
      return true;
    });
  }

  bool Number(const json& value, double* out) {
    if (!value.is_number()) return Fail("expected a number, found " + Describe(value));
    *out = value.get<double>();
    return true;
  }

  bool Int32(const json& value, int32_t* out) {
    if (!value.is_number_integer()) {
      return Fail("expected a whole number, found " + Describe(value));
    }
    const bool fits = value.is_number_unsigned()
                          ? value.get<uint64_t>() <= uint64_t{INT32_MAX}
                          : value.get<int64_t>() >= INT32_MIN && value.get<int64_t>() <= INT32_MAX;
    if (!fits) return Fail("whole number " + value.dump() + " is out of the 32-bit range");
    *out = static_cast<int32_t>(value.get<int64_t>());
    return true;
  }

  bool Uint32(const json& value, uint32_t* out) {
    if (!value.is_number_integer()) {
      return Fail("expected a whole number, found " + Describe(value));
    }
    if (!value.is_number_unsigned() || value.get<uint64_t>() > uint64_t{UINT32_MAX}) {
      return Fail("whole number " + value.dump() + " is out of the unsigned 32-bit range");
    }
    *out = static_cast<uint32_t>(value.get<uint64_t>());
    return true;
  }

  bool Point(const json& value, Point3* out) {
    if (!value.is_array() || value.size() != 3) return Fail("expected [x, y, z]");
    double* coordinates[] = {&out->x, &out->y, &out->z};
    for (size_t i = 0; i < 3; ++i) {
      if (!Indexed(i, [&] { return Number(value[i], coordinates[i]); })) return false;
    }
    return true;
  }

  static std::string Describe(const json& value) {
    switch (value.type()) {
      case json::value_t::null:
        return "null";
      case json::value_t::boolean:
        return value.dump();
      case json::value_t::string:
        return "a string";
      case json::value_t::array:
        return "an array";
      case json::value_t::object:
        return "an object";
      default:
        return value.dump();
    }
  }

  bool Missing(const char* key) {
    // Points at the object that lacks the field.
    problem_->message = std::string("field '") + key + "': missing";
    problem_->position = Locate(false);
    return false;
  }

  bool Fail(const std::string& what, bool at_key = false) {
    problem_->message = "field '" + PathToString(path_) + "': " + what;
    problem_->position = Locate(at_key);
    return false;
  }

  // The position of the value at the current path; failing that (a document
  // too deep to walk), of the nearest ancestor that can be found.
  TextPosition Locate(bool at_key) {
    for (Path path = path_;; path.pop_back()) {
      const size_t offset = ValueLocator(text_, path, at_key && path.size() == path_.size()).Find();
      if (offset != std::string::npos) return PositionOfOffset(text_, offset);
      if (path.empty()) return TextPosition();
    }
  }

  const std::string& text_;
  JsonProblem* problem_;
  Path path_;
};

}  // namespace

TextPosition PositionOfOffset(const std::string& text, size_t offset) {
  TextPosition position;
  const size_t end = std::min(offset, text.size());
  for (size_t i = 0; i < end; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      ++position.line;
      position.column = 1;
    } else if ((c & 0xC0) != 0x80) {  // not a UTF-8 continuation byte
      ++position.column;
    }
  }
  return position;
}

std::string JsonProblem::ToString() const {
  return std::to_string(position.line) + ":" + std::to_string(position.column) + ": " + message;
}

namespace {

bool ParseDocument(const std::string& text, json* root, JsonProblem* problem) {
  try {
    *root = json::parse(text);
  } catch (const json::parse_error& e) {
    // e.byte counts the characters read, the offending one included.
    problem->position = PositionOfOffset(text, e.byte > 0 ? e.byte - 1 : 0);
    std::string reason = e.what();
    const size_t after_position = reason.find(": ", reason.find("column"));
    if (after_position != std::string::npos) reason = reason.substr(after_position + 2);
    problem->message = "invalid JSON: " + reason;
    return false;
  } catch (const json::out_of_range& e) {
    // A number too large for a double ("1e400"): the parser names the
    // token but not where it stands, so it is looked up in the text.
    const std::string reason = e.what();
    const size_t open = reason.find('\'');
    const size_t close = open == std::string::npos ? open : reason.find('\'', open + 1);
    const std::string token =
        close == std::string::npos ? std::string() : reason.substr(open + 1, close - open - 1);
    const size_t at = token.empty() ? std::string::npos : text.find(token);
    problem->position = PositionOfOffset(text, at == std::string::npos ? 0 : at);
    problem->message = token.empty() ? "a number is beyond the range of a double"
                                     : "number " + token + " is beyond the range of a double";
    return false;
  }
  return true;
}

}  // namespace

bool ParseMeshRequestJson(const std::string& text, MeshRequest* request,
                          JsonProblem* problem) {
  json root;
  if (!ParseDocument(text, &root, problem)) return false;
  MeshRequest staged;
  RecordReader reader(text, problem);
  if (!reader.Read(root, &staged)) return false;
  *request = std::move(staged);
  return true;
}

bool ParsePlanarComplexMeshJson(const std::string& text, PlanarComplexMesh* mesh,
                                JsonProblem* problem) {
  json root;
  if (!ParseDocument(text, &root, problem)) return false;
  PlanarComplexMesh staged;
  RecordReader reader(text, problem);
  if (!reader.Read(root, &staged)) return false;
  *mesh = std::move(staged);
  return true;
}

ordered_json MeshRequestToJson(const MeshRequest& request) {
  ordered_json out = ordered_json::object();
  ordered_json points = ordered_json::array();
  for (const Point3& p : request.points) points.push_back({p.x, p.y, p.z});
  out["points"] = std::move(points);
  ordered_json segments = ordered_json::array();
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
  out["keep_boundary"] = (request.options & kKeepBoundary) != 0;
  // Only when set, so that files written before the option existed and
  // those written since read the same.
  if ((request.options & kAllQuads) != 0) out["all_quads"] = true;
  // The raw bits only when a bit has no name of its own here.
  if ((request.options & ~(kKeepBoundary | kAllQuads)) != 0) out["options"] = request.options;
  return out;
}

ordered_json PlanarComplexMeshToJson(const PlanarComplexMesh& mesh) {
  ordered_json out = ordered_json::object();
  ordered_json vertices = ordered_json::array();
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

std::string DumpReadable(const ordered_json& value) {
  if (!value.is_object() || value.empty()) return value.dump() + "\n";
  std::string text = "{\n";
  size_t member = 0;
  for (const auto& item : value.items()) {
    text += "  " + ordered_json(item.key()).dump() + ": ";
    const ordered_json& field = item.value();
    if (field.is_array() && !field.empty() && field[0].is_structured()) {
      text += "[\n";
      for (size_t i = 0; i < field.size(); ++i) {
        text += "    " + field[i].dump() + (i + 1 < field.size() ? ",\n" : "\n");
      }
      text += "  ]";
    } else {
      text += field.dump();
    }
    text += ++member < value.size() ? ",\n" : "\n";
  }
  return text + "}\n";
}

}  // namespace mesh

#include "formats/cityjson_reader.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace mesh {

namespace {

using json = nlohmann::json;

// Far deeper than any CityJSON structure (a MultiSolid's vertex index sits
// at depth 9); a bound on it keeps a hostile file from costing memory and
// time out of proportion to its size.
constexpr int kMaxDepth = 64;

// A fault at a JSON path; the reader's entry points turn it into one line.
struct ReadError {
  std::string path;
  std::string what;
};

[[noreturn]] void Fail(std::string path, std::string what) {
  throw ReadError{std::move(path), std::move(what)};
}

std::string Quoted(const std::string& text) {
  return json(text).dump(-1, ' ', false, json::error_handler_t::replace);
}

std::string KindOf(const json& value) {
  switch (value.type()) {
    case json::value_t::null:
      return "null";
    case json::value_t::boolean:
      return "a boolean";
    case json::value_t::string:
      return "a string";
    case json::value_t::array:
      return "an array";
    case json::value_t::object:
      return "an object";
    case json::value_t::binary:
      return "binary data";
    default:
      return "a number";
  }
}

std::string Indexed(const std::string& path, const std::vector<size_t>& at) {
  std::string text = path;
  for (size_t i : at) text += "[" + std::to_string(i) + "]";
  return text;
}

// A level of detail as text: CityJSON 1.0 writes numbers (2, 2.2), later
// versions strings ("2.2").
std::string LodText(const json& lod) {
  if (lod.is_string()) return lod.get<std::string>();
  if (lod.is_number_integer() || lod.is_number_unsigned()) return lod.dump();
  if (lod.is_number_float()) {
    char text[32];
    std::snprintf(text, sizeof text, "%.15g", lod.get<double>());
    return text;
  }
  return "";
}

// The level as a number for ordering, or nothing when it is not one.
std::optional<double> LodValue(const std::string& text) {
  if (text.empty()) return std::nullopt;
  char* end = nullptr;
  const double value = std::strtod(text.c_str(), &end);
  if (*end != '\0' || !std::isfinite(value)) return std::nullopt;
  return value;
}

bool SameLod(const std::string& a, const std::string& b) {
  const std::optional<double> x = LodValue(a), y = LodValue(b);
  if (x && y) return *x == *y;
  return a == b;
}

bool LodBelow(const std::string& a, const std::string& b) {
  const std::optional<double> x = LodValue(a), y = LodValue(b);
  if (x && y) return *x < *y;
  if (x || y) return !x;  // a level that is no number ranks lowest
  return a < b;
}

// How many array levels lie between a geometry's boundaries and its
// surfaces, by type; -1 for types without faces.
int SurfaceDepth(const std::string& type) {
  if (type == "MultiSurface" || type == "CompositeSurface") return 0;
  if (type == "Solid") return 1;
  if (type == "MultiSolid" || type == "CompositeSolid") return 2;
  return -1;
}

// Where a face came from, kept until the vertex count is known so that an
// index out of range can be named by its path.
struct FaceOrigin {
  int32_t geometry;       // index into CityJsonReader::geometry_paths_
  int8_t depth;           // entries used in surface_at
  int32_t surface_at[3];  // solid, shell, surface indices in boundaries
};

// Receives nlohmann's parse events. Top-level members are routed by name:
// CityObjects one object at a time as a small tree, vertices straight into
// the model, small members as trees, everything else (appearance,
// metadata, extensions) skipped without being stored.
class CityJsonReader {
 public:
  CityJsonReader(const ModelReadOptions& options, ModelReadResult* result)
      : options_(options), result_(result) {}

  // nlohmann's SAX interface.
  bool null() { return Scalar(json(nullptr)); }
  bool boolean(bool value) { return Scalar(json(value)); }
  bool number_integer(json::number_integer_t value) { return Scalar(json(value)); }
  bool number_unsigned(json::number_unsigned_t value) { return Scalar(json(value)); }
  bool number_float(json::number_float_t value, const std::string&) {
    return Scalar(json(value));
  }
  bool string(std::string& value) { return Scalar(json(std::move(value))); }
  bool binary(json::binary_t&) { return Scalar(json()); }
  bool start_object(size_t) { return Open(true); }
  bool start_array(size_t) { return Open(false); }
  bool end_object() { return Close(); }
  bool end_array() { return Close(); }
  bool key(std::string& name);
  bool parse_error(size_t, const std::string&, const nlohmann::detail::exception& error);

  // After the last event: the members read together.
  void Finish();

  // The parser's own message when the text is no JSON, else empty.
  const std::string& syntax_error() const { return syntax_error_; }

 private:
  enum class Route { kTop, kSkip, kCapture, kCityObjects, kVertices };

  bool Scalar(json value);
  bool Open(bool object);
  bool Close();
  void BeginTopMember(bool object, bool container, const json* scalar);
  void CaptureValue(json value, bool container);
  void CaptureDone();
  void VertexScalar(const json& value);

  void ReadCityObject(const std::string& id, json& object);
  void ReadGeometry(const std::string& path, int32_t object, json& geometry);
  void ReadSurfaces(json& node, const json* values, int levels, std::vector<size_t>& at,
                    const std::string& path, const json& surfaces, int32_t object,
                    int32_t geometry);
  void ReadFace(const json& surface, const json* value, const std::vector<size_t>& at,
                const std::string& path, const json& surfaces, int32_t object,
                int32_t geometry);
  int32_t ObjectTag(const std::string& id);
  int32_t SemanticTag(const std::string& type);
  Point3 ReadTriple(const json& member, const std::string& path) const;
  void CheckIndices();

  const ModelReadOptions& options_;
  ModelReadResult* result_;
  std::string syntax_error_;

  int depth_ = 0;
  bool document_done_ = false;
  std::string top_key_;
  Route route_ = Route::kTop;
  int skip_depth_ = 0;

  // The tree under construction: the root and the open containers.
  json capture_;
  std::vector<json*> capture_stack_;
  std::string capture_key_;
  std::map<std::string, json> members_;

  std::string object_id_;
  size_t vertex_coordinates_ = 0;
  bool has_vertices_ = false;
  bool has_city_objects_ = false;

  std::map<std::string, int32_t> object_tags_;
  std::map<std::string, int32_t> semantic_tags_;
  std::vector<std::string> geometry_paths_;
  std::vector<FaceOrigin> origins_;
  // The first index too large for the model's int32 rings, kept to name it
  // as the file spells it: its face, ring and place.
  struct Clamped {
    size_t face, ring, place;
    std::string value;
  };
  std::optional<Clamped> first_clamped_;

  std::set<std::string> lods_seen_;
  size_t objects_without_lod_ = 0;
  std::string first_object_without_lod_;
  std::map<std::string, size_t> skipped_types_;
};

bool CityJsonReader::key(std::string& name) {
  switch (route_) {
    case Route::kTop:
      top_key_ = name;
      break;
    case Route::kCityObjects:
      object_id_ = name;
      break;
    case Route::kCapture:
      capture_key_ = std::move(name);
      break;
    default:
      break;
  }
  return true;
}

bool CityJsonReader::parse_error(size_t position, const std::string&,
                                 const nlohmann::detail::exception& error) {
  // "[json.exception.parse_error.101] parse error at line 3, column 5: ...",
  // or for numbers out of range "[json.exception.out_of_range.406] number
  // overflow parsing '1e999'", which tells no place of its own.
  std::string message = error.what();
  const std::string::size_type at = message.find(" at line ");
  if (at != std::string::npos) {
    message = message.substr(at + 4);
  } else {
    const std::string::size_type end = message.find("] ");
    if (end != std::string::npos) message = message.substr(end + 2);
    message = "byte " + std::to_string(position) + ": " + message;
  }
  for (char& c : message) {
    if (c == '\n' || c == '\r') c = ' ';
  }
  if (document_done_) {
    message += " (a second JSON value follows the document: CityJSON Lines, one "
               "CityJSONFeature a line, are not supported)";
  }
  syntax_error_ = message;
  return false;
}

bool CityJsonReader::Open(bool object) {
  if (++depth_ > kMaxDepth) {
    Fail("", "JSON nested deeper than " + std::to_string(kMaxDepth) + " levels");
  }
  switch (route_) {
    case Route::kTop:
      if (depth_ == 1) {
        if (!object) Fail("", "expected a CityJSON object, found an array");
        return true;
      }
      BeginTopMember(object, true, nullptr);
      return true;
    case Route::kSkip:
      ++skip_depth_;
      return true;
    case Route::kCapture:
      CaptureValue(object ? json::object() : json::array(), true);
      return true;
    case Route::kCityObjects:
      // A CityObject: held as a tree until it closes.
      if (!object) Fail("CityObjects." + Quoted(object_id_), "expected an object, found an array");
      route_ = Route::kCapture;
      capture_key_.clear();
      capture_ = json::object();
      capture_stack_ = {&capture_};
      return true;
    case Route::kVertices: {
      const size_t vertex = result_->model.vertices.size();
      if (depth_ == 3 && !object) {
        result_->model.vertices.push_back(Point3());
        vertex_coordinates_ = 0;
        return true;
      }
      const std::string path =
          depth_ == 3 ? "vertices[" + std::to_string(vertex) + "]"
                      : "vertices[" + std::to_string(vertex - 1) + "][" +
                            std::to_string(vertex_coordinates_) + "]";
      Fail(path, depth_ == 3 ? "expected an array of 3 numbers, found an object"
                             : std::string("expected a number, found ") +
                                   (object ? "an object" : "an array"));
    }
  }
  return true;
}

bool CityJsonReader::Close() {
  --depth_;
  switch (route_) {
    case Route::kTop:
      if (depth_ == 0) document_done_ = true;
      return true;
    case Route::kSkip:
      if (--skip_depth_ == 0) route_ = Route::kTop;
      return true;
    case Route::kCapture:
      capture_stack_.pop_back();
      if (capture_stack_.empty()) CaptureDone();
      return true;
    case Route::kCityObjects:
      // The CityObjects member itself closed.
      route_ = Route::kTop;
      return true;
    case Route::kVertices:
      if (depth_ == 1) {
        route_ = Route::kTop;
      } else if (vertex_coordinates_ != 3) {
        Fail("vertices[" + std::to_string(result_->model.vertices.size() - 1) + "]",
             std::to_string(vertex_coordinates_) + " coordinates, expected 3");
      }
      return true;
  }
  return true;
}

bool CityJsonReader::Scalar(json value) {
  switch (route_) {
    case Route::kTop:
      if (depth_ == 0) Fail("", "expected a CityJSON object, found " + KindOf(value));
      BeginTopMember(false, false, &value);
      return true;
    case Route::kSkip:
      return true;
    case Route::kCapture:
      CaptureValue(std::move(value), false);
      return true;
    case Route::kCityObjects:
      Fail("CityObjects." + Quoted(object_id_), "expected an object, found " + KindOf(value));
    case Route::kVertices:
      VertexScalar(value);
      return true;
  }
  return true;
}

void CityJsonReader::VertexScalar(const json& value) {
  const size_t vertex = result_->model.vertices.size();
  if (depth_ == 2) {
    Fail("vertices[" + std::to_string(vertex) + "]",
         "expected an array of 3 numbers, found " + KindOf(value));
  }
  const std::string path = "vertices[" + std::to_string(vertex - 1) + "][" +
                           std::to_string(vertex_coordinates_) + "]";
  if (!value.is_number()) Fail(path, "expected a number, found " + KindOf(value));
  if (vertex_coordinates_ == 3) {
    Fail("vertices[" + std::to_string(vertex - 1) + "]", "more than 3 coordinates");
  }
  const double coordinate = value.get<double>();
  if (!std::isfinite(coordinate)) Fail(path, "coordinate is not finite");
  Point3& point = result_->model.vertices.back();
  (vertex_coordinates_ == 0 ? point.x : vertex_coordinates_ == 1 ? point.y : point.z) = coordinate;
  ++vertex_coordinates_;
}

void CityJsonReader::BeginTopMember(bool object, bool container, const json* scalar) {
  const std::string& name = top_key_;
  if ((name == "CityObjects" && has_city_objects_) || (name == "vertices" && has_vertices_)) {
    Fail(name, "given twice");
  }
  if (name == "CityObjects") {
    has_city_objects_ = true;
    if (!object) {
      Fail("CityObjects", "expected an object, found " +
                              (container ? std::string("an array") : KindOf(*scalar)));
    }
    route_ = Route::kCityObjects;
  } else if (name == "vertices") {
    if (!container || object) {
      Fail("vertices", "expected an array of vertices, found " +
                           (container ? std::string("an object") : KindOf(*scalar)));
    }
    has_vertices_ = true;
    route_ = Route::kVertices;
  } else if (name == "type" || name == "version" || name == "transform" ||
             name == "geometry-templates") {
    if (!container) {
      members_[name] = *scalar;
      return;
    }
    route_ = Route::kCapture;
    capture_key_ = name;
    members_[name] = object ? json::object() : json::array();
    capture_stack_ = {&members_[name]};
    object_id_.clear();
  } else if (container) {
    route_ = Route::kSkip;
    skip_depth_ = 1;
  }
}

void CityJsonReader::CaptureValue(json value, bool container) {
  json* top = capture_stack_.back();
  json* slot;
  if (top->is_array()) {
    top->push_back(std::move(value));
    slot = &top->back();
  } else {
    slot = &(*top)[capture_key_];
    *slot = std::move(value);
  }
  if (container) capture_stack_.push_back(slot);
}

void CityJsonReader::CaptureDone() {
  if (depth_ == 2) {
    // A CityObject closed: read it and let its tree go.
    json object = std::move(capture_);
    capture_ = json();
    route_ = Route::kCityObjects;
    ReadCityObject(object_id_, object);
  } else {
    route_ = Route::kTop;
  }
}

int32_t CityJsonReader::ObjectTag(const std::string& id) {
  auto found = object_tags_.emplace(id, static_cast<int32_t>(result_->model.objects.size()));
  if (found.second) result_->model.objects.push_back(id);
  return found.first->second;
}

int32_t CityJsonReader::SemanticTag(const std::string& type) {
  auto found =
      semantic_tags_.emplace(type, static_cast<int32_t>(result_->model.semantics.size()));
  if (found.second) result_->model.semantics.push_back(type);
  return found.first->second;
}

void CityJsonReader::ReadCityObject(const std::string& id, json& object) {
  const std::string path = "CityObjects." + Quoted(id);
  const auto geometries = object.find("geometry");
  if (geometries == object.end() || geometries->is_null()) return;
  if (!geometries->is_array()) {
    Fail(path + ".geometry", "expected an array, found " + KindOf(*geometries));
  }
  // The level read for this object: the one asked for, else its highest.
  std::vector<std::string> lods;
  std::string chosen;
  bool any_faces = false;
  bool has_surfaces = false;
  for (size_t g = 0; g < geometries->size(); ++g) {
    const json& geometry = (*geometries)[g];
    const std::string at = path + ".geometry[" + std::to_string(g) + "]";
    if (!geometry.is_object()) Fail(at, "expected a geometry object, found " + KindOf(geometry));
    const auto type = geometry.find("type");
    if (type == geometry.end() || !type->is_string()) Fail(at + ".type", "missing geometry type");
    const std::string type_name = type->get<std::string>();
    if (type_name == "GeometryInstance") {
      Fail(at, "geometry templates (GeometryInstance) are not supported");
    }
    if (SurfaceDepth(type_name) < 0) {
      if (type_name != "MultiPoint" && type_name != "MultiLineString") {
        Fail(at + ".type", "unknown geometry type " + Quoted(type_name));
      }
      ++skipped_types_[type_name];
      lods.push_back("");
      continue;
    }
    const auto lod = geometry.find("lod");
    lods.push_back(lod == geometry.end() ? "" : LodText(*lod));
    lods_seen_.insert(lods.back().empty() ? "(none)" : lods.back());
    has_surfaces = true;
    if (!options_.lod.empty()) {
      if (SameLod(lods.back(), options_.lod)) any_faces = true;
    } else if (!any_faces || LodBelow(chosen, lods.back())) {
      chosen = lods.back();
      any_faces = true;
    }
  }
  if (!options_.lod.empty()) {
    chosen = options_.lod;
    if (!any_faces && has_surfaces) {
      if (objects_without_lod_++ == 0) first_object_without_lod_ = id;
    }
  }
  if (!any_faces) return;
  for (size_t g = 0; g < geometries->size(); ++g) {
    json& geometry = (*geometries)[g];
    if (SurfaceDepth(geometry["type"].get<std::string>()) < 0) continue;
    if (!SameLod(lods[g], chosen)) continue;
    ReadGeometry(path + ".geometry[" + std::to_string(g) + "]", ObjectTag(id), geometry);
  }
}

void CityJsonReader::ReadGeometry(const std::string& path, int32_t object,
                                  json& geometry) {
  const int levels = SurfaceDepth(geometry["type"].get<std::string>());
  const auto boundaries = geometry.find("boundaries");
  if (boundaries == geometry.end()) Fail(path, "no \"boundaries\"");

  static const json kNoSurfaces = json::array();
  const json* surfaces = &kNoSurfaces;
  const json* values = nullptr;
  const auto semantics = geometry.find("semantics");
  if (semantics != geometry.end() && !semantics->is_null()) {
    if (!semantics->is_object()) {
      Fail(path + ".semantics", "expected an object, found " + KindOf(*semantics));
    }
    const auto listed = semantics->find("surfaces");
    if (listed != semantics->end()) {
      if (!listed->is_array()) {
        Fail(path + ".semantics.surfaces", "expected an array, found " + KindOf(*listed));
      }
      surfaces = &*listed;
      for (size_t s = 0; s < surfaces->size(); ++s) {
        const json& surface = (*surfaces)[s];
        const std::string at = path + ".semantics.surfaces[" + std::to_string(s) + "]";
        if (!surface.is_object()) Fail(at, "expected an object, found " + KindOf(surface));
        const auto type = surface.find("type");
        if (type == surface.end() || !type->is_string()) Fail(at, "no surface \"type\"");
      }
    }
    const auto found = semantics->find("values");
    if (found != semantics->end() && !found->is_null()) values = &*found;
  }

  const int32_t geometry_index = static_cast<int32_t>(geometry_paths_.size());
  geometry_paths_.push_back(path);
  std::vector<size_t> at;
  ReadSurfaces(*boundaries, values, levels, at, path, *surfaces, object, geometry_index);
}

void CityJsonReader::ReadSurfaces(json& node, const json* values, int levels,
                                  std::vector<size_t>& at, const std::string& path,
                                  const json& surfaces, int32_t object, int32_t geometry) {
  static const char* const kWhat[] = {"an array of surfaces", "an array of shells",
                                      "an array of solids"};
  if (!node.is_array()) {
    Fail(Indexed(path + ".boundaries", at),
         std::string("expected ") + kWhat[levels] + ", found " + KindOf(node));
  }
  if (values != nullptr && !values->is_array()) {
    Fail(Indexed(path + ".semantics.values", at),
         "expected an array mirroring the boundaries, found " + KindOf(*values));
  }
  for (size_t i = 0; i < node.size(); ++i) {
    const json* value = nullptr;
    if (values != nullptr && i < values->size() && !(*values)[i].is_null()) {
      value = &(*values)[i];
    }
    at.push_back(i);
    if (levels == 0) {
      ReadFace(node[i], value, at, path, surfaces, object, geometry);
    } else {
      ReadSurfaces(node[i], value, levels - 1, at, path, surfaces, object, geometry);
    }
    // Let each surface's tree go once read, so that a CityObject costs its
    // tree or its faces, not both.
    node[i] = json();
    at.pop_back();
  }
}

void CityJsonReader::ReadFace(const json& surface, const json* value,
                              const std::vector<size_t>& at, const std::string& path,
                              const json& surfaces, int32_t object, int32_t geometry) {
  if (!surface.is_array()) {
    Fail(Indexed(path + ".boundaries", at),
         "expected a surface (an array of rings), found " + KindOf(surface));
  }
  ModelFace face;
  face.object = object;
  if (value != nullptr) {
    const std::string value_path = Indexed(path + ".semantics.values", at);
    if (!value->is_number_integer()) {
      Fail(value_path, "expected a semantic surface index or null, found " + KindOf(*value));
    }
    const int64_t index = value->get<int64_t>();
    if (index < 0 || static_cast<uint64_t>(index) >= surfaces.size()) {
      Fail(value_path, "semantic surface index " + value->dump() + " out of range (" +
                           std::to_string(surfaces.size()) + " semantic surfaces)");
    }
    face.semantic = SemanticTag(surfaces[static_cast<size_t>(index)]["type"].get<std::string>());
  }
  const size_t face_index = result_->model.faces.size();
  for (size_t r = 0; r < surface.size(); ++r) {
    const json& ring = surface[r];
    if (!ring.is_array()) {
      std::vector<size_t> ring_at = at;
      ring_at.push_back(r);
      Fail(Indexed(path + ".boundaries", ring_at),
           "expected a ring (an array of vertex indices), found " + KindOf(ring));
    }
    std::vector<int32_t> indices;
    indices.reserve(ring.size());
    for (size_t p = 0; p < ring.size(); ++p) {
      const json& index = ring[p];
      if (!index.is_number_integer()) {
        std::vector<size_t> index_at = at;
        index_at.push_back(r);
        index_at.push_back(p);
        Fail(Indexed(path + ".boundaries", index_at),
             "expected a vertex index, found " + KindOf(index));
      }
      if (index.is_number_unsigned()) {
        const uint64_t v = index.get<uint64_t>();
        if (v > static_cast<uint64_t>(std::numeric_limits<int32_t>::max())) {
          if (!first_clamped_) first_clamped_ = Clamped{face_index, r, p, index.dump()};
          indices.push_back(std::numeric_limits<int32_t>::max());
        } else {
          indices.push_back(static_cast<int32_t>(v));
        }
      } else {
        // A negative index is wrong whatever the vertex count.
        std::vector<size_t> index_at = at;
        index_at.push_back(r);
        index_at.push_back(p);
        Fail(Indexed(path + ".boundaries", index_at),
             "vertex index " + index.dump() + " is negative");
      }
    }
    if (r == 0) {
      face.outer = std::move(indices);
    } else {
      face.holes.push_back(std::move(indices));
    }
  }
  FaceOrigin origin{geometry, static_cast<int8_t>(at.size()), {0, 0, 0}};
  for (size_t i = 0; i < at.size() && i < 3; ++i) origin.surface_at[i] = static_cast<int32_t>(at[i]);
  origins_.push_back(origin);
  result_->model.faces.push_back(std::move(face));
}

Point3 CityJsonReader::ReadTriple(const json& member, const std::string& path) const {
  if (!member.is_array() || member.size() != 3) Fail(path, "expected 3 numbers");
  double c[3];
  for (size_t i = 0; i < 3; ++i) {
    if (!member[i].is_number()) Fail(path, "expected 3 numbers");
    c[i] = member[i].get<double>();
    if (!std::isfinite(c[i])) Fail(path, "expected 3 finite numbers");
  }
  return Point3{c[0], c[1], c[2]};
}

void CityJsonReader::CheckIndices() {
  const size_t count = result_->model.vertices.size();
  const std::vector<ModelFace>& faces = result_->model.faces;
  for (size_t f = 0; f < faces.size(); ++f) {
    for (size_t r = 0; r <= faces[f].holes.size(); ++r) {
      const std::vector<int32_t>& ring = r == 0 ? faces[f].outer : faces[f].holes[r - 1];
      for (size_t p = 0; p < ring.size(); ++p) {
        if (static_cast<size_t>(ring[p]) < count) continue;
        const FaceOrigin& origin = origins_[f];
        std::vector<size_t> at(origin.surface_at, origin.surface_at + origin.depth);
        at.push_back(r);
        at.push_back(p);
        std::string value = std::to_string(ring[p]);
        if (first_clamped_ && first_clamped_->face == f && first_clamped_->ring == r &&
            first_clamped_->place == p) {
          value = first_clamped_->value;
        }
        Fail(Indexed(geometry_paths_[static_cast<size_t>(origin.geometry)] + ".boundaries", at),
             "vertex index " + value + " out of range (file has " + std::to_string(count) +
                 (count == 1 ? " vertex)" : " vertices)"));
      }
    }
  }
}

void CityJsonReader::Finish() {
  const auto type = members_.find("type");
  if (type == members_.end() || !type->second.is_string()) {
    Fail("", "not a CityJSON file (no \"type\": \"CityJSON\")");
  }
  const std::string type_name = type->second.get<std::string>();
  if (type_name == "CityJSONFeature") {
    Fail("type", "a CityJSONFeature (one line of CityJSON Lines) is not supported; "
                 "read a whole CityJSON file");
  }
  if (type_name != "CityJSON") Fail("type", "not a CityJSON file (type " + Quoted(type_name) + ")");
  const auto version = members_.find("version");
  if (version != members_.end()) {
    const std::string text = version->second.is_string() ? version->second.get<std::string>() : "";
    if (text != "1.0" && text != "1.1" && text != "2.0") {
      result_->notes.push_back("version " + version->second.dump() +
                               " is not one of 1.0, 1.1, 2.0; read as 2.0");
    }
  }
  if (!has_city_objects_) Fail("", "no \"CityObjects\" member");
  if (!has_vertices_) Fail("", "no \"vertices\" member");

  const auto transform = members_.find("transform");
  if (transform != members_.end()) {
    const json& t = transform->second;
    if (!t.is_object() || !t.contains("scale") || !t.contains("translate")) {
      Fail("transform", "expected an object with \"scale\" and \"translate\"");
    }
    const Point3 scale = ReadTriple(t["scale"], "transform.scale");
    const Point3 translate = ReadTriple(t["translate"], "transform.translate");
    std::vector<Point3>& vertices = result_->model.vertices;
    for (size_t i = 0; i < vertices.size(); ++i) {
      Point3& v = vertices[i];
      v = Point3{v.x * scale.x + translate.x, v.y * scale.y + translate.y,
                 v.z * scale.z + translate.z};
      if (!std::isfinite(v.x) || !std::isfinite(v.y) || !std::isfinite(v.z)) {
        Fail("vertices[" + std::to_string(i) + "]", "coordinate not finite after the transform");
      }
    }
  }
  CheckIndices();

  if (!options_.lod.empty()) {
    if (result_->model.faces.empty() && !lods_seen_.empty()) {
      std::string levels;
      for (const std::string& lod : lods_seen_) levels += (levels.empty() ? "" : ", ") + lod;
      Fail("", "no geometry at lod " + options_.lod + " (the file has lod " + levels + ")");
    }
    if (objects_without_lod_ > 0) {
      result_->notes.push_back(std::to_string(objects_without_lod_) +
                               (objects_without_lod_ == 1 ? " object has" : " objects have") +
                               " no geometry at lod " + options_.lod + " (" +
                               Quoted(first_object_without_lod_) +
                               (objects_without_lod_ > 1 ? " and others" : "") + "); left out");
    }
  }
  for (const auto& skipped : skipped_types_) {
    result_->notes.push_back(std::to_string(skipped.second) + " " + skipped.first +
                             (skipped.second == 1 ? " geometry carries" : " geometries carry") +
                             " no faces; ignored");
  }
}

template <typename Input>
bool Parse(const std::string& name, Input&& input, const ModelReadOptions& options,
           ModelReadResult* result, std::string* error) {
  *result = ModelReadResult();
  CityJsonReader reader(options, result);
  try {
    if (!json::sax_parse(std::forward<Input>(input), &reader)) {
      *error = name + ": " + reader.syntax_error();
      *result = ModelReadResult();
      return false;
    }
    reader.Finish();
  } catch (const ReadError& fault) {
    *error = name + ": " + (fault.path.empty() ? "" : fault.path + ": ") + fault.what;
    *result = ModelReadResult();
    return false;
  }
  return true;
}

}  // namespace

bool ParseCityJson(const std::string& name, const std::string& text,
                   const ModelReadOptions& options, ModelReadResult* result,
                   std::string* error) {
  return Parse(name, text, options, result, error);
}

bool ReadCityJsonFile(const std::string& path, const ModelReadOptions& options,
                      ModelReadResult* result, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open the file";
    return false;
  }
  try {
    if (!Parse(path, in, options, result, error)) return false;
  } catch (const std::exception& failure) {
    // libstdc++ throws from the stream's buffer on a read error (reading a
    // directory, say) whatever the stream's exception mask.
    *error = path + ": cannot read the file (" + failure.what() + ")";
    *result = ModelReadResult();
    return false;
  }
  if (in.bad()) {
    *error = path + ": read failed part way";
    *result = ModelReadResult();
    return false;
  }
  return true;
}

}  // namespace mesh

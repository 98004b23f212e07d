#include "formats/obj_reader.h"

#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <streambuf>
#include <string_view>
#include <utility>
#include <vector>

// Buildings sit at projected coordinates in the hundreds of thousands of
// metres, where single precision keeps only centimetres. The implementation
// is compiled here rather than linked from Debian's shared library so that
// the sanitizer and fuzzing builds instrument it too.
#define TINYOBJLOADER_USE_DOUBLE
#define TINYOBJLOADER_IMPLEMENTATION
#include <tiny_obj_loader.h>

namespace mesh {

namespace {

struct ReadError {
  size_t line;
  std::string what;
};

[[noreturn]] void Fail(size_t line, std::string what) { throw ReadError{line, std::move(what)}; }

// The text as a stream without a copy, telling how far tinyobjloader has
// read: a callback comes once its whole line is consumed.
class TextBuffer : public std::streambuf {
 public:
  TextBuffer(const char* text, size_t size) {
    char* begin = const_cast<char*>(text);
    setg(begin, begin, begin + size);
  }
  size_t position() const { return static_cast<size_t>(gptr() - eback()); }
};

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

std::vector<std::string_view> Words(std::string_view line) {
  const size_t comment = line.find('#');
  if (comment != std::string_view::npos) line = line.substr(0, comment);
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsSpace(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsSpace(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

std::string Trimmed(const char* text) {
  std::string_view view(text);
  while (!view.empty() && IsSpace(view.front())) view.remove_prefix(1);
  while (!view.empty() && IsSpace(view.back())) view.remove_suffix(1);
  return std::string(view);
}

std::string Shown(std::string_view word) {
  std::string text;
  for (char c : word.substr(0, 40)) {
    text += (static_cast<unsigned char>(c) < 32 || c == 127) ? '?' : c;
  }
  return "'" + text + (word.size() > 40 ? "...'" : "'");
}

class ObjReader {
 public:
  ObjReader(const std::string& text, ModelReadResult* result)
      : text_(text), buffer_(text.data(), text.size()), result_(result) {}

  void Read();

 private:
  static void OnVertex(void* self, double, double, double, double) {
    static_cast<ObjReader*>(self)->Vertex();
  }
  static void OnFace(void* self, tinyobj::index_t*, int) { static_cast<ObjReader*>(self)->Face(); }
  static void OnGroup(void* self, const char** names, int count) {
    std::string name;
    for (int i = 0; i < count; ++i) name += (i == 0 ? "" : " ") + std::string(names[i]);
    ObjReader* reader = static_cast<ObjReader*>(self);
    reader->group_ = name.empty() ? -1 : reader->Intern(&reader->group_names_, name);
  }
  static void OnObject(void* self, const char* name) {
    ObjReader* reader = static_cast<ObjReader*>(self);
    const std::string trimmed = Trimmed(name);
    reader->object_ = trimmed.empty() ? -1 : reader->Intern(&reader->object_names_, trimmed);
    reader->has_objects_ = true;
  }
  static void OnMaterial(void* self, const char* name, int) {
    ObjReader* reader = static_cast<ObjReader*>(self);
    const std::string trimmed = Trimmed(name);
    reader->material_ = trimmed.empty() ? -1 : reader->Intern(&reader->material_names_, trimmed);
    reader->has_materials_ = true;
  }

  // The line tinyobjloader has just read, and its number.
  std::string_view CurrentLine();
  void Vertex();
  void Face();
  void Finish();
  static int32_t Intern(std::map<std::string, int32_t>* names, const std::string& name);

  const std::string& text_;
  TextBuffer buffer_;
  ModelReadResult* result_;

  size_t counted_to_ = 0;
  size_t newlines_ = 0;
  size_t line_ = 0;

  int32_t group_ = -1, object_ = -1, material_ = -1;
  bool has_objects_ = false, has_materials_ = false;
  std::map<std::string, int32_t> group_names_, object_names_, material_names_;
  struct FaceSource {
    size_t line;
    int32_t group, object, material;
  };
  std::vector<FaceSource> sources_;
};

int32_t ObjReader::Intern(std::map<std::string, int32_t>* names, const std::string& name) {
  return names->emplace(name, static_cast<int32_t>(names->size())).first->second;
}

std::string_view ObjReader::CurrentLine() {
  size_t end = buffer_.position();
  if (end > 0 && text_[end - 1] == '\n') --end;
  if (end > 0 && text_[end - 1] == '\r') --end;
  size_t start = end;
  while (start > 0 && text_[start - 1] != '\n' && text_[start - 1] != '\r') --start;
  for (; counted_to_ < start; ++counted_to_) {
    if (text_[counted_to_] == '\n') ++newlines_;
  }
  line_ = newlines_ + 1;
  return std::string_view(text_).substr(start, end - start);
}

void ObjReader::Vertex() {
  const std::vector<std::string_view> words = Words(CurrentLine());
  // "v x y z", with an optional weight, or with r g b colours after.
  const size_t count = words.size() - 1;
  if (count != 3 && count != 4 && count != 6 && count != 7) {
    Fail(line_, "a vertex needs 3 coordinates, found " + std::to_string(count) + " numbers");
  }
  double c[3];
  for (size_t i = 0; i < 3; ++i) {
    const std::string word(words[i + 1]);
    char* end = nullptr;
    c[i] = std::strtod(word.c_str(), &end);
    if (end == word.c_str() || *end != '\0') Fail(line_, "not a number: " + Shown(words[i + 1]));
    if (!std::isfinite(c[i])) Fail(line_, "coordinate is not finite: " + Shown(words[i + 1]));
  }
  result_->model.vertices.push_back(Point3{c[0], c[1], c[2]});
}

void ObjReader::Face() {
  const std::vector<std::string_view> words = Words(CurrentLine());
  ModelFace face;
  const int64_t count = static_cast<int64_t>(result_->model.vertices.size());
  for (size_t i = 1; i < words.size(); ++i) {
    const std::string_view word = words[i];
    const std::string index_text(word.substr(0, word.find('/')));
    char* end = nullptr;
    errno = 0;
    const long long index = std::strtoll(index_text.c_str(), &end, 10);
    if (index_text.empty() || *end != '\0') Fail(line_, "not a vertex index: " + Shown(word));
    if (index == 0) Fail(line_, "vertex index 0 (indices count from 1)");
    // Positive indices may name vertices defined later; they are checked
    // once all are read. Negative ones count back from here.
    const int64_t resolved = index > 0 ? index - 1 : count + index;
    if (errno == ERANGE || resolved < 0 || resolved > std::numeric_limits<int32_t>::max()) {
      Fail(line_, "vertex index " + index_text + " out of range (" + std::to_string(count) +
                      (count == 1 ? " vertex" : " vertices") + " so far)");
    }
    face.outer.push_back(static_cast<int32_t>(resolved));
  }
  result_->model.faces.push_back(std::move(face));
  sources_.push_back(FaceSource{line_, group_, object_, material_});
}

void ObjReader::Read() {
  tinyobj::callback_t callback;
  callback.vertex_cb = &ObjReader::OnVertex;
  callback.index_cb = &ObjReader::OnFace;
  callback.group_cb = &ObjReader::OnGroup;
  callback.object_cb = &ObjReader::OnObject;
  callback.usemtl_cb = &ObjReader::OnMaterial;
  std::istream in(&buffer_);
  std::string warnings, errors;
  // Without a material reader "mtllib" is skipped: only material names
  // matter here, and a model never opens files beside it.
  tinyobj::LoadObjWithCallback(in, callback, this, nullptr, &warnings, &errors);
  Finish();
}

void ObjReader::Finish() {
  Model& model = result_->model;
  const size_t count = model.vertices.size();
  for (size_t f = 0; f < model.faces.size(); ++f) {
    for (int32_t index : model.faces[f].outer) {
      if (static_cast<size_t>(index) >= count) {
        Fail(sources_[f].line, "vertex index " + std::to_string(index + 1) +
                                   " out of range (file has " + std::to_string(count) +
                                   (count == 1 ? " vertex)" : " vertices)"));
      }
    }
  }
  // Tag names in the order of first use by a face.
  auto names_by_index = [](const std::map<std::string, int32_t>& names) {
    std::vector<const std::string*> by_index(names.size());
    for (const auto& entry : names) by_index[static_cast<size_t>(entry.second)] = &entry.first;
    return by_index;
  };
  const auto groups = names_by_index(group_names_);
  const auto objects = names_by_index(object_names_);
  const auto materials = names_by_index(material_names_);
  std::map<std::string, int32_t> object_tags, semantic_tags;
  auto tag = [](std::map<std::string, int32_t>* tags, std::vector<std::string>* list,
                const std::vector<const std::string*>& names, int32_t source) -> int32_t {
    if (source < 0) return -1;
    const std::string& name = *names[static_cast<size_t>(source)];
    auto found = tags->emplace(name, static_cast<int32_t>(list->size()));
    if (found.second) list->push_back(name);
    return found.first->second;
  };
  const bool semantic_from_group = !has_materials_ && has_objects_;
  for (size_t f = 0; f < model.faces.size(); ++f) {
    const FaceSource& source = sources_[f];
    ModelFace& face = model.faces[f];
    face.object = has_objects_ ? tag(&object_tags, &model.objects, objects, source.object)
                               : tag(&object_tags, &model.objects, groups, source.group);
    face.semantic =
        has_materials_ ? tag(&semantic_tags, &model.semantics, materials, source.material)
        : semantic_from_group ? tag(&semantic_tags, &model.semantics, groups, source.group)
                              : -1;
  }
}

}  // namespace

bool ParseObj(const std::string& name, const std::string& text, ModelReadResult* result,
              std::string* error) {
  *result = ModelReadResult();
  try {
    ObjReader reader(text, result);
    reader.Read();
  } catch (const ReadError& fault) {
    *error = name + ":" + std::to_string(fault.line) + ": " + fault.what;
    *result = ModelReadResult();
    return false;
  }
  return true;
}

bool ReadObjFile(const std::string& path, ModelReadResult* result, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open the file";
    return false;
  }
  std::string text;
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::exception& failure) {
    // libstdc++ throws from the stream's buffer on a read error (reading a
    // directory, say) whatever the stream's exception mask.
    *error = path + ": cannot read the file (" + failure.what() + ")";
    return false;
  }
  if (in.bad()) {
    *error = path + ": read failed part way";
    return false;
  }
  return ParseObj(path, text, result, error);
}

}  // namespace mesh

#include "formats/model_writers.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <map>
#include <numeric>
#include <vector>

namespace mesh {

namespace {

// Shortest text that reads back as the same double.
std::string Exact(double value) {
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.17g", value);
  return buffer;
}

std::string Point(const Point3& p) { return Exact(p.x) + " " + Exact(p.y) + " " + Exact(p.z); }

// The mesh's elements in one list, quads first, as the writers order them.
struct Element {
  const int32_t* corners;
  int count;
  int32_t face;
};

std::vector<Element> Elements(const ModelMesh& mesh) {
  std::vector<Element> elements;
  elements.reserve(mesh.quads.size() + mesh.triangles.size());
  for (size_t q = 0; q < mesh.quads.size(); ++q) {
    elements.push_back(Element{mesh.quads[q].data(), 4,
                               q < mesh.quad_faces.size() ? mesh.quad_faces[q] : -1});
  }
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    elements.push_back(Element{mesh.triangles[t].data(), 3,
                               t < mesh.triangle_faces.size() ? mesh.triangle_faces[t] : -1});
  }
  return elements;
}

const ModelFace* FaceOf(const Model& model, int32_t face) {
  if (face < 0 || static_cast<size_t>(face) >= model.faces.size()) return nullptr;
  return &model.faces[static_cast<size_t>(face)];
}

// A tag only when it names one of the model's names.
int32_t ObjectOf(const Model& model, int32_t face) {
  const ModelFace* f = FaceOf(model, face);
  if (f == nullptr || f->object < 0 || static_cast<size_t>(f->object) >= model.objects.size()) {
    return -1;
  }
  return f->object;
}

int32_t SemanticOf(const Model& model, int32_t face) {
  const ModelFace* f = FaceOf(model, face);
  if (f == nullptr || f->semantic < 0 ||
      static_cast<size_t>(f->semantic) >= model.semantics.size()) {
    return -1;
  }
  return f->semantic;
}

std::string NameBytes(const std::vector<std::string>& names) {
  std::string text;
  for (const std::string& name : names) {
    for (char c : name) text += " " + std::to_string(static_cast<unsigned char>(c));
    text += " 0";
  }
  return text;
}

std::string OneLine(const std::string& name) {
  std::string text = name;
  for (char& c : text) {
    if (c == '\n' || c == '\r') c = '_';
  }
  return text;
}

// Gmsh reads a name up to the next double quote.
std::string GmshName(const std::string& name) {
  std::string text = OneLine(name);
  for (char& c : text) {
    if (c == '"') c = '\'';
  }
  return text;
}

}  // namespace

std::string ModelMeshToVtu(const Model& model, const ModelMesh& mesh) {
  const std::vector<Element> elements = Elements(mesh);
  std::string vtu = "<?xml version=\"1.0\"?>\n";
  vtu += "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
         "header_type=\"UInt64\">\n";
  vtu += "  <UnstructuredGrid>\n";
  vtu += "    <FieldData>\n";
  vtu += "      <DataArray type=\"UInt8\" Name=\"object_names\" format=\"ascii\">" +
         NameBytes(model.objects) + " </DataArray>\n";
  vtu += "      <DataArray type=\"UInt8\" Name=\"semantic_names\" format=\"ascii\">" +
         NameBytes(model.semantics) + " </DataArray>\n";
  vtu += "    </FieldData>\n";
  vtu += "    <Piece NumberOfPoints=\"" + std::to_string(mesh.vertices.size()) +
         "\" NumberOfCells=\"" + std::to_string(elements.size()) + "\">\n";
  vtu += "      <Points>\n";
  vtu += "        <DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">\n";
  for (const Point3& v : mesh.vertices) vtu += "          " + Point(v) + "\n";
  vtu += "        </DataArray>\n      </Points>\n      <Cells>\n";
  vtu += "        <DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
  for (const Element& e : elements) {
    vtu += "         ";
    for (int i = 0; i < e.count; ++i) vtu += " " + std::to_string(e.corners[i]);
    vtu += "\n";
  }
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
  size_t offset = 0;
  for (const Element& e : elements) {
    offset += static_cast<size_t>(e.count);
    vtu += "          " + std::to_string(offset) + "\n";
  }
  vtu += "        </DataArray>\n";
  // VTK_QUAD is 9, VTK_TRIANGLE 5.
  vtu += "        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
  for (const Element& e : elements) vtu += e.count == 4 ? "          9\n" : "          5\n";
  vtu += "        </DataArray>\n      </Cells>\n";
  vtu += "      <CellData Scalars=\"face\">\n";
  auto cell_array = [&](const char* name, auto tag_of) {
    vtu += std::string("        <DataArray type=\"Int32\" Name=\"") + name +
           "\" format=\"ascii\">\n";
    for (const Element& e : elements) vtu += "          " + std::to_string(tag_of(e.face)) + "\n";
    vtu += "        </DataArray>\n";
  };
  cell_array("face", [&](int32_t face) { return FaceOf(model, face) ? face : -1; });
  cell_array("object", [&](int32_t face) { return ObjectOf(model, face); });
  cell_array("semantic", [&](int32_t face) { return SemanticOf(model, face); });
  vtu += "      </CellData>\n";
  vtu += "    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
  return vtu;
}

std::string ModelMeshToMsh(const Model& model, const ModelMesh& mesh) {
  const std::vector<Element> elements = Elements(mesh);
  // Entities: one per face with elements, in face order; elements of no
  // face of the model share one more entity, tagged past every face.
  const int32_t stray = static_cast<int32_t>(model.faces.size());
  auto entity_of = [&](const Element& e) { return FaceOf(model, e.face) ? e.face : stray; };
  std::map<int32_t, std::array<double, 6>> boxes;
  for (const Element& e : elements) {
    const int32_t entity = entity_of(e);
    for (int i = 0; i < e.count; ++i) {
      const Point3& p = mesh.vertices[static_cast<size_t>(e.corners[i])];
      auto found = boxes.emplace(entity, std::array<double, 6>{p.x, p.y, p.z, p.x, p.y, p.z});
      std::array<double, 6>& box = found.first->second;
      box = {std::min(box[0], p.x), std::min(box[1], p.y), std::min(box[2], p.z),
             std::max(box[3], p.x), std::max(box[4], p.y), std::max(box[5], p.z)};
    }
  }

  const int32_t semantic_count = static_cast<int32_t>(model.semantics.size());
  bool needs_none = false;
  std::vector<bool> object_used(model.objects.size(), false);
  for (const auto& entry : boxes) {
    if (SemanticOf(model, entry.first) < 0) needs_none = true;
    const int32_t object = ObjectOf(model, entry.first);
    if (object >= 0) object_used[static_cast<size_t>(object)] = true;
  }
  const int32_t none_group = semantic_count + 1;
  const int32_t object_base = semantic_count + (needs_none ? 1 : 0) + 1;

  std::string names;
  size_t name_count = 0;
  for (int32_t s = 0; s < semantic_count; ++s) {
    names += "2 " + std::to_string(s + 1) + " \"" + GmshName(model.semantics[static_cast<size_t>(s)]) +
             "\"\n";
    ++name_count;
  }
  if (needs_none) {
    names += "2 " + std::to_string(none_group) + " \"(none)\"\n";
    ++name_count;
  }
  for (size_t o = 0; o < model.objects.size(); ++o) {
    if (!object_used[o]) continue;
    names += "2 " + std::to_string(object_base + static_cast<int32_t>(o)) + " \"object " +
             GmshName(model.objects[o]) + "\"\n";
    ++name_count;
  }
  std::string msh = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
  msh += "$PhysicalNames\n" + std::to_string(name_count) + "\n" + names + "$EndPhysicalNames\n";

  msh += "$Entities\n0 0 " + std::to_string(boxes.size()) + " 0\n";
  for (const auto& entry : boxes) {
    const int32_t semantic = SemanticOf(model, entry.first);
    const int32_t object = ObjectOf(model, entry.first);
    msh += std::to_string(entry.first + 1);
    for (double c : entry.second) msh += " " + Exact(c);
    msh += object >= 0 ? " 2 " : " 1 ";
    msh += std::to_string(semantic >= 0 ? semantic + 1 : none_group);
    if (object >= 0) msh += " " + std::to_string(object_base + object);
    msh += " 0\n";
  }
  msh += "$EndEntities\n";

  // All nodes in one block: a node on two faces belongs to neither more
  // than the other, and Gmsh accepts nodes classified on any entity.
  const size_t v_count = mesh.vertices.size();
  const int32_t first_entity = boxes.empty() ? 1 : boxes.begin()->first + 1;
  msh += "$Nodes\n1 " + std::to_string(v_count) + " 1 " + std::to_string(v_count) + "\n";
  msh += "2 " + std::to_string(first_entity) + " 0 " + std::to_string(v_count) + "\n";
  for (size_t i = 1; i <= v_count; ++i) msh += std::to_string(i) + "\n";
  for (const Point3& v : mesh.vertices) msh += Point(v) + "\n";
  msh += "$EndNodes\n";

  // Blocks by entity and type; element tags keep the mesh's order.
  struct Block {
    std::string lines;
    size_t count = 0;
  };
  std::map<std::pair<int32_t, int>, Block> blocks;
  for (size_t i = 0; i < elements.size(); ++i) {
    const Element& e = elements[i];
    Block& block = blocks[{entity_of(e), e.count == 4 ? 3 : 2}];
    block.lines += std::to_string(i + 1);
    for (int c = 0; c < e.count; ++c) block.lines += " " + std::to_string(e.corners[c] + 1);
    block.lines += "\n";
    ++block.count;
  }
  const size_t tags = elements.size();
  msh += "$Elements\n" + std::to_string(blocks.size()) + " " + std::to_string(tags) + " " +
         (tags > 0 ? "1" : "0") + " " + std::to_string(tags) + "\n";
  for (const auto& entry : blocks) {
    msh += "2 " + std::to_string(entry.first.first + 1) + " " + std::to_string(entry.first.second) +
           " " + std::to_string(entry.second.count) + "\n" + entry.second.lines;
  }
  msh += "$EndElements\n";
  return msh;
}

std::string ModelMeshToObj(const Model& model, const ModelMesh& mesh) {
  const std::vector<Element> elements = Elements(mesh);
  std::string obj = "# " + std::to_string(mesh.vertices.size()) + " vertices, " +
                    std::to_string(elements.size()) + " elements\n";
  for (const Point3& v : mesh.vertices) obj += "v " + Point(v) + "\n";
  std::vector<size_t> order(elements.size());
  std::iota(order.begin(), order.end(), 0);
  auto key = [&](size_t i) {
    return std::make_pair(ObjectOf(model, elements[i].face), SemanticOf(model, elements[i].face));
  };
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return key(a) < key(b); });
  bool first = true;
  std::pair<int32_t, int32_t> current;
  for (size_t i : order) {
    const std::pair<int32_t, int32_t> tags = key(i);
    if (first || tags.first != current.first) {
      obj += tags.first >= 0 ? "o " + OneLine(model.objects[static_cast<size_t>(tags.first)]) + "\n"
                             : "o \n";
    }
    if (first || tags != current) {
      obj += tags.second >= 0
                 ? "g " + OneLine(model.semantics[static_cast<size_t>(tags.second)]) + "\n"
                 : "g \n";
    }
    first = false;
    current = tags;
    obj += "f";
    for (int c = 0; c < elements[i].count; ++c) obj += " " + std::to_string(elements[i].corners[c] + 1);
    obj += "\n";
  }
  return obj;
}

}  // namespace mesh

// Test support for model_writers_meshio_test.py: reads a model file, makes
// a stand-in mesh of it (each face's outer ring as one quad when it has four
// corners, else as a fan of triangles), and writes it as DIR/model.vtu,
// .msh and .obj, with DIR/expected.json holding the vertices and every
// element's corners, face, object and semantic as the writers must keep them.
//
//   model-export-sample MODEL DIR
#include <cstdio>
#include <fstream>
#include <string>

#include <nlohmann/json.hpp>

#include "formats/model_file.h"
#include "formats/model_writers.h"

namespace {

bool Write(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
  return static_cast<bool>(out);
}

}  // namespace

int main(int argc, char** argv) {
  using namespace mesh;
  if (argc != 3) {
    std::fprintf(stderr, "usage: model-export-sample MODEL DIR\n");
    return 2;
  }
  ModelReadResult read;
  std::string error;
  if (!ReadModelFile(argv[1], ModelReadOptions(), &read, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  const Model& model = read.model;
  ModelMesh mesh;
  mesh.vertices = model.vertices;
  for (size_t f = 0; f < model.faces.size(); ++f) {
    const std::vector<int32_t>& ring = model.faces[f].outer;
    if (ring.size() == 4) {
      mesh.quads.push_back({ring[0], ring[1], ring[2], ring[3]});
      mesh.quad_faces.push_back(static_cast<int32_t>(f));
      continue;
    }
    for (size_t i = 2; i < ring.size(); ++i) {
      mesh.triangles.push_back({ring[0], ring[i - 1], ring[i]});
      mesh.triangle_faces.push_back(static_cast<int32_t>(f));
    }
  }
  nlohmann::json expected;
  expected["objects"] = model.objects;
  expected["semantics"] = model.semantics;
  nlohmann::json vertices = nlohmann::json::array(), corners = nlohmann::json::array();
  for (const Point3& v : mesh.vertices) vertices.push_back({v.x, v.y, v.z});
  for (const auto& q : mesh.quads) corners.push_back(q);
  for (const auto& t : mesh.triangles) corners.push_back(t);
  expected["vertices"] = vertices;
  expected["corners"] = corners;
  nlohmann::json faces = nlohmann::json::array(), objects = nlohmann::json::array(),
                 semantics = nlohmann::json::array();
  auto add = [&](int32_t face) {
    faces.push_back(face);
    objects.push_back(model.faces[static_cast<size_t>(face)].object);
    semantics.push_back(model.faces[static_cast<size_t>(face)].semantic);
  };
  for (int32_t face : mesh.quad_faces) add(face);
  for (int32_t face : mesh.triangle_faces) add(face);
  expected["face"] = faces;
  expected["object"] = objects;
  expected["semantic"] = semantics;
  const std::string dir = argv[2];
  if (!Write(dir + "/model.vtu", ModelMeshToVtu(model, mesh)) ||
      !Write(dir + "/model.msh", ModelMeshToMsh(model, mesh)) ||
      !Write(dir + "/model.obj", ModelMeshToObj(model, mesh)) ||
      !Write(dir + "/expected.json", expected.dump())) {
    std::fprintf(stderr, "cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}

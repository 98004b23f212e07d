// A polygon model: what a building or city file holds once read (CityJSON,
// OBJ), and what the model layer meshes into one conforming mesh. Faces are
// planar (or nearly) polygons over one shared vertex list, each with an
// outer ring, holes and tags.
#ifndef MESH_WORKER_FORMATS_POLYGON_MODEL_H_
#define MESH_WORKER_FORMATS_POLYGON_MODEL_H_

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

struct ModelFace {
  // Indices into Model::vertices; a ring is open (its last vertex is not its
  // first repeated) as read, though a reader may leave repeats for the model
  // layer's weld to count.
  std::vector<int32_t> outer;
  std::vector<std::vector<int32_t>> holes;
  // Index into Model::objects, or -1 for none.
  int32_t object = -1;
  // Index into Model::semantics (such as "WallSurface", "RoofSurface"), or
  // -1 for none.
  int32_t semantic = -1;
  // This face's target element size in metres; 0 means the mesh's own.
  double target_size = 0.0;
};

struct Model {
  std::vector<Point3> vertices;
  std::vector<ModelFace> faces;
  // The names tags refer to: object ids as the file gives them, semantic
  // surface types as the file spells them.
  std::vector<std::string> objects;
  std::vector<std::string> semantics;
};

// A model meshed into one mesh: shared vertices, elements, and per element
// the model face it came from (object and semantic follow from the face).
struct ModelMesh {
  std::vector<Point3> vertices;
  std::vector<std::array<int32_t, 4>> quads;
  std::vector<std::array<int32_t, 3>> triangles;
  std::vector<int32_t> quad_faces;
  std::vector<int32_t> triangle_faces;
};

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_POLYGON_MODEL_H_

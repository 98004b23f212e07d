// What every model reader takes and hands back, so that callers (the model
// layer, meshctl, the Python package) treat CityJSON and OBJ files alike.
#ifndef MESH_WORKER_FORMATS_MODEL_READING_H_
#define MESH_WORKER_FORMATS_MODEL_READING_H_

#include <string>
#include <vector>

#include "formats/polygon_model.h"

namespace mesh {

struct ModelReadOptions {
  // The level of detail to read from CityJSON, as the file spells it ("2",
  // "2.2"); "2" also matches a geometry whose lod is 2.0. Empty: the
  // highest each object has. OBJ files have no levels and ignore it.
  std::string lod;
};

struct ModelReadResult {
  Model model;
  // What was left out, for people: "3 MultiLineString geometries carry no
  // faces; ignored".
  std::vector<std::string> notes;
};

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MODEL_READING_H_

// Reads a model file of any supported kind, chosen by its name: ".obj" (in
// any case) is Wavefront OBJ, anything else CityJSON (".json",
// ".city.json", ".cityjson").
#ifndef MESH_WORKER_FORMATS_MODEL_FILE_H_
#define MESH_WORKER_FORMATS_MODEL_FILE_H_

#include <string>

#include "formats/model_reading.h"

namespace mesh {

bool IsObjPath(const std::string& path);

// On failure returns false with one line naming the file in `*error`.
bool ReadModelFile(const std::string& path, const ModelReadOptions& options,
                   ModelReadResult* result, std::string* error);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MODEL_FILE_H_

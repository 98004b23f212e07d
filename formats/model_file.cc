#include "formats/model_file.h"

#include <cctype>

#include "formats/cityjson_reader.h"
#include "formats/obj_reader.h"

namespace mesh {

bool IsObjPath(const std::string& path) {
  if (path.size() < 4) return false;
  std::string tail = path.substr(path.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".obj";
}

bool ReadModelFile(const std::string& path, const ModelReadOptions& options,
                   ModelReadResult* result, std::string* error) {
  if (IsObjPath(path)) return ReadObjFile(path, result, error);
  return ReadCityJsonFile(path, options, result, error);
}

}  // namespace mesh

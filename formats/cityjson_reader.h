// Reads CityJSON city models (versions 1.0, 1.1 and 2.0) into a polygon
// model.
//
// How the file maps onto the model:
// - Vertices in file order, scaled and translated by "transform" when the
//   file has one (x * scale + translate, each coordinate rounded once).
// - Each surface of a MultiSurface or CompositeSurface, of every shell of a
//   Solid (the first shell is the exterior, the others are cavities: all are
//   read), and of every solid of a MultiSolid or CompositeSolid becomes one
//   face: its first ring the outer ring, the others holes, rings as given
//   (the model layer welds repeats and skips degenerate faces).
// - The face's object is the id of the CityObject holding the geometry; a
//   BuildingPart keeps its own id, not its parent's.
// - The face's semantic is the "type" of its semantic surface
//   ("RoofSurface"); null values, and values missing at the end of a
//   shorter values array, mean none.
// - Per object, only geometries at one level of detail are read: the one
//   asked for, or by default the highest the object has (every geometry at
//   that level). MultiPoint and MultiLineString carry no faces and are
//   skipped with a note.
//
// Refused, with the file's name and the JSON path at fault in one line
// ("city.json: CityObjects."b1".geometry[0].boundaries[0][3]: vertex index
// 1234 out of range (file has 1000 vertices)"): malformed JSON, a document
// that is not a CityJSON object (a CityJSONFeature, CityJSON Lines), a
// missing "CityObjects" or "vertices", vertices that are not three finite
// numbers, boundaries of the wrong depth or with anything but vertex
// indices, out-of-range vertex or semantic indices, unknown geometry types,
// geometry templates (GeometryInstance), and a requested level of detail no
// object has.
//
// The file is read as a stream of JSON events: only one CityObject at a
// time is held as a JSON tree, so memory stays a small multiple of the
// model's own size rather than of the text's.
#ifndef MESH_WORKER_FORMATS_CITYJSON_READER_H_
#define MESH_WORKER_FORMATS_CITYJSON_READER_H_

#include <string>

#include "formats/model_reading.h"

namespace mesh {

// Reads the CityJSON text of a file called `name` (used in messages only).
// On failure returns false with "NAME: PATH: what" in `*error`.
bool ParseCityJson(const std::string& name, const std::string& text,
                   const ModelReadOptions& options, ModelReadResult* result,
                   std::string* error);

// Reads the file at `path`, streaming it rather than holding its text.
bool ReadCityJsonFile(const std::string& path, const ModelReadOptions& options,
                      ModelReadResult* result, std::string* error);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_CITYJSON_READER_H_

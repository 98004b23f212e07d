// Reads Wavefront OBJ polygon models (buildings exported as OBJ) into a
// polygon model. Lines are classified by tinyobjloader; the numbers on them
// are read again here, strictly, so that a bad number is an error on its
// line rather than a silent zero, and coordinates are rounded correctly.
//
// How the file maps onto the model:
// - Every "v" is a vertex, in file order (a fourth weight and vertex colours
//   are ignored); "vt", "vn", "l", "p", "s", "mtllib" are ignored.
// - Every "f" is one face with its vertices in order, never triangulated;
//   indices count from 1, negative ones back from the last vertex read.
//   Texture and normal indices are ignored.
// - Tags: the object is the name of the last "o" when the file has any "o"
//   (faces before the first have none), otherwise the name of the last "g"
//   (its names joined by one space). The semantic is the name of the last
//   "usemtl" when the file has any, otherwise the last "g" when the objects
//   come from "o"; else none. So "o building_7" with "g RoofSurface" gives
//   both tags, as do files that keep one group per building and a material
//   per surface type.
//
// Refused, with "NAME:LINE: what": a vertex without three finite numbers, a
// face index that is no integer, zero, or out of range (checked once all
// vertices are read, so faces may name vertices defined later).
#ifndef MESH_WORKER_FORMATS_OBJ_READER_H_
#define MESH_WORKER_FORMATS_OBJ_READER_H_

#include <string>

#include "formats/model_reading.h"

namespace mesh {

// Reads the OBJ text of a file called `name` (used in messages only).
bool ParseObj(const std::string& name, const std::string& text, ModelReadResult* result,
              std::string* error);

bool ReadObjFile(const std::string& path, ModelReadResult* result, std::string* error);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_OBJ_READER_H_

// The JSON forms of a mesh request and of its answer, for people: the
// records' own field names, and errors that name the field and where it is.
#ifndef MESH_WORKER_FORMATS_MESH_JSON_H_
#define MESH_WORKER_FORMATS_MESH_JSON_H_

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// A position in a text file: 1-based line and column. Columns count
// characters (UTF-8 sequences), not bytes, as editors show them.
struct TextPosition {
  size_t line = 1;
  size_t column = 1;
};

TextPosition PositionOfOffset(const std::string& text, size_t offset);

// What is wrong with a JSON request, and where.
struct JsonProblem {
  TextPosition position;
  // "field 'segments[1][2]': expected an integer", or "invalid JSON: ...".
  std::string message;

  // "LINE:COLUMN: message".
  std::string ToString() const;
};

// Reads a request from JSON text. `points`, `segments` and `target_size` are
// required; `interior_only`, `domain_target_sizes`, `prefer_quads` and
// `plane_normal` default as in the binary record. `keep_boundary` and
// `all_quads` (true or false) set the option bits of those names; `options`
// (a whole number) gives all of the option bits at once, and the named ones
// must then agree with it. Both default to no options. Any other field is an
// error, so that a misspelt optional field is not silently ignored. On
// failure returns false with `*problem` naming the first offending field
// and its position; `*request` is then untouched.
bool ParseMeshRequestJson(const std::string& text, MeshRequest* request,
                          JsonProblem* problem);

// Reads an answer as `meshctl mesh -o` writes it; a line of `batch` or
// `decode` output reads as well. vertices, quads, triangles, quad_domains
// and triangle_domains are required, point_vertex and segment_chains read
// when present, and other fields passed over. Every index must name a
// vertex and each domain array must be as long as its elements', so that
// what reads can be walked without checks. On failure `*mesh` is untouched.
bool ParsePlanarComplexMeshJson(const std::string& text, PlanarComplexMesh* mesh,
                                JsonProblem* problem);

// Every field, defaults included, in the record's order, then
// keep_boundary, all_quads when set, and `options` when a bit set has no
// field of its own.
nlohmann::ordered_json MeshRequestToJson(const MeshRequest& request);

// The seven arrays of the result, in the record's order.
nlohmann::ordered_json PlanarComplexMeshToJson(const PlanarComplexMesh& mesh);

// Pretty-prints with one line per element of the arrays of arrays (points,
// vertices, elements, chains), so that a mesh of thousands of vertices stays
// readable and diffable:
//   {
//     "vertices": [
//       [0.0, 0.0, 0.0],
//       ...
std::string DumpReadable(const nlohmann::ordered_json& json);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MESH_JSON_H_

// Reads Triangle's .poly files (a planar straight-line graph with holes and
// regional attributes) into a mesh request, so that existing planar inputs
// can be meshed as they are.
//
// How the file maps onto a request:
// - Every vertex becomes a point (x, y, 0), in file order; the vertex the
//   file numbers first (0 or 1) is point 0. A file with no vertices takes
//   them from the .node file beside it, as Triangle does.
// - The segments cut the plane into areas. The area outside the outermost
//   segments and every area holding a hole point are outside (domain 0);
//   Triangle removes them the same way.
// - A region point gives its whole area a domain: its regional attribute,
//   which must be a whole number, is the domain number. Attribute 0, and
//   every remaining area without a region point, form one more domain,
//   numbered one above the highest attribute (domain 1 when the file has no
//   regions). A region's maximum triangle area A, when positive, becomes its
//   domain's target size: the side of an equilateral triangle of area A,
//   sqrt(4A/sqrt(3)).
// - Each segment's left and right domains are those of the areas on either
//   side. A segment between a domain and the outside is turned, if needed,
//   so that the domain lies on its left, as the worker expects of outer
//   boundaries; segment_chains then run in that direction.
// - A vertex on no segment becomes an interior-only point when it lies in a
//   domain.
// - plane_normal is +z, so left and right mean what they mean in the file's
//   x-y plane.
//
// Refused, with the file's own numbers and line: crossing or overlapping
// segments, a vertex on another segment's inside, repeated segments, a
// segment or a lone vertex with the outside on both sides, hole or region
// points on a segment, two region points in one area with different
// attributes, attributes that are not whole numbers, and attributes above
// 1,000,000 on a region with a maximum area (target sizes are listed by
// domain number, so such a region would ask for millions of them).
#ifndef MESH_WORKER_FORMATS_POLY_READER_H_
#define MESH_WORKER_FORMATS_POLY_READER_H_

#include <functional>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

struct PolyResult {
  MeshRequest request;
  // Things that were dropped, for people: "region 3 (line 40) lies in a
  // hole; ignored".
  std::vector<std::string> notes;
};

// Reads the text of a .poly file called `name`. `read_node_file` gives the
// name and text of the .node file beside it (false if it cannot), and is
// called only for a file that lists no vertices of its own. target_size is
// left at 0 for the caller to choose. On failure returns false with
// "NAME:LINE: what" in `*error`, LINE being the line at fault.
using NodeFileReader = std::function<bool(std::string* name, std::string* text)>;
bool ParsePoly(const std::string& name, const std::string& text,
               const NodeFileReader& read_node_file, PolyResult* result, std::string* error);

// Reads `path`, and the .node file beside it when needed.
bool ReadPolyFile(const std::string& path, PolyResult* result, std::string* error);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_POLY_READER_H_

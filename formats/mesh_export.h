// Writes a finished mesh in formats other tools open: an SVG picture, VTK's
// XML unstructured grid (.vtu, for ParaView) and Gmsh's MSH 4.1 ASCII.
#ifndef MESH_WORKER_FORMATS_MESH_EXPORT_H_
#define MESH_WORKER_FORMATS_MESH_EXPORT_H_

#include <string>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// The mesh drawn in its own plane: elements filled by domain, segment chains
// bold, the request's points as dots (interior-only points hollow), and a
// legend of the domains. The plane is seen from the side of the normal the
// worker's BuildFrame uses, so domains lie left of their segments as they do
// for the worker; the picture's x axis follows the caller's x axis projected
// into the plane (y for a plane square to x). `title` becomes its title.
std::string MeshToSvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                      const std::string& title);

// The same picture with the elements filled by quality (formats/mesh_quality.h)
// instead of domain, on a ramp from red at 0 through yellow to green at 1:
// one path per tenth of quality (class "quality-K" for [K/10, (K+1)/10)),
// and a legend of the tenths with their element counts.
std::string MeshToQualitySvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                             const std::string& title);

// Quads and then triangles as cells, in the record's order, then each
// segment's chain as line cells (segment by segment, along the chain from
// point_a to point_b), so that a solver can put boundary conditions on the
// segments. Cell data: "domain", the element's domain (-1 on lines), and
// "segment", the line's segment index (-1 on elements).
std::string MeshToVtu(const PlanarComplexMesh& mesh);

// One surface entity per domain, each in the physical group numbered like
// the domain (named "domain N"), and one curve entity per segment, its line
// elements along the chain from point_a to point_b, in the physical curve
// numbered segment index + 1 and named "segment I (left domain L, right
// domain R)". Node tags are vertex indices + 1; element tags number the
// quads, then the triangles, in the record's order, then the lines, from 1.
std::string MeshToMsh(const MeshRequest& request, const PlanarComplexMesh& mesh);

// The physical curve name of segment `index`.
std::string SegmentGroupName(size_t index, const BoundarySegment& segment);

// "312 vertices, 280 quads, 4 triangles in 2 domains".
std::string MeshSummary(const PlanarComplexMesh& mesh);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MESH_EXPORT_H_

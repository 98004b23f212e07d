// Writes a finished mesh in formats other tools open: an SVG picture, VTK's
// XML unstructured grid (.vtu, for ParaView) and Gmsh's MSH 4.1 ASCII.
#ifndef MESH_WORKER_CLI_MESH_EXPORT_H_
#define MESH_WORKER_CLI_MESH_EXPORT_H_

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

// Quads and then triangles as cells, in the record's order, with the
// domain number as the cell data array "domain".
std::string MeshToVtu(const PlanarComplexMesh& mesh);

// One surface entity per domain, each in the physical group numbered like
// the domain (named "domain N"). Node tags are vertex indices + 1; element
// tags number the quads and then the triangles from 1, in the record's order.
std::string MeshToMsh(const PlanarComplexMesh& mesh);

// "312 vertices, 280 quads, 4 triangles in 2 domains".
std::string MeshSummary(const PlanarComplexMesh& mesh);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_MESH_EXPORT_H_

// Copying the mesher's surface elements into the answer: corners renumbered
// from node numbers to vertex indices, each element with its domain.
#ifndef MESH_WORKER_EXTRACT_ELEMENTS_H_
#define MESH_WORKER_EXTRACT_ELEMENTS_H_

#include "planar/surface_mesh.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Appends every 4-node element to quads/quad_domains and every 3-node one to
// triangles/triangle_domains, in the mesh's order and with its corner order;
// elements with any other node count (second-order ones) are skipped. Never
// fails: nothing is reoriented, tested or dropped for its shape.
void AppendSurfaceElements(const SurfaceMesh& mesh, PlanarComplexMesh* record);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_ELEMENTS_H_

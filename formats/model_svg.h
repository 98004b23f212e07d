// A meshed model drawn for people: an axonometric view from above and to
// the south-west, every element filled by its semantic type (walls, roofs,
// ground...) and shaded by how it faces the light, so a building reads at a
// glance and a crack or a missing face stands out.
#ifndef MESH_WORKER_FORMATS_MODEL_SVG_H_
#define MESH_WORKER_FORMATS_MODEL_SVG_H_

#include <string>

#include "formats/polygon_model.h"

namespace mesh {

// Elements are painted back to front (the painter's algorithm on each
// element's centroid depth), outlined thinly so the mesh itself shows; a
// legend names each semantic type with its element count. `title` becomes
// the picture's title.
std::string ModelMeshToSvg(const Model& model, const ModelMesh& mesh, const std::string& title);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MODEL_SVG_H_

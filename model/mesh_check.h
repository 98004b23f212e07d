// The stitched mesh's own check: a model mesh is returned only if its faces
// meet vertex for vertex along every model edge, so that a crack is an error
// and never a mesh that merely looks whole.
#ifndef MESH_WORKER_MODEL_MESH_CHECK_H_
#define MESH_WORKER_MODEL_MESH_CHECK_H_

#include <cstddef>
#include <string>
#include <vector>

#include "formats/polygon_model.h"
#include "model/edge_division.h"

namespace mesh {

struct MeshCheck {
  bool ok = true;
  // The first fault found, in words.
  std::string error;
  // Element edges used once that lie on a model edge of more than one face:
  // where a face that was not meshed leaves the mesh open.
  size_t open_edges = 0;
};

// `mesh` numbers its vertices as `division` does, interior vertices after.
// Checks that every element's vertices are in range and distinct; that
// every piece of a model edge is used by exactly as many elements as there
// are meshed faces on that edge; and that every other element edge, inside
// a face, is used by exactly two elements.
MeshCheck CheckStitchedMesh(const ModelMesh& mesh, const EdgeDivision& division,
                            const std::vector<bool>& face_meshed);

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_MESH_CHECK_H_

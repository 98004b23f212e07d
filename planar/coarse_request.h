// The request the mesher is given for one asking for quads only
// (kAllQuads): the answer's elements are split in two each way afterwards
// (extract/quad_subdivision.h), so the mesher meshes at twice the size.
#ifndef MESH_WORKER_PLANAR_COARSE_REQUEST_H_
#define MESH_WORKER_PLANAR_COARSE_REQUEST_H_

#include "protocol/mesh_request.h"

namespace mesh {

// Every size doubled, the quad pass on (each triangle left becomes three
// quads with corners of 60 and 120 degrees, each quad four near-copies of
// itself) and kAllQuads cleared, since what the mesher makes is an ordinary
// mesh until it is split. A request without kAllQuads comes back as it is.
MeshRequest CoarseRequestForAllQuads(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_COARSE_REQUEST_H_

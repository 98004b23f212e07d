// The all-quads answer (kAllQuads): the mesher meshes at twice the size
// asked for, then every quad is split into four and every triangle into
// three quads through its edge midpoints and its centre, and the vertices
// inside are smoothed. Splitting halves every edge, so the answer comes back
// at the size asked for with nothing but quads in it. The coarse request is
// planar/coarse_request.h's.
#ifndef MESH_WORKER_EXTRACT_QUAD_SUBDIVISION_H_
#define MESH_WORKER_EXTRACT_QUAD_SUBDIVISION_H_

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Splits every element of `record` into quads, each keeping its parent's
// domain and turning, and puts into every chain the midpoint of each of its
// steps (a step that is no element's edge, along a segment with no domain
// beside it, gets a vertex of its own at its midpoint). Only vertices that
// no chain holds and no request point stands for then move: a few rounds
// of smoothing in `frame`'s plane, each move taken only where it leaves the
// worst of the quads around the vertex no worse. A midpoint is the 3-D mean
// of its edge's ends, the same bits whichever way round the edge is taken.
void SubdivideIntoQuads(const PlanarFrame& frame, PlanarComplexMesh* record);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_QUAD_SUBDIVISION_H_

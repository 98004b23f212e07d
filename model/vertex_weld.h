// Vertex welding: files store one position under several indices (each
// surface of a building lists its own copy of a corner, rounded a little
// differently), and a mesh that is to conform needs one vertex per position.
#ifndef MESH_WORKER_MODEL_VERTEX_WELD_H_
#define MESH_WORKER_MODEL_VERTEX_WELD_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

struct VertexWeld {
  // Per input vertex, the vertex that stands for it: itself, or a vertex of
  // lower index closer than the tolerance. A vertex that stands for itself
  // (a representative) is at least the tolerance away from every other
  // representative, so welding never chains along a row of close points.
  std::vector<int32_t> representative;
  // Vertices that were given another as their representative.
  size_t welded = 0;
};

// Welds `points` closer than `tolerance` (> 0) with a grid hash of cell
// size `tolerance`, looking only at the 27 cells around each point. Points
// with a coordinate that is not finite are never welded.
VertexWeld WeldVertices(const std::vector<Point3>& points, double tolerance);

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_VERTEX_WELD_H_

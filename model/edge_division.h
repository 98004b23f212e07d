// Edge division: the model's edges made common to the faces that use them.
// A vertex lying on another face's edge splits that edge in every face, and
// every edge is then divided once, at points both faces take over, so that
// meshes made face by face meet vertex for vertex.
#ifndef MESH_WORKER_MODEL_EDGE_DIVISION_H_
#define MESH_WORKER_MODEL_EDGE_DIVISION_H_

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

#include "model/face_preparation.h"

namespace mesh {

// Inserts into the rings of the faces not skipped every vertex of those
// faces that lies within `tolerance` of one of their edges, strictly between
// its ends, in order along the edge; every face using the edge gets the
// same vertices. Returns the number of insertions, counting each vertex once
// per undirected edge.
size_t SplitTJunctions(const std::vector<Point3>& points, double tolerance,
                       std::vector<PreparedFace>* faces);

// The key of the undirected edge between two vertices.
inline uint64_t EdgeKey(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

struct DividedEdge {
  // The ends, low < high.
  int32_t low = 0;
  int32_t high = 0;
  // The faces (not skipped) using the edge, by index, in increasing order;
  // a face using it twice is listed twice.
  std::vector<int32_t> faces;
  // The vertices strictly between the ends, from `low` towards `high`.
  std::vector<int32_t> inner;
};

struct EdgeDivision {
  std::unordered_map<uint64_t, DividedEdge> edges;
  // The positions of every vertex: the model's, then the inner points.
  std::vector<Point3> points;
  // When the sizes asked for would take more edge points than any model can
  // be meshed with, how many; no edge is divided then.
  double too_many_points = 0;
};

// Divides every edge of the faces not skipped into equal pieces no longer
// than the smallest target size of its faces. Inner points are placed from
// `low`, so whichever face asks, an edge has one set of points. `halved`
// (for all-quad meshes): an even number of pieces, made by cutting each
// piece of the division at twice the size in two.
EdgeDivision DivideEdges(const std::vector<Point3>& points, const std::vector<PreparedFace>& faces,
                         bool halved = false);

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_EDGE_DIVISION_H_

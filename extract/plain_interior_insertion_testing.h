// The plain scans the interior-point inserter replaces: every node, edge and
// element looked at for each point, and a split element erased at once.
// Slow on large meshes, but short enough to check by reading, so the tests
// hold InteriorPointInserter to the same answers, bit for bit.
#ifndef MESH_WORKER_EXTRACT_PLAIN_INTERIOR_INSERTION_TESTING_H_
#define MESH_WORKER_EXTRACT_PLAIN_INTERIOR_INSERTION_TESTING_H_

#include <cstdint>
#include <vector>

#include "extract/interior_insertion.h"

namespace mesh {

// Returns the index of the vertex that now stands for `p`, or -1 when p is
// far from every vertex and edge and inside no element (then nothing
// changed). Split elements are removed and their replacement triangles
// appended at the end, in the split element's domain. Each call sees the
// mesh the previous one left; mesh_nodes[k] must be vertex k's plane
// coordinates.
int32_t InsertInteriorPoint(const PlanePoint& p, const PlanarFrame& frame,
                            double smallest_target_size,
                            std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_PLAIN_INTERIOR_INSERTION_TESTING_H_

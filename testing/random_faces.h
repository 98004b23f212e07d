// Random faces with interior-only points, for the test and the benchmark of
// how well the elements around such points come out: a star-shaped polygon
// with blunt corners, often with a hole, and 1 to 20 points inside, each at
// least a quarter of the target size from every other point and from the
// boundary. A face is made from a seed alone, so a failing case can be made
// again from the number a test prints.
#ifndef MESH_WORKER_TESTING_RANDOM_FACES_H_
#define MESH_WORKER_TESTING_RANDOM_FACES_H_

#include <cstdint>

#include "protocol/mesh_request.h"

namespace mesh::test {

// The face of `seed`, meshed with quads or triangles as asked.
MeshRequest RandomFaceWithPoints(uint64_t seed, bool prefer_quads);

// The same request without its interior-only points: what the points are
// measured against.
MeshRequest WithoutInteriorPoints(const MeshRequest& request);

}  // namespace mesh::test

#endif  // MESH_WORKER_TESTING_RANDOM_FACES_H_

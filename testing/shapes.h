// Whole requests and answers that tests, fuzz seeds and benchmarks make by
// hand: the unit square most of all, so that it is defined once and every
// caller says only what it changes.
#ifndef MESH_WORKER_TESTING_SHAPES_H_
#define MESH_WORKER_TESTING_SHAPES_H_

#include <cstdint>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {
namespace test {

// The unit square in the z = 0 plane, counter-clockwise from the origin:
// points 0-3 at its corners, segment k from point k to point k + 1 (mod 4)
// with `domain` on its left and the outside on its right. Quads preferred.
MeshRequest UnitSquareRequest(double target_size, int32_t domain = 1);

// A 2 x 1 rectangle split at x = 1: domain 1 on the left, domain 2 on the
// right; the middle segment (the last, from point 1 up to point 4) has
// domain 1 on its left.
MeshRequest TwoDomainRectangleRequest(double target_size = 0.25);

// A unit square answered by one quad in domain 1: four vertices, each
// request point on its own vertex, four two-entry chains. Its payload is
// 253 bytes.
PlanarComplexMesh OneQuadMesh();

// Two boundaries from real models on which the mesher once churned for tens
// of seconds. A roof outline (target size 0.5) that runs out and back along
// itself: segment 1 returns along segment 0, 0.17 mm beside it.
MeshRequest FieldRoofRunningBackAlongItself();
// An outline passing two of its corners twice around a hole that shares its
// edges (target size 1.44; its domain holds about 300 elements).
MeshRequest FieldOutlinePinchedAroundAHole();

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_TESTING_SHAPES_H_

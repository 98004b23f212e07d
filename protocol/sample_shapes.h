// Building blocks for the requests and results that tests, fuzz seeds and
// benchmarks make by hand, so each shape is written once.
#ifndef MESH_WORKER_PROTOCOL_SAMPLE_SHAPES_H_
#define MESH_WORKER_PROTOCOL_SAMPLE_SHAPES_H_

#include <cstdint>
#include <utility>
#include <vector>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

using Corners = std::vector<std::pair<double, double>>;

// Appends a closed loop through `corners` (x, y in the z = 0 plane): one new
// point per corner and one segment per side, domain `left` on the left of
// the direction of travel and `right` on its right.
void AddLoop(MeshRequest* request, const Corners& corners, int32_t left, int32_t right);

// The n corners of a regular polygon, counter-clockwise from angle 0.
Corners RegularPolygon(int n, double radius, double cx = 0, double cy = 0);

// A unit square answered by one quad in domain 1: four vertices, each
// request point on its own vertex, four two-entry chains. Its payload is
// 253 bytes.
PlanarComplexMesh OneQuadMesh();

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_SAMPLE_SHAPES_H_

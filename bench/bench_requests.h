// The requests the benchmarks mesh: squares of a chosen element count and
// boundary resolution, a plate with holes, a fine circle, and the small faces
// a parent sends by the thousand. All lie in the z = 0 plane unless said
// otherwise, so plane coordinates are x and y.
#ifndef MESH_WORKER_BENCH_BENCH_REQUESTS_H_
#define MESH_WORKER_BENCH_BENCH_REQUESTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

// A side x side square, each side cut into `segments_per_side` segments,
// meshed at `target_size` (about side^2 / target_size^2 quads).
MeshRequest SquareRequest(double side, double target_size, int segments_per_side);

// The 1 m square meshed at about `elements` quads.
MeshRequest SquareWithElements(int elements);

// A 2 m x 1 m plate with 20 round holes (5 x 4, each a 24-gon), 0.02 m.
MeshRequest PlateWithHolesRequest();

// A circle of radius 1 m drawn with `segments` segments, meshed at 0.1 m.
MeshRequest CircleRequest(int segments);

// Adds `count` interior-only points, spread pseudo-randomly (seeded) over
// the box [low, high]^2.
void AddInteriorPoints(MeshRequest* request, int count, double low, double high, uint32_t seed);

// Face `i` of a stream of small faces: a slightly different quadrilateral
// each time, tilted out of the z = 0 plane, a few dozen elements.
MeshRequest SmallFaceRequest(int i);

// How many small faces the stream rows send: faces 0 to kSmallFaceCount - 1.
constexpr int kSmallFaceCount = 1000;

struct BenchCase {
  std::string name;
  MeshRequest request;
};

// The cases measured raw, through the worker and stage by stage.
std::vector<BenchCase> MeshingCases();

}  // namespace mesh

#endif  // MESH_WORKER_BENCH_BENCH_REQUESTS_H_

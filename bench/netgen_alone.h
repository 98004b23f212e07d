// Netgen alone, for the benchmark rows the worker is compared against: the
// plane coordinates the worker's own checks find for a request, then one
// GenerateMesh call on them (MeshOnceWithNetgen).
#ifndef MESH_WORKER_BENCH_NETGEN_ALONE_H_
#define MESH_WORKER_BENCH_NETGEN_ALONE_H_

#include "netgen/netgen_mesher.h"
#include "protocol/mesh_request.h"

namespace mesh {

RawNetgenResult MeshWithNetgenAlone(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_BENCH_NETGEN_ALONE_H_

// The process-wide lock under which every stage that creates, meshes or reads
// Netgen objects runs: the library keeps global state of its own.
//
// The worker meshes one request at a time on one thread, so there it is
// never contended. It exists because the stages are library functions that
// other programs call in-process (benchmarks, tests, fuzzers), some from
// several threads, and Netgen's globals would be shared between them. It
// lives here, below both planar/ and netgen/, because stages that never see
// Netgen's types (the boundary checks, the extraction) take it too.
#ifndef MESH_WORKER_COMMON_NETGEN_LOCK_H_
#define MESH_WORKER_COMMON_NETGEN_LOCK_H_

#include <mutex>

namespace mesh {

// Constant-initialised, so it exists before any code runs and is never
// destroyed while an exit handler might still want it.
extern std::mutex netgen_lock;

}  // namespace mesh

#endif  // MESH_WORKER_COMMON_NETGEN_LOCK_H_

// The process-wide lock under which every stage that creates, meshes or reads
// Netgen objects runs: the library keeps global state of its own.
#ifndef MESH_WORKER_NETGEN_NETGEN_LOCK_H_
#define MESH_WORKER_NETGEN_NETGEN_LOCK_H_

#include <mutex>

namespace mesh {

// Constant-initialised, so it exists before any code runs and is never
// destroyed while an exit handler might still want it.
extern std::mutex netgen_lock;

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_LOCK_H_

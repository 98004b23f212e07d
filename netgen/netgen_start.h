// Starting the Netgen library: once per process, and only when a request
// actually needs it, so a worker whose requests are all refused never pays
// for it.
#ifndef MESH_WORKER_NETGEN_NETGEN_START_H_
#define MESH_WORKER_NETGEN_NETGEN_START_H_

namespace mesh {

// Starts the library on the first call and registers its shutdown to run at
// normal process exit. Later calls return at once. If the start throws, the
// exception propagates and the next call tries again. Call with netgen_lock
// held.
void EnsureNetgenStarted();

// How many times this process has started the library: 0 or 1. For tests.
int NetgenStartCount();

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_START_H_

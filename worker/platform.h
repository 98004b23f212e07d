// The worker's hold on its process: standard streams, crash exit, and the raw
// reads and writes of the channel. POSIX implementation in platform_posix.cc.
#ifndef MESH_WORKER_WORKER_PLATFORM_H_
#define MESH_WORKER_WORKER_PLATFORM_H_

#include <cstddef>

#include "protocol/worker_contract.h"

namespace mesh {

struct WorkerStreams {
  int request_fd = -1;
  // A private duplicate of the standard output the worker was started with.
  // Nothing but response frames is ever written to it.
  int response_fd = -1;
  bool hang_test_armed = false;
};

// Prepares the process for life as a child worker: no core dumps, every crash
// and unhandled exception ends the process with kWorkerExitCrashed, SIGPIPE is
// ignored, and descriptor 1 is pointed at standard error (or /dev/null) so
// that nothing printed by us or by the mesher can reach the response stream.
// Returns 0 when `*streams` is ready, else the exit code to end with.
int SetUpWorkerProcess(WorkerStreams* streams);

// Move exactly `length` bytes, looping over partial transfers and retrying
// interrupted calls. False on end of input or on a failed or zero-byte
// transfer.
bool ReadAll(int fd, void* data, size_t length);
bool WriteAll(int fd, const void* data, size_t length);

}  // namespace mesh

#endif  // MESH_WORKER_WORKER_PLATFORM_H_

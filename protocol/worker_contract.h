// What a worker process promises its parent beyond the frames: the exit code
// for each way it can end, and the environment variable that arms the hang
// test. The worker ends with these and parents branch on them, so both sides
// name them from here.
#ifndef MESH_WORKER_PROTOCOL_WORKER_CONTRACT_H_
#define MESH_WORKER_PROTOCOL_WORKER_CONTRACT_H_

namespace mesh {

// Standard input ended, or a read or write of the channel failed: the
// parent is gone or done, which is no fault of the worker's.
constexpr int kWorkerExitChannelClosed = 0;
// Standard input or output was missing at start-up.
constexpr int kWorkerExitMissingDescriptor = 2;
// A frame the worker cannot trust the rest of the stream after: bad magic,
// an oversized payload, an unknown (or disarmed) kind.
constexpr int kWorkerExitMalformedFrame = 3;
// A crash or an unhandled exception. The worker turns every crash signal
// into this exit, with no core file, so a parent sees one code for "the
// worker broke" rather than a signal that could also be its own kill.
constexpr int kWorkerExitCrashed = 134;

// Set to any non-empty value when the worker starts, a hang-test frame makes
// it spin without answering, so a parent can test its own timeouts; unset or
// empty, that frame ends the worker with kWorkerExitMalformedFrame.
constexpr char kHangTestVariable[] = "TALVEX_MESH_WORKER_ALLOW_HANG_TEST";

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_WORKER_CONTRACT_H_

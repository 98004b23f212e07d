// `meshctl batch`: one JSON request per line through a WorkerPool, the
// answers written in input order, progress while it runs.
#ifndef MESH_WORKER_CLI_BATCH_H_
#define MESH_WORKER_CLI_BATCH_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "client/worker_process.h"

namespace mesh {

struct BatchOptions {
  std::string input;   // a JSON-lines file, or "-" for standard input
  std::string output;  // a JSON-lines file, or "-" for standard output
  size_t jobs = 0;     // workers; 0: one per core
  std::chrono::milliseconds timeout = kNoTimeout;
  WorkerOptions worker;
  // Draw a progress bar on standard error (meshctl asks for it only when
  // standard error is a terminal).
  bool progress = false;
  // Sets kAllQuads in every request read.
  bool all_quads = false;
};

// Every non-blank input line gets one output line, in input order:
//   {"line": N, "ok": true, "outcome": "meshed", "vertices": ..., ...}
//   {"line": N, "ok": false, "outcome": "refused", "diagnostics": [...]}
//   {"line": N, "ok": false, "outcome": "invalid", "error": "N:COLUMN: ..."}
// with the outcomes meshed, refused, timed_out, worker_died, start_failed,
// bad_answer and invalid. A summary line goes to standard error at the end.
// Returns kExitOk when every request was meshed, kExitNotMeshed when some
// were not, and kExitBadInput when the input cannot be read or the output
// written.
int RunBatch(const BatchOptions& options);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_BATCH_H_

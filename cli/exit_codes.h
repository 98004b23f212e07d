// meshctl's exit codes, one set for every command, so that a script can
// branch on them the same way whichever command it ran.
#ifndef MESH_WORKER_CLI_EXIT_CODES_H_
#define MESH_WORKER_CLI_EXIT_CODES_H_

namespace mesh {

constexpr int kExitOk = 0;
// Bad input or usage, or a file that cannot be read or written.
constexpr int kExitBadInput = 1;
// The worker refused the request (`mesh`), or not every request was meshed
// (`batch`).
constexpr int kExitNotMeshed = 2;
// The worker timed out, died or could not be started.
constexpr int kExitWorkerFailed = 3;

}  // namespace mesh

#endif  // MESH_WORKER_CLI_EXIT_CODES_H_

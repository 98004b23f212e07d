// `meshctl stats`: the quality summary of an answer saved by `meshctl mesh
// -o`, the same lines `meshctl mesh` prints under its counts.
#ifndef MESH_WORKER_CLI_STATS_H_
#define MESH_WORKER_CLI_STATS_H_

#include <string>

namespace mesh {

struct StatsOptions {
  std::string input;         // a saved answer, or "-" for standard input
  std::string output = "-";  // "-" for standard output
  bool json = false;         // the measures as JSON (MeshQualityToJson and the counts)
};

// Writes the count line ("NAME: 312 vertices, 280 quads, 4 triangles in 2
// domains") and then FormatMeshQuality's lines, or with `json`
//   {"vertices": N, "quads": N, "triangles": N, "domains": [...]}
// Returns kExitOk, or kExitBadInput after one line on standard error when the
// input cannot be read or is not an answer, or the output cannot be written.
int RunStats(const StatsOptions& options);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_STATS_H_

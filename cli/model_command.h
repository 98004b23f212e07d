// `meshctl model`: a whole building or city model (CityJSON or OBJ) meshed
// into one conforming mesh through a pool of workers, written as .vtu, .msh
// or .obj, with a summary of what was meshed, welded, split and left out.
#ifndef MESH_WORKER_CLI_MODEL_COMMAND_H_
#define MESH_WORKER_CLI_MODEL_COMMAND_H_

#include <chrono>
#include <cstddef>
#include <string>

#include "client/worker_process.h"
#include "model/model_mesher.h"

namespace mesh {

struct ModelCommandOptions {
  std::string input;   // .city.json, .json or .obj
  std::string output;  // .vtu, .msh or .obj
  std::string svg;     // a picture of the mesh too, when not empty
  std::string lod;     // CityJSON level of detail; empty: each object's highest
  // 0: chosen from the model (a tenth of the median face's extent), and said.
  double target_size = 0;
  double weld_tolerance = kDefaultWeldTolerance;
  bool triangles = false;
  bool all_quads = false;
  size_t jobs = 0;  // workers; 0: one per core
  std::chrono::milliseconds timeout = kNoTimeout;
  WorkerOptions worker;
  // Draw faces done of total on standard error (meshctl asks for it only
  // when standard error is a terminal).
  bool progress = false;
};

// The exit codes of `meshctl batch`: 0 when every face was meshed, 2 when
// some face was not (refused, skipped as degenerate, failed), 1 when the
// input cannot be read, the output cannot be written, or the mesh could not
// be put together (its own check failed). The summary goes to standard
// output.
int RunModel(const ModelCommandOptions& options);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_MODEL_COMMAND_H_

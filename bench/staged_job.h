// The worker's mesh job run in this process, one stage at a time under a
// stopwatch. The stages are the worker's own functions called in the
// worker's order; the extraction reports its own parts' times, so that
// interior-point insertion is timed apart.
#ifndef MESH_WORKER_BENCH_STAGED_JOB_H_
#define MESH_WORKER_BENCH_STAGED_JOB_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "netgen/netgen_mesher.h"
#include "planar/surface_mesh.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

enum Stage {
  kStageDecode,      // payload to MeshRequest
  kStageChecks,      // input and boundary checks, plane frame
  kStageGeometry,    // spline geometry and everything around the mesher calls
  kStageMeshing,     // the GenerateMesh calls
  kStageExtraction,  // node mapping, elements, chains
  kStageInsertion,   // interior-only points Netgen left out
  kStageCheck,       // the answer's own check before it is sent
  kStageEncode,      // answer record to payload
  kStageWrite,       // answer frame into a pipe
  kStageRelease,     // dropping the mesh, the record and the buffers
  kStageCount,
};

const char* StageName(Stage stage);

struct StageSeconds {
  std::array<double, kStageCount> seconds{};
  double Total() const;
};

// Where the staged job writes its answer frames: a pipe whose other end a
// thread reads and throws away, as a parent reads the worker's answers.
class DrainedPipe {
 public:
  DrainedPipe();
  ~DrainedPipe();
  DrainedPipe(const DrainedPipe&) = delete;
  DrainedPipe& operator=(const DrainedPipe&) = delete;
  int write_fd() const { return write_fd_; }

 private:
  int write_fd_ = -1;
  int read_fd_ = -1;
  std::thread reader_;
};

struct StagedJobResult {
  bool ok = false;
  std::string error;
  StageSeconds stages;
  size_t elements = 0;
  size_t inserted_vertices = 0;
};

// Decodes `payload`, builds, extracts, encodes and writes the answer frame to
// `sink`, timing each stage.
StagedJobResult RunStagedJob(const std::string& payload, DrainedPipe& sink);

// BuildPlanarMesh with the worker's mesher, untimed: the input of the
// extraction rows. `meshing_seconds` gets the time spent in GenerateMesh.
PlanarMeshBuild BuildForBench(const MeshRequest& request, double* meshing_seconds);

}  // namespace mesh

#endif  // MESH_WORKER_BENCH_STAGED_JOB_H_

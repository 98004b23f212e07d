// Runs bench/python_pool_bench.py, which meshes requests through the Python
// package's Pool.map, so that mesh-bench can set its time beside the C++
// WorkerPool's for the same requests and the same number of workers.
#ifndef MESH_WORKER_BENCH_PYTHON_POOL_RUN_H_
#define MESH_WORKER_BENCH_PYTHON_POOL_RUN_H_

#include <cstddef>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

struct PythonPoolRun {
  double seconds = 0;            // from the first request to the last result
  double client_seconds = 0;     // the Python process's processor time meanwhile
  double elements = 0;           // per request, on average
  std::string error;             // why the run failed; empty when it did not
};

// `python` runs `script` with `package_dir` on PYTHONPATH; the requests go
// to it as a JSON-lines file in a scratch directory.
PythonPoolRun RunPythonPool(const std::string& python, const std::string& script,
                            const std::string& package_dir,
                            const std::vector<MeshRequest>& requests, size_t workers,
                            const std::string& worker_path);

}  // namespace mesh

#endif  // MESH_WORKER_BENCH_PYTHON_POOL_RUN_H_

// A stand-in for a CAD add-in: a shared library that links the client and is
// loaded with dlopen by a host that knows nothing of it but one C function.
// Built for client_plugin_test only.
#include <stdio.h>

#include <exception>
#include <string>

#include "client/worker_pool.h"
#include "protocol/mesh_request.h"

// Meshes the unit square with `target_size` through a pool of two workers
// run from `worker_path`, and writes the answer's Describe() line into
// `line`. The number of vertices, or -1 when it was not meshed.
extern "C" __attribute__((visibility("default"))) int PluginMeshUnitSquare(
    const char* worker_path, double target_size, char* line, size_t line_size) {
  std::string said;
  int vertices = -1;
  // Nothing may leave an add-in as an exception: the host is C.
  try {
    mesh::MeshRequest request;
    request.points = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
    request.segments = {{0, 1, 1, 0}, {1, 2, 1, 0}, {2, 3, 1, 0}, {3, 0, 1, 0}};
    request.target_size = target_size;
    mesh::WorkerPoolOptions options;
    options.worker.worker_path = worker_path;
    options.workers = 2;
    mesh::WorkerPool pool(options);
    const mesh::WorkerAnswer answer = pool.Submit(request).get();
    said = answer.Describe();
    if (answer.ok()) vertices = static_cast<int>(answer.mesh.vertices.size());
  } catch (const std::exception& error) {
    said = std::string("exception: ") + error.what();
  }
  snprintf(line, line_size, "%s", said.c_str());
  return vertices;
}

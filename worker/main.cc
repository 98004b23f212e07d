// mesh-worker: a child process that meshes planar regions for its parent,
// one framed request at a time, over its standard input and output.
#include "worker/channel.h"
#include "worker/mesh_job.h"
#include "worker/platform.h"
#include "worker/request_loop.h"

int main() {
  mesh::WorkerStreams streams;
  const int setup_exit = mesh::SetUpWorkerProcess(&streams);
  if (setup_exit != 0) return setup_exit;
  mesh::FdChannel channel(streams.request_fd, streams.response_fd);
  return mesh::RunRequestLoop(channel, streams.hang_test_armed, mesh::RunMeshJob);
}

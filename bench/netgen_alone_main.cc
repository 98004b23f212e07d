// mesh-bench-netgen: the Netgen-alone side of mesh-bench, a program of its
// own because it must mesh with Netgen 6.2.1905's boundary sampling as it
// ships, while everything mesh-bench itself links meshes with the worker's
// newer copy (netgen/calc_partition.cc).
//
//   mesh-bench-netgen CASE ITERATIONS
//
// CASE is an index into MeshingCases() or "small" for the stream of 1,000
// small faces. Meshes one small face first, then the case ITERATIONS times,
// and prints one line per run: seconds, elements, nodes (for "small" the
// totals over the stream); then the peak resident memory in KiB alone.
// Netgen's messages are off, as a program that embeds it would have them.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_requests.h"
#include "bench/netgen_alone.h"

namespace mesh {
namespace {

long PeakKib() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.compare(0, 6, "VmHWM:") == 0) return atol(line.c_str() + 6);
  }
  return -1;
}

int Run(const std::string& which, int64_t iterations, FILE* out) {
  std::vector<MeshRequest> requests;
  if (which == "small") {
    for (int i = 0; i < kSmallFaceCount; ++i) requests.push_back(SmallFaceRequest(i));
  } else {
    const std::vector<BenchCase> cases = MeshingCases();
    const size_t index = static_cast<size_t>(atol(which.c_str()));
    if (index >= cases.size()) return 2;
    requests.push_back(cases[index].request);
  }
  if (iterations < 1) return 2;
  SetNetgenMessageLevel(0);
  if (!MeshWithNetgenAlone(SmallFaceRequest(0)).ok) return 1;
  for (int64_t i = 0; i < iterations; ++i) {
    RawNetgenResult total;
    for (const MeshRequest& request : requests) {
      const RawNetgenResult run = MeshWithNetgenAlone(request);
      if (!run.ok) return 1;
      total.seconds += run.seconds;
      total.elements += run.elements;
      total.nodes += run.nodes;
    }
    fprintf(out, "%.9g %zu %d\n", total.seconds, total.elements, total.nodes);
  }
  fprintf(out, "%ld\n", PeakKib());
  return fflush(out) == 0 ? 0 : 1;
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: mesh-bench-netgen CASE|small ITERATIONS\n");
    return 2;
  }
  // Whatever Netgen still prints goes nowhere; the figures go to the
  // standard output the program was started with.
  const int figures_fd = fcntl(1, F_DUPFD_CLOEXEC, 3);
  const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
  if (figures_fd < 0 || null_fd < 0 || dup2(null_fd, 1) < 0) {
    perror("mesh-bench-netgen: setting up standard output");
    return 1;
  }
  close(null_fd);
  FILE* figures = fdopen(figures_fd, "w");
  return mesh::Run(argv[1], atoll(argv[2]), figures);
}

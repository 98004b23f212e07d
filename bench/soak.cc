// mesh-soak: drives one worker through many mixed requests (meshable,
// refused, malformed) and watches it as a parent running for hours would:
// every answer must be the right kind, resident memory must level off and
// the open descriptors must stay as they were.
//
//   mesh-soak WORKER [REQUESTS]       (make soak)
//
// Prints resident memory and open descriptors at every thousand requests and
// exits non-zero if an answer is wrong, the worker dies, resident memory
// grows by 16 MB or more between the first thousand requests and the last,
// or the descriptor count changes.
#include <stdio.h>
#include <stdlib.h>

#include <chrono>
#include <cstdint>
#include <dirent.h>
#include <fstream>
#include <string>
#include <vector>

#include "protocol/frame.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"
#include "protocol/worker_contract.h"
#include "reliability/request_mix.h"
#include "testing/test_process.h"

namespace mesh {
namespace {

constexpr long kGrowthLimitKib = 16 * 1024;
constexpr int kAnswerTimeoutMs = 60000;

struct Request {
  std::string name;
  std::string frame;
  bool meshable = false;
};

// Meshable, refused and malformed requests in turn, each list cycled.
std::vector<Request> RequestCycle() {
  const auto meshable = MeshableRequests();
  const auto refused = RefusedRequests();
  const auto malformed = MalformedPayloads();
  std::vector<Request> cycle;
  const size_t rounds = meshable.size() * refused.size() * malformed.size();
  for (size_t i = 0; i < rounds; ++i) {
    const auto& m = meshable[i % meshable.size()];
    const auto& r = refused[i % refused.size()];
    const auto& p = malformed[i % malformed.size()];
    cycle.push_back({"meshable " + m.first, EncodeFrame(kKindMeshRequest, EncodeMeshRequest(m.second)), true});
    cycle.push_back({"refused " + r.first, EncodeFrame(kKindMeshRequest, EncodeMeshRequest(r.second)), false});
    cycle.push_back({"malformed " + p.first, EncodeFrame(kKindMeshRequest, p.second), false});
  }
  return cycle;
}

long ResidentKib(pid_t pid) {
  std::ifstream status("/proc/" + std::to_string(pid) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmRSS:", 0) == 0) return atol(line.c_str() + 6);
  }
  return -1;
}

int OpenDescriptors(pid_t pid) {
  DIR* dir = opendir(("/proc/" + std::to_string(pid) + "/fd").c_str());
  if (dir == nullptr) return -1;
  int count = 0;
  while (dirent* entry = readdir(dir)) {
    if (entry->d_name[0] != '.') ++count;
  }
  closedir(dir);
  return count;
}

// Reads one answer; empty kind on a broken stream.
bool ReadAnswer(TestProcess& worker, uint32_t* kind, std::string* payload) {
  const std::string header = worker.ReadOutput(kFrameHeaderSize, kAnswerTimeoutMs);
  if (header.size() != kFrameHeaderSize) return false;
  const FrameHeader decoded = DecodeFrameHeader(reinterpret_cast<const unsigned char*>(header.data()));
  if (!decoded.magic_ok) return false;
  *kind = decoded.kind;
  *payload = worker.ReadOutput(static_cast<size_t>(decoded.payload_length), kAnswerTimeoutMs);
  return payload->size() == decoded.payload_length;
}

int Soak(const std::string& worker_path, size_t count) {
  const std::vector<Request> cycle = RequestCycle();
  TestProcessOptions options;
  options.unset_env = {kHangTestVariable};
  // Diagnostics and the mesher's chatter: thousands of lines nobody reads.
  options.close_stderr = true;
  TestProcess worker;
  if (!worker.Start(worker_path, {}, options)) {
    fprintf(stderr, "cannot start %s\n", worker_path.c_str());
    return 1;
  }

  const auto start = std::chrono::steady_clock::now();
  long first_resident = -1, last_resident = -1;
  int first_descriptors = -1, last_descriptors = -1;
  size_t meshed = 0;
  printf("%10s %12s %12s %10s\n", "requests", "rss_kib", "descriptors", "seconds");
  for (size_t i = 0; i < count; ++i) {
    const Request& request = cycle[i % cycle.size()];
    uint32_t kind = 0;
    std::string payload;
    if (!worker.WriteInput(request.frame) || !ReadAnswer(worker, &kind, &payload)) {
      fprintf(stderr, "request %zu (%s): no answer\n", i, request.name.c_str());
      return 1;
    }
    PlanarComplexMesh answer;
    const bool right = request.meshable
                           ? kind == kKindSuccess &&
                                 DecodePlanarComplexMesh(payload.data(), payload.size(), &answer)
                           : kind == kKindFailure && payload.empty();
    if (!right) {
      fprintf(stderr, "request %zu (%s): wrong answer, kind %u with %zu bytes\n", i,
              request.name.c_str(), kind, payload.size());
      return 1;
    }
    meshed += request.meshable;
    if ((i + 1) % 1000 == 0 || i + 1 == count) {
      last_resident = ResidentKib(worker.pid());
      last_descriptors = OpenDescriptors(worker.pid());
      if (first_resident < 0) {
        first_resident = last_resident;
        first_descriptors = last_descriptors;
      }
      const double seconds =
          std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
      printf("%10zu %12ld %12d %10.1f\n", i + 1, last_resident, last_descriptors, seconds);
      fflush(stdout);
    }
  }

  worker.CloseInput();
  ExitStatus status;
  const bool ended = worker.Wait(30000, &status);
  const long growth = last_resident - first_resident;
  printf("meshed %zu of %zu requests; resident growth %ld KiB (limit %ld); descriptors %d -> %d\n",
         meshed, count, growth, kGrowthLimitKib, first_descriptors, last_descriptors);
  fflush(stdout);
  int result = 0;
  if (!ended || !status.exited || status.code != 0) {
    fprintf(stderr, "worker did not end with 0 at end of input\n");
    result = 1;
  }
  if (growth >= kGrowthLimitKib) {
    fprintf(stderr, "resident memory grew by %ld KiB\n", growth);
    result = 1;
  }
  if (first_descriptors != last_descriptors) {
    fprintf(stderr, "descriptor count changed\n");
    result = 1;
  }
  return result;
}

}  // namespace
}  // namespace mesh

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    fprintf(stderr, "usage: %s WORKER [REQUESTS]\n", argv[0]);
    return 2;
  }
  const size_t count = argc == 3 ? strtoul(argv[2], nullptr, 10) : 10000;
  return mesh::Soak(argv[1], count);
}

#include "bench/staged_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <utility>

#include "extract/extract.h"
#include "netgen/netgen_mesher.h"
#include "planar/build_planar_mesh.h"
#include "planar/plane_mesher.h"
#include "protocol/frame.h"
#include "worker/channel.h"

namespace mesh {

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The worker's mesher, with the time inside MeshPlane and inside the
// GenerateMesh calls written down. MeshPlane minus GenerateMesh is the
// geometry and the bookkeeping around the mesher.
class TimingMesher : public PlaneMesher {
 public:
  double mesh_plane_seconds = 0;
  double generate_seconds = 0;

  PlaneMeshing MeshPlane(const MeshRequest& request,
                         const std::vector<PlanePoint>& plane_points) override {
    const Clock::time_point start = Clock::now();
    NetgenMesher mesher(&generate_seconds);
    PlaneMeshing meshing = mesher.MeshPlane(request, plane_points);
    mesh_plane_seconds = SecondsSince(start);
    return meshing;
  }
};

}  // namespace

const char* StageName(Stage stage) {
  static const char* const kNames[kStageCount] = {"decode",  "checks",     "geometry",
                                                  "meshing", "extraction", "insertion",
                                                  "check",   "encode",  "write",      "release"};
  return kNames[stage];
}

double StageSeconds::Total() const {
  double total = 0;
  for (double s : seconds) total += s;
  return total;
}

DrainedPipe::DrainedPipe() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return;
  read_fd_ = fds[0];
  write_fd_ = fds[1];
  reader_ = std::thread([fd = read_fd_] {
    std::vector<char> buffer(1 << 16);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
  });
}

DrainedPipe::~DrainedPipe() {
  if (write_fd_ >= 0) close(write_fd_);
  if (reader_.joinable()) reader_.join();
  if (read_fd_ >= 0) close(read_fd_);
}

StagedJobResult RunStagedJob(const std::string& payload, DrainedPipe& sink) {
  StagedJobResult result;
  auto& seconds = result.stages.seconds;

  Clock::time_point start = Clock::now();
  auto request = std::make_unique<MeshRequest>();
  const bool decoded = DecodeMeshRequest(payload.data(), payload.size(), request.get());
  seconds[kStageDecode] = SecondsSince(start);
  if (!decoded) {
    result.error = "request does not decode";
    return result;
  }

  TimingMesher mesher;
  start = Clock::now();
  PlanarMeshBuild build = BuildPlanarMesh(*request, mesher);
  const double build_seconds = SecondsSince(start);
  seconds[kStageChecks] = build_seconds - mesher.mesh_plane_seconds;
  seconds[kStageGeometry] = mesher.mesh_plane_seconds - mesher.generate_seconds;
  seconds[kStageMeshing] = mesher.generate_seconds;
  if (!build.ok) {
    result.error = "BuildPlanarMesh refused the request";
    return result;
  }

  ExtractionSeconds extraction;
  auto record = std::make_unique<PlanarComplexMesh>(
      ExtractToPlanarComplexMesh(*build.mesh, build.frame, build.plane_points, *request,
                                 &extraction)
          .record);
  seconds[kStageExtraction] = extraction.matching + extraction.elements + extraction.chains;
  seconds[kStageInsertion] = extraction.insertion;
  seconds[kStageCheck] = extraction.check;
  if (record->vertices.empty()) {
    result.error = "extraction failed";
    return result;
  }
  result.elements = record->quads.size() + record->triangles.size();
  result.inserted_vertices = record->vertices.size() - static_cast<size_t>(build.mesh->NodeCount());

  start = Clock::now();
  auto answer = std::make_unique<std::string>(EncodePlanarComplexMesh(*record));
  unsigned char header[kFrameHeaderSize];
  EncodeFrameHeader(kKindSuccess, answer->size(), header);
  seconds[kStageEncode] = SecondsSince(start);

  start = Clock::now();
  FdChannel channel(-1, sink.write_fd());
  const bool written =
      channel.WriteAll(header, sizeof header) && channel.WriteAll(answer->data(), answer->size());
  seconds[kStageWrite] = SecondsSince(start);
  if (!written) {
    result.error = "answer could not be written";
    return result;
  }

  start = Clock::now();
  build = PlanarMeshBuild();
  record.reset();
  answer.reset();
  request.reset();
  seconds[kStageRelease] = SecondsSince(start);
  result.ok = true;
  return result;
}

PlanarMeshBuild BuildForBench(const MeshRequest& request, double* meshing_seconds) {
  TimingMesher mesher;
  PlanarMeshBuild build = BuildPlanarMesh(request, mesher);
  *meshing_seconds = mesher.generate_seconds;
  return build;
}

}  // namespace mesh

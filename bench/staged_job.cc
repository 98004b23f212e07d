#include "bench/staged_job.h"

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "extract/elements.h"
#include "extract/extract.h"
#include "extract/interior_insertion.h"
#include "extract/node_mapping.h"
#include "extract/point_grid.h"
#include "extract/segment_chains.h"
#include "netgen/meshing_passes.h"
#include "netgen/netgen_lock.h"
#include "netgen/netgen_start.h"
#include "netgen/spline_geometry.h"
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

  std::shared_ptr<SurfaceMesh> MeshPlane(const MeshRequest& request,
                                         const std::vector<PlanePoint>& plane_points) override {
    const Clock::time_point start = Clock::now();
    auto timed_generate = [this](netgen::SplineGeometry2d& geometry,
                                 std::shared_ptr<netgen::Mesh>& mesh,
                                 netgen::MeshingParameters& parameters) {
      const Clock::time_point generate_start = Clock::now();
      struct AddOnExit {
        double* total;
        Clock::time_point start;
        ~AddOnExit() { *total += SecondsSince(start); }
      } add{&generate_seconds, generate_start};
      return GenerateMeshWithNetgen(geometry, mesh, parameters);
    };
    std::shared_ptr<SurfaceMesh> mesh = MeshPlaneWithNetgen(request, plane_points, timed_generate);
    mesh_plane_seconds = SecondsSince(start);
    return mesh;
  }
};

// Keeps the plane coordinates the checks produced and meshes nothing.
class PlanePointsOnly : public PlaneMesher {
 public:
  std::vector<PlanePoint> plane_points;
  std::shared_ptr<SurfaceMesh> MeshPlane(const MeshRequest&,
                                         const std::vector<PlanePoint>& points) override {
    plane_points = points;
    return nullptr;
  }
};

}  // namespace

const char* StageName(Stage stage) {
  static const char* const kNames[kStageCount] = {"decode",  "checks",     "geometry",
                                                  "meshing", "extraction", "insertion",
                                                  "encode",  "write",      "release"};
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

bool SameRecord(const PlanarComplexMesh& a, const PlanarComplexMesh& b) {
  auto same_points = [](const std::vector<Point3>& x, const std::vector<Point3>& y) {
    if (x.size() != y.size()) return false;
    for (size_t i = 0; i < x.size(); ++i) {
      if (x[i].x != y[i].x || x[i].y != y[i].y || x[i].z != y[i].z) return false;
    }
    return true;
  };
  return same_points(a.vertices, b.vertices) && a.quads == b.quads && a.triangles == b.triangles &&
         a.point_vertex == b.point_vertex && a.quad_domains == b.quad_domains &&
         a.triangle_domains == b.triangle_domains && a.segment_chains == b.segment_chains;
}

PlanarComplexMesh TimedExtraction(const SurfaceMesh& mesh, const PlanarFrame& frame,
                                  const std::vector<PlanePoint>& plane_points,
                                  const MeshRequest& request, ExtractionSeconds* seconds) {
  *seconds = ExtractionSeconds();
  std::lock_guard<std::mutex> hold(netgen_lock);

  Clock::time_point start = Clock::now();
  const int32_t node_count = mesh.NodeCount();
  if (node_count <= 0) return PlanarComplexMesh();
  std::vector<PlanePoint> mesh_nodes;
  mesh_nodes.reserve(static_cast<size_t>(node_count));
  for (int32_t number = 1; number <= node_count; ++number) mesh_nodes.push_back(mesh.Node(number));
  const ExtractTolerances tolerances = ComputeExtractTolerances(request);
  const std::vector<bool> interior_only = InteriorOnlyFlags(request);
  std::optional<PointGrid> grid;
  if (static_cast<double>(plane_points.size() + request.segments.size()) * node_count >=
      kNodeVisitsWorthAGrid) {
    grid.emplace(mesh_nodes, mesh_nodes.size());
  }
  PlanarComplexMesh record;
  std::vector<size_t> pending_interior;
  const bool matched =
      MatchRequestPoints(mesh_nodes, plane_points, interior_only, tolerances, &record.point_vertex,
                         &pending_interior, grid ? &*grid : nullptr);
  seconds->matching = SecondsSince(start);
  if (!matched) return PlanarComplexMesh();

  start = Clock::now();
  record.vertices.reserve(mesh_nodes.size() + pending_interior.size());
  for (const PlanePoint& node : mesh_nodes) record.vertices.push_back(frame.FromPlane(node));
  AppendSurfaceElements(mesh, &record);
  seconds->elements = SecondsSince(start);

  start = Clock::now();
  if (!pending_interior.empty()) {
    if (!grid) grid.emplace(mesh_nodes, mesh_nodes.size());
    InteriorPointInserter inserter(*grid, frame, tolerances.smallest_target_size, &mesh_nodes,
                                   &record);
    for (size_t i : pending_interior) {
      const int32_t vertex = inserter.Insert(plane_points[i]);
      if (vertex < 0) return PlanarComplexMesh();
      record.point_vertex[i] = vertex;
    }
    inserter.Finish();
  }
  seconds->insertion = SecondsSince(start);

  start = Clock::now();
  ChainInputs chain_inputs;
  chain_inputs.segments = &request.segments;
  chain_inputs.plane_points = &plane_points;
  chain_inputs.mesh_nodes = &mesh_nodes;
  chain_inputs.node_count = node_count;
  chain_inputs.point_vertex = &record.point_vertex;
  chain_inputs.snap_tolerance = tolerances.snap;
  chain_inputs.chain_band = ChainBand(request.target_size);
  chain_inputs.node_grid = grid ? &*grid : nullptr;
  const bool chained = BuildSegmentChains(chain_inputs, &record.segment_chains);
  seconds->chains = SecondsSince(start);
  if (!chained) return PlanarComplexMesh();
  return record;
}

StagedJobResult RunStagedJob(const std::string& payload, DrainedPipe& sink, bool verify) {
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
      TimedExtraction(*build.mesh, build.frame, build.plane_points, *request, &extraction));
  seconds[kStageExtraction] = extraction.matching + extraction.elements + extraction.chains;
  seconds[kStageInsertion] = extraction.insertion;
  if (record->vertices.empty()) {
    result.error = "extraction failed";
    return result;
  }
  if (verify) {
    const PlanarComplexMesh real =
        ExtractToPlanarComplexMesh(*build.mesh, build.frame, build.plane_points, *request);
    if (!SameRecord(real, *record)) {
      result.error = "timed extraction differs from ExtractToPlanarComplexMesh";
      return result;
    }
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

RawNetgenResult MeshWithNetgenAlone(const MeshRequest& request) {
  RawNetgenResult result;
  // The same plane coordinates the worker meshes, found by its own checks.
  PlanePointsOnly capture;
  BuildPlanarMesh(request, capture);
  if (capture.plane_points.size() != request.points.size()) return result;

  std::lock_guard<std::mutex> hold(netgen_lock);
  EnsureNetgenStarted();
  const Clock::time_point start = Clock::now();
  DomainNumbering numbering(request.segments);
  std::shared_ptr<QuadMeshingGeometry> geometry =
      BuildSplineGeometry(request, capture.plane_points, numbering);
  if (geometry == nullptr) return result;
  netgen::MeshingParameters parameters;
  SetMeshingParameters(request, &parameters);
  auto mesh = std::make_shared<netgen::Mesh>();
  const int rc = geometry->GenerateMesh(mesh, parameters);
  result.seconds = SecondsSince(start);
  if (rc != 0) return result;
  result.ok = true;
  result.elements = mesh->GetNSE();
  result.nodes = static_cast<int32_t>(mesh->GetNP());
  return result;
}

}  // namespace mesh

// meshworker._core: the C++ client as Python sees it. A pool of supervised
// workers, requests built from numpy arrays, answers whose arrays are views
// of the decoded record, and meshctl's JSON reader. Everything a Python
// caller adds on top (validation messages, exceptions, progress, meshio,
// Dask) lives in the package's Python modules, except the lines of
// `meshctl batch`, which are meshctl's own code so that both write the same
// bytes, and whole models, which the C++ readers and model layer handle as
// they do for `meshctl model`.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <fstream>
#include <cmath>
#include <cstdint>
#include <future>
#include <memory>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "client/worker_pool.h"
#include "client/worker_process.h"
#include "formats/batch_line.h"
#include "formats/mesh_json.h"
#include "formats/mesh_quality.h"
#include "formats/model_file.h"
#include "formats/model_writers.h"
#include "model/model_mesher.h"
#include "model/model_stitcher.h"
#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace py = pybind11;

namespace mesh {
namespace {

// Point3 and the element arrays are read as rows of a 2-D array in place.
static_assert(sizeof(Point3) == 3 * sizeof(double), "Point3 must be three packed doubles");
static_assert(sizeof(BoundarySegment) == 4 * sizeof(int32_t), "segments must be packed");
static_assert(sizeof(std::array<int32_t, 4>) == 4 * sizeof(int32_t), "quads must be packed");
static_assert(sizeof(std::array<int32_t, 3>) == 3 * sizeof(int32_t), "triangles must be packed");

template <typename T>
using CArray = py::array_t<T, py::array::c_style>;

// The Python side has checked shapes and dtypes already; these checks only
// keep a caller of _core directly from reading out of bounds.
void RequireShape(const py::array& array, const char* field, py::ssize_t columns) {
  const bool ok = columns == 0 ? array.ndim() == 1 : array.ndim() == 2 && array.shape(1) == columns;
  if (!ok) throw py::value_error(std::string(field) + ": unexpected shape");
}

MeshRequest MakeRequest(const CArray<double>& points, const CArray<int32_t>& segments,
                        const CArray<int32_t>& interior_only, double target_size,
                        const CArray<double>& domain_target_sizes, bool prefer_quads,
                        const CArray<double>& plane_normal, bool keep_boundary, bool all_quads) {
  RequireShape(points, "points", 3);
  RequireShape(segments, "segments", 4);
  RequireShape(interior_only, "interior_only", 0);
  RequireShape(domain_target_sizes, "domain_target_sizes", 0);
  RequireShape(plane_normal, "plane_normal", 0);
  if (plane_normal.shape(0) != 3) throw py::value_error("plane_normal: unexpected shape");
  MeshRequest request;
  request.points.resize(static_cast<size_t>(points.shape(0)));
  for (size_t i = 0; i < request.points.size(); ++i) {
    request.points[i] = Point3{points.at(i, 0), points.at(i, 1), points.at(i, 2)};
  }
  request.segments.resize(static_cast<size_t>(segments.shape(0)));
  for (size_t i = 0; i < request.segments.size(); ++i) {
    request.segments[i] =
        BoundarySegment{segments.at(i, 0), segments.at(i, 1), segments.at(i, 2), segments.at(i, 3)};
  }
  request.interior_only.assign(interior_only.data(), interior_only.data() + interior_only.size());
  request.target_size = target_size;
  request.domain_target_sizes.assign(domain_target_sizes.data(),
                                     domain_target_sizes.data() + domain_target_sizes.size());
  request.plane_normal = Point3{plane_normal.at(0), plane_normal.at(1), plane_normal.at(2)};
  request.prefer_quads = prefer_quads;
  request.options = (keep_boundary ? kKeepBoundary : 0u) | (all_quads ? kAllQuads : 0u);
  return request;
}

// A numpy array over `count` rows of `columns` values of T at `data`, kept
// alive by `owner`.
template <typename T>
py::array View(const T* data, size_t count, size_t columns, const py::object& owner) {
  std::vector<py::ssize_t> shape = {static_cast<py::ssize_t>(count)};
  std::vector<py::ssize_t> strides = {static_cast<py::ssize_t>(columns * sizeof(T))};
  if (columns > 1) {
    shape.push_back(static_cast<py::ssize_t>(columns));
    strides.push_back(sizeof(T));
  }
  return py::array(py::dtype::of<T>(), shape, strides, data, owner);
}

// The request's fields as numpy arrays, for a request read from JSON.
py::dict RequestFields(const MeshRequest& request) {
  py::dict fields;
  auto* owned = new MeshRequest(request);
  py::capsule owner(owned, [](void* p) { delete static_cast<MeshRequest*>(p); });
  fields["points"] = View(reinterpret_cast<const double*>(owned->points.data()), owned->points.size(), 3, owner);
  fields["segments"] = View(reinterpret_cast<const int32_t*>(owned->segments.data()), owned->segments.size(), 4, owner);
  fields["interior_only"] = View(owned->interior_only.data(), owned->interior_only.size(), 1, owner);
  fields["target_size"] = owned->target_size;
  fields["domain_target_sizes"] =
      View(owned->domain_target_sizes.data(), owned->domain_target_sizes.size(), 1, owner);
  fields["prefer_quads"] = owned->prefer_quads;
  fields["keep_boundary"] = (owned->options & kKeepBoundary) != 0;
  fields["all_quads"] = (owned->options & kAllQuads) != 0;
  const Point3& n = owned->plane_normal;
  if (n.x != 0 || n.y != 0 || n.z != 0) {
    fields["plane_normal"] = py::make_tuple(n.x, n.y, n.z);
  } else {
    fields["plane_normal"] = py::none();
  }
  return fields;
}

// meshctl stats --json of a result's arrays, from the same code, so that
// both give the same numbers. Every index must name a vertex.
std::string MeshQualityJson(const CArray<double>& vertices, const CArray<int32_t>& quads,
                            const CArray<int32_t>& triangles, const CArray<int32_t>& quad_domains,
                            const CArray<int32_t>& triangle_domains) {
  RequireShape(vertices, "vertices", 3);
  RequireShape(quads, "quads", 4);
  RequireShape(triangles, "triangles", 3);
  RequireShape(quad_domains, "quad_domains", 0);
  RequireShape(triangle_domains, "triangle_domains", 0);
  if (quad_domains.shape(0) != quads.shape(0) || triangle_domains.shape(0) != triangles.shape(0)) {
    throw py::value_error("one domain per element is needed");
  }
  PlanarComplexMesh mesh;
  mesh.vertices.resize(static_cast<size_t>(vertices.shape(0)));
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    mesh.vertices[i] = Point3{vertices.at(i, 0), vertices.at(i, 1), vertices.at(i, 2)};
  }
  const auto corner = [&](int32_t vertex) {
    if (vertex < 0 || static_cast<size_t>(vertex) >= mesh.vertices.size()) {
      throw py::value_error("element corner " + std::to_string(vertex) + " names no vertex");
    }
    return vertex;
  };
  mesh.quads.resize(static_cast<size_t>(quads.shape(0)));
  for (size_t i = 0; i < mesh.quads.size(); ++i) {
    for (size_t j = 0; j < 4; ++j) mesh.quads[i][j] = corner(quads.at(i, j));
  }
  mesh.triangles.resize(static_cast<size_t>(triangles.shape(0)));
  for (size_t i = 0; i < mesh.triangles.size(); ++i) {
    for (size_t j = 0; j < 3; ++j) mesh.triangles[i][j] = corner(triangles.at(i, j));
  }
  mesh.quad_domains.assign(quad_domains.data(), quad_domains.data() + quad_domains.size());
  mesh.triangle_domains.assign(triangle_domains.data(),
                               triangle_domains.data() + triangle_domains.size());
  return MeshStatsJson(mesh).dump();
}

py::dict ParseJson(const std::string& text) {
  MeshRequest request;
  JsonProblem problem;
  if (!ParseMeshRequestJson(text, &request, &problem)) throw py::value_error(problem.ToString());
  return RequestFields(request);
}

// A face as Python hands it over and gets it back: (outer ring, holes,
// object tag, semantic tag, target size), tags -1 for none.
using FaceTuple = std::tuple<std::vector<int32_t>, std::vector<std::vector<int32_t>>, int32_t,
                             int32_t, double>;

Model MakeModel(const CArray<double>& vertices, const std::vector<FaceTuple>& faces,
                const std::vector<std::string>& objects, const std::vector<std::string>& semantics) {
  RequireShape(vertices, "vertices", 3);
  Model model;
  model.vertices.resize(static_cast<size_t>(vertices.shape(0)));
  for (size_t i = 0; i < model.vertices.size(); ++i) {
    model.vertices[i] = Point3{vertices.at(i, 0), vertices.at(i, 1), vertices.at(i, 2)};
  }
  model.faces.reserve(faces.size());
  for (const FaceTuple& tuple : faces) {
    ModelFace face;
    std::tie(face.outer, face.holes, face.object, face.semantic, face.target_size) = tuple;
    // The tags index the name lists; the writers and the quality table
    // look names up by them.
    if (face.object < -1 || face.object >= static_cast<int32_t>(objects.size()) ||
        face.semantic < -1 || face.semantic >= static_cast<int32_t>(semantics.size())) {
      throw py::value_error("faces: a tag names no object or semantic type");
    }
    model.faces.push_back(std::move(face));
  }
  model.objects = objects;
  model.semantics = semantics;
  return model;
}

// (vertices, [FaceTuple], objects, semantics, notes) of a CityJSON or OBJ
// file; ValueError naming the file when it cannot be read.
py::tuple ReadModel(const std::string& path, const std::string& lod) {
  ModelReadOptions options;
  options.lod = lod;
  auto read = std::make_unique<ModelReadResult>();
  std::string error;
  bool ok;
  {
    py::gil_scoped_release unlocked;
    ok = ReadModelFile(path, options, read.get(), &error);
  }
  if (!ok) throw py::value_error(error);
  const ModelReadResult* kept = read.get();
  py::capsule owner(read.release(), [](void* p) { delete static_cast<ModelReadResult*>(p); });
  const Model& model = kept->model;
  py::list faces;
  for (const ModelFace& face : model.faces) {
    faces.append(py::make_tuple(face.outer, face.holes, face.object, face.semantic,
                                face.target_size));
  }
  return py::make_tuple(
      View(reinterpret_cast<const double*>(model.vertices.data()), model.vertices.size(), 3, owner),
      faces, model.objects, model.semantics, kept->notes);
}

// The mesh of a model as views, the outcome of each face and the summary.
// `mesh`, when given, stands for result.mesh and is shared with the caller.
py::dict ModelResultFields(ModelMeshResult result,
                           std::shared_ptr<const ModelMesh> mesh = nullptr) {
  py::dict fields;
  fields["ok"] = result.ok;
  fields["error"] = result.error;
  py::list faces;
  for (const FaceOutcome& face : result.faces) {
    faces.append(py::make_tuple(FaceOutcomeName(face.kind), face.reason, face.reason_key,
                                face.quads, face.triangles, face.non_planarity));
  }
  fields["faces"] = faces;
  const ModelMeshSummary& s = result.summary;
  py::dict summary;
  summary["faces"] = s.faces;
  summary["meshed_faces"] = s.meshed_faces;
  summary["refused_faces"] = s.refused_faces;
  summary["failed_faces"] = s.failed_faces;
  summary["skipped_faces"] = s.skipped_faces;
  summary["welded_vertices"] = s.welded_vertices;
  summary["dropped_ring_repeats"] = s.dropped_ring_repeats;
  summary["dropped_holes"] = s.dropped_holes;
  summary["t_junctions"] = s.t_junctions;
  summary["shared_edges"] = s.shared_edges;
  summary["non_manifold_edges"] = s.non_manifold_edges;
  summary["open_edges"] = s.open_edges;
  summary["max_non_planarity"] = s.max_non_planarity;
  summary["seconds"] = s.seconds;
  fields["summary"] = summary;
  auto* shared = new std::shared_ptr<const ModelMesh>(
      mesh ? std::move(mesh) : std::make_shared<const ModelMesh>(std::move(result.mesh)));
  const ModelMesh* owned = shared->get();
  py::capsule owner(shared, [](void* p) { delete static_cast<std::shared_ptr<const ModelMesh>*>(p); });
  fields["vertices"] = View(reinterpret_cast<const double*>(owned->vertices.data()), owned->vertices.size(), 3, owner);
  fields["quads"] = View(reinterpret_cast<const int32_t*>(owned->quads.data()), owned->quads.size(), 4, owner);
  fields["triangles"] = View(reinterpret_cast<const int32_t*>(owned->triangles.data()), owned->triangles.size(), 3, owner);
  fields["quad_faces"] = View(owned->quad_faces.data(), owned->quad_faces.size(), 1, owner);
  fields["triangle_faces"] = View(owned->triangle_faces.data(), owned->triangle_faces.size(), 1, owner);
  return fields;
}

ModelMeshOptions MakeModelOptions(double target_size, double weld_tolerance, bool prefer_quads,
                                  bool all_quads, bool keep_going) {
  ModelMeshOptions options;
  options.target_size = target_size;
  options.weld_tolerance = weld_tolerance;
  options.prefer_quads = prefer_quads;
  options.all_quads = all_quads;
  options.keep_going = keep_going;
  return options;
}

// A model meshed elsewhere: prepared here, its faces' requests handed out as
// payload bytes, their answers (FaceAnswer bytes) stitched in as they come,
// and the result, which can also be written as meshctl writes it.
class ModelRun {
 public:
  ModelRun(const CArray<double>& vertices, const std::vector<FaceTuple>& faces,
           const std::vector<std::string>& objects, const std::vector<std::string>& semantics,
           double target_size, double weld_tolerance, bool prefer_quads, bool all_quads,
           bool keep_going)
      : model_(MakeModel(vertices, faces, objects, semantics)) {
    const ModelMeshOptions options =
        MakeModelOptions(target_size, weld_tolerance, prefer_quads, all_quads, keep_going);
    py::gil_scoped_release unlocked;
    stitcher_ = std::make_unique<ModelStitcher>(PrepareModel(model_, options), keep_going);
  }

  size_t size() const { return Live().requests().size(); }
  bool running() const { return Live().running(); }
  size_t answered() const { return Live().answered(); }
  size_t face_of(size_t request) const { return Live().face_of(request); }

  // The encoded requests [start, stop), clipped to the requests there are.
  std::vector<py::bytes> Payloads(size_t start, size_t stop) const {
    const std::vector<MeshRequest>& requests = Live().requests();
    stop = std::min(stop, requests.size());
    std::vector<std::string> encoded;
    {
      py::gil_scoped_release unlocked;
      for (size_t i = start; i < stop; ++i) encoded.push_back(EncodeMeshRequest(requests[i]));
    }
    return std::vector<py::bytes>(encoded.begin(), encoded.end());
  }

  // Stitches in the answers to requests first, first + 1, ...; returns
  // whether the run goes on.
  bool Add(size_t first, const std::vector<std::string>& answers) {
    ModelStitcher& stitcher = Live();
    py::gil_scoped_release unlocked;
    for (size_t i = 0; i < answers.size(); ++i) {
      FaceAnswer answer;
      if (!DecodeFaceAnswer(answers[i].data(), answers[i].size(), &answer)) {
        throw py::value_error("the answer to request " + std::to_string(first + i) +
                              " is not a face answer");
      }
      if (!stitcher.Add(first + i, std::move(answer))) return false;
    }
    return stitcher.running();
  }

  py::dict Finish() {
    ModelStitcher& stitcher = Live();
    ModelMeshResult result;
    {
      py::gil_scoped_release unlocked;
      result = stitcher.Finish();
      stitcher_.reset();
      mesh_ = std::make_shared<const ModelMesh>(std::move(result.mesh));
      result.mesh = ModelMesh();
    }
    return ModelResultFields(std::move(result), mesh_);
  }

  // Writes the finished mesh as meshctl model does, the format by the
  // path's suffix (.vtu, .msh, .obj).
  void Write(const std::string& path) const {
    if (!mesh_) throw std::logic_error("the run is not finished");
    std::string lower = path;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    auto ends_with = [&](const std::string& tail) {
      return lower.size() >= tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    std::string (*writer)(const Model&, const ModelMesh&) =
        ends_with(".vtu") ? ModelMeshToVtu
        : ends_with(".msh") ? ModelMeshToMsh
        : ends_with(".obj") ? ModelMeshToObj
                            : nullptr;
    if (writer == nullptr) {
      throw py::value_error(path + ": cannot tell the format; name the output .vtu, .msh or .obj");
    }
    py::gil_scoped_release unlocked;
    const std::string text = writer(model_, *mesh_);
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    out.close();
    if (!out) throw std::runtime_error(path + ": cannot be written");
  }

 private:
  ModelStitcher& Live() const {
    if (!stitcher_) throw std::logic_error("the run is finished");
    return *stitcher_;
  }

  Model model_;
  std::unique_ptr<ModelStitcher> stitcher_;
  std::shared_ptr<const ModelMesh> mesh_;
};

// One answer as the pool delivered it. The mesh is handed to Python once,
// as views that share ownership of it.
class Answer {
 public:
  explicit Answer(WorkerAnswer answer) : answer_(std::move(answer)) {}

  std::string outcome() const { return CallOutcomeName(answer_.outcome); }
  bool ok() const { return answer_.ok(); }
  const std::vector<std::string>& diagnostics() const { return answer_.diagnostics; }
  const std::string& error() const { return answer_.error; }
  // The refusal's check key (client/refusal.h), None when the worker's line
  // is not one the client knows.
  py::object refusal_reason() const {
    return answer_.refusal.reason.empty() ? py::object(py::none())
                                          : py::object(py::str(answer_.refusal.reason));
  }
  py::object exit_code() const {
    return answer_.exited ? py::object(py::int_(answer_.exit_code)) : py::object(py::none());
  }
  py::object signal() const {
    return answer_.signal != 0 ? py::object(py::int_(answer_.signal)) : py::object(py::none());
  }
  double elapsed() const { return std::chrono::duration<double>(answer_.elapsed).count(); }
  std::string describe() const { return answer_.Describe(); }

  py::dict TakeMesh() {
    auto* owned = new PlanarComplexMesh(std::move(answer_.mesh));
    answer_.mesh = PlanarComplexMesh();
    py::capsule owner(owned, [](void* p) { delete static_cast<PlanarComplexMesh*>(p); });
    py::dict fields;
    fields["vertices"] = View(reinterpret_cast<const double*>(owned->vertices.data()), owned->vertices.size(), 3, owner);
    fields["quads"] = View(reinterpret_cast<const int32_t*>(owned->quads.data()), owned->quads.size(), 4, owner);
    fields["triangles"] = View(reinterpret_cast<const int32_t*>(owned->triangles.data()), owned->triangles.size(), 3, owner);
    fields["point_vertex"] = View(owned->point_vertex.data(), owned->point_vertex.size(), 1, owner);
    fields["quad_domains"] = View(owned->quad_domains.data(), owned->quad_domains.size(), 1, owner);
    fields["triangle_domains"] =
        View(owned->triangle_domains.data(), owned->triangle_domains.size(), 1, owner);
    py::list chains;
    for (const std::vector<int32_t>& chain : owned->segment_chains) {
      chains.append(View(chain.data(), chain.size(), 1, owner));
    }
    fields["segment_chains"] = chains;
    return fields;
  }

 private:
  WorkerAnswer answer_;
};

// A pending answer. Waiting releases the GIL, so other Python threads run.
class Pending {
 public:
  explicit Pending(std::future<WorkerAnswer> future) : future_(std::move(future)) {}

  // True when the answer is in; `seconds` < 0 waits for ever.
  bool Wait(double seconds) {
    if (!future_.valid()) return true;
    py::gil_scoped_release unlocked;
    if (seconds < 0) {
      future_.wait();
      return true;
    }
    return future_.wait_for(std::chrono::duration<double>(seconds)) == std::future_status::ready;
  }

  bool Done() const {
    return !future_.valid() ||
           future_.wait_for(std::chrono::seconds(0)) == std::future_status::ready;
  }

  Answer Take() {
    if (!future_.valid()) throw std::logic_error("the answer was taken already");
    WorkerAnswer answer;
    {
      py::gil_scoped_release unlocked;
      answer = future_.get();
    }
    return Answer(std::move(answer));
  }

 private:
  std::future<WorkerAnswer> future_;
};

std::chrono::milliseconds TimeoutOf(double seconds) {
  if (!(seconds > 0) || std::isinf(seconds)) return kNoTimeout;
  return std::chrono::milliseconds(static_cast<long long>(std::ceil(seconds * 1000)));
}

class Pool {
 public:
  Pool(const std::string& worker_path, size_t workers, double timeout_seconds,
       uint64_t memory_limit_bytes) {
    WorkerPoolOptions options;
    options.worker.worker_path = worker_path;
    options.worker.memory_limit_bytes = memory_limit_bytes;
    options.workers = workers;
    options.timeout = TimeoutOf(timeout_seconds);
    pool_ = std::make_shared<WorkerPool>(options);
  }
  ~Pool() { Close(); }

  Pending Submit(const MeshRequest& request) { return Pending(Live().Submit(request)); }

  // Meshes input lines of `meshctl batch` (their 1-based numbers in the
  // file, and their text) and returns the output lines meshctl writes for
  // them, each ended by a newline, in the given order, with the outcome of
  // each. The whole of it runs without the GIL.
  py::tuple MeshBatchLines(const std::vector<std::pair<size_t, std::string>>& lines) {
    std::shared_ptr<WorkerPool> pool = pool_;
    if (!pool) throw std::runtime_error("the pool is closed");
    std::vector<std::string> outcomes(lines.size());
    std::string text;
    {
      py::gil_scoped_release unlocked;
      std::vector<std::string> written(lines.size());
      std::vector<std::future<WorkerAnswer>> answers(lines.size());
      for (size_t i = 0; i < lines.size(); ++i) {
        MeshRequest request;
        nlohmann::ordered_json invalid;
        if (ParseBatchRequestLine(lines[i].second, lines[i].first, &request, &invalid)) {
          answers[i] = pool->Submit(request);
        } else {
          outcomes[i] = invalid["outcome"].get<std::string>();
          written[i] = DumpBatchLine(invalid);
        }
      }
      for (size_t i = 0; i < lines.size(); ++i) {
        if (answers[i].valid()) {
          const nlohmann::ordered_json line = BatchAnswerLine(lines[i].first, answers[i].get());
          outcomes[i] = line["outcome"].get<std::string>();
          written[i] = DumpBatchLine(line);
        }
        text += written[i];
        text += '\n';
        written[i] = std::string();
      }
      // A pool closed meanwhile by another thread stops here, unlocked.
      pool.reset();
    }
    return py::make_tuple(py::bytes(text), outcomes);
  }

  // Meshes a whole model through this pool's workers; the model layer runs
  // without the GIL, so other Python threads (and their pools) go on.
  py::dict MeshModelFields(const CArray<double>& vertices, const std::vector<FaceTuple>& faces,
                           const std::vector<std::string>& objects,
                           const std::vector<std::string>& semantics, double target_size,
                           double weld_tolerance, bool prefer_quads, bool all_quads,
                           bool keep_going) {
    std::shared_ptr<WorkerPool> pool = pool_;
    if (!pool) throw std::runtime_error("the pool is closed");
    const Model model = MakeModel(vertices, faces, objects, semantics);
    const ModelMeshOptions options =
        MakeModelOptions(target_size, weld_tolerance, prefer_quads, all_quads, keep_going);
    // cancel() during the run ends the rest of it too: the model layer
    // submits faces as answers come in, so each answer after a cancel
    // cancels again what was submitted since, and the faces left fail fast.
    const uint64_t cancels = cancels_.load();
    WorkerPool* live = pool.get();
    const ModelMeshProgress stop_after_cancel = [this, cancels, live](size_t, size_t) {
      if (cancels_.load() != cancels) live->Cancel();
    };
    ModelMeshResult result;
    {
      py::gil_scoped_release unlocked;
      result = MeshModel(model, options, *pool, stop_after_cancel);
      // A pool closed meanwhile by another thread stops here, unlocked.
      pool.reset();
    }
    return ModelResultFields(std::move(result));
  }

  // Meshes encoded face requests of a ModelRun and returns their answers as
  // FaceAnswer bytes, in order; all of it without the GIL.
  std::vector<py::bytes> MeshFacePayloads(const std::vector<std::string>& payloads) {
    std::shared_ptr<WorkerPool> pool = pool_;
    if (!pool) throw std::runtime_error("the pool is closed");
    std::vector<std::string> answers(payloads.size());
    {
      py::gil_scoped_release unlocked;
      std::vector<std::future<WorkerAnswer>> pending(payloads.size());
      for (size_t i = 0; i < payloads.size(); ++i) {
        MeshRequest request;
        if (!DecodeMeshRequest(payloads[i].data(), payloads[i].size(), &request)) {
          FaceAnswer broken;
          broken.reason = "the request payload does not decode";
          broken.reason_key = "call_failed";
          answers[i] = EncodeFaceAnswer(broken);
          continue;
        }
        pending[i] = pool->Submit(request);
      }
      for (size_t i = 0; i < payloads.size(); ++i) {
        if (pending[i].valid()) answers[i] = EncodeFaceAnswer(FaceAnswerOf(pending[i].get()));
      }
      // A pool closed meanwhile by another thread stops here, unlocked.
      pool.reset();
    }
    return std::vector<py::bytes>(answers.begin(), answers.end());
  }

  // Answers only futures, never Python code, so it runs without the GIL.
  void Cancel() {
    std::shared_ptr<WorkerPool> pool = pool_;
    if (!pool) throw std::runtime_error("the pool is closed");
    cancels_.fetch_add(1);
    py::gil_scoped_release unlocked;
    pool->Cancel();
    // A pool closed meanwhile by another thread stops here, unlocked.
    pool.reset();
  }

  size_t size() { return Live().size(); }
  int starts() { return Live().starts(); }

  // Answers what is queued and stops the workers; waiting for them must not
  // hold up other Python threads.
  void Close() {
    if (!pool_) return;
    std::shared_ptr<WorkerPool> closing = std::move(pool_);
    if (PyGILState_Check()) {
      py::gil_scoped_release unlocked;
      closing.reset();
    }
  }

 private:
  WorkerPool& Live() {
    if (!pool_) throw std::runtime_error("the pool is closed");
    return *pool_;
  }

  std::shared_ptr<WorkerPool> pool_;
  // How many times cancel() was called, for a model run to notice one.
  std::atomic<uint64_t> cancels_{0};
};

}  // namespace
}  // namespace mesh

PYBIND11_MODULE(_core, m) {
  using namespace mesh;
  m.doc() = "The C++ mesh-worker client; use the meshworker package, not this module.";

  py::class_<MeshRequest>(m, "MeshRequest")
      .def("fields", &RequestFields)
      .def("to_json", [](const MeshRequest& request) {
        return DumpReadable(MeshRequestToJson(request));
      });
  m.def("make_request", &MakeRequest, py::arg("points"), py::arg("segments"),
        py::arg("interior_only"), py::arg("target_size"), py::arg("domain_target_sizes"),
        py::arg("prefer_quads"), py::arg("plane_normal"), py::arg("keep_boundary"),
        py::arg("all_quads"));
  m.def("parse_request_json", &ParseJson, py::arg("text"),
        "The fields of a JSON request as meshctl reads it; ValueError('LINE:COLUMN: ...').");

  m.def("mesh_quality_json", &MeshQualityJson, py::arg("vertices"), py::arg("quads"),
        py::arg("triangles"), py::arg("quad_domains"), py::arg("triangle_domains"),
        "What `meshctl stats --json` writes for a mesh of these arrays.");
  m.def("is_blank_batch_line", [](const std::string& text) { return IsBlankBatchLine(text); },
        py::arg("text"), "True for a line meshctl batch skips.");

  m.def("read_model", &ReadModel, py::arg("path"), py::arg("lod"),
        "(vertices, [(outer, holes, object, semantic, target_size)], objects, semantics, "
        "notes) of a CityJSON or OBJ file; ValueError naming the file.");
  m.def("default_weld_tolerance", [] { return kDefaultWeldTolerance; });

  m.def("default_model_target_size",
        [](const CArray<double>& vertices, const std::vector<FaceTuple>& faces,
           const std::vector<std::string>& objects, const std::vector<std::string>& semantics) {
          return DefaultModelTargetSize(MakeModel(vertices, faces, objects, semantics));
        },
        py::arg("vertices"), py::arg("faces"), py::arg("objects"), py::arg("semantics"),
        "meshctl model's target size when none is given: a tenth of the median face's extent");

  py::class_<ModelRun>(m, "ModelRun")
      .def(py::init<const CArray<double>&, const std::vector<FaceTuple>&,
                    const std::vector<std::string>&, const std::vector<std::string>&, double,
                    double, bool, bool, bool>(),
           py::arg("vertices"), py::arg("faces"), py::arg("objects"), py::arg("semantics"),
           py::arg("target_size"), py::arg("weld_tolerance"), py::arg("prefer_quads"),
           py::arg("all_quads"), py::arg("keep_going"))
      .def_property_readonly("size", &ModelRun::size)
      .def_property_readonly("running", &ModelRun::running)
      .def_property_readonly("answered", &ModelRun::answered)
      .def("face_of", &ModelRun::face_of, py::arg("request"))
      .def("payloads", &ModelRun::Payloads, py::arg("start"), py::arg("stop"))
      .def("add", &ModelRun::Add, py::arg("first"), py::arg("answers"))
      .def("finish", &ModelRun::Finish)
      .def("write", &ModelRun::Write, py::arg("path"));

  py::class_<Answer>(m, "Answer")
      .def_property_readonly("outcome", &Answer::outcome)
      .def_property_readonly("ok", &Answer::ok)
      .def_property_readonly("diagnostics", &Answer::diagnostics)
      .def_property_readonly("error", &Answer::error)
      .def_property_readonly("refusal_reason", &Answer::refusal_reason)
      .def_property_readonly("exit_code", &Answer::exit_code)
      .def_property_readonly("signal", &Answer::signal)
      .def_property_readonly("elapsed", &Answer::elapsed)
      .def("describe", &Answer::describe)
      .def("take_mesh", &Answer::TakeMesh);

  py::class_<Pending>(m, "Pending")
      .def("wait", &Pending::Wait, py::arg("seconds") = -1.0)
      .def("done", &Pending::Done)
      .def("take", &Pending::Take);

  py::class_<Pool>(m, "Pool")
      .def(py::init<const std::string&, size_t, double, uint64_t>(), py::arg("worker_path"),
           py::arg("workers"), py::arg("timeout"), py::arg("memory_limit_bytes") = 0)
      .def("submit", &Pool::Submit, py::arg("request"))
      .def("mesh_batch_lines", &Pool::MeshBatchLines, py::arg("lines"),
           "[(number, bytes)] -> (bytes of meshctl batch's output lines, [outcome])")
      .def("mesh_model", &Pool::MeshModelFields, py::arg("vertices"), py::arg("faces"),
           py::arg("objects"), py::arg("semantics"), py::arg("target_size"),
           py::arg("weld_tolerance"), py::arg("prefer_quads"), py::arg("all_quads"),
           py::arg("keep_going"))
      .def("mesh_face_payloads", &Pool::MeshFacePayloads, py::arg("payloads"),
           "[request bytes of a ModelRun] -> [answer bytes], in order")
      .def("cancel", &Pool::Cancel)
      .def("close", &Pool::Close)
      .def_property_readonly("size", &Pool::size)
      .def_property_readonly("starts", &Pool::starts);
}

// A parent program as a CAD tool would write one: it meshes a few hundred
// faces of a model, each a plate with a window in a plane of its own,
// through a pool of workers; reads each face's boundary back from the
// segment chains; tells refusals (faces drawn wrong) from failures; and
// shows that a worker that stops answering costs only its own request.
//
// Usage: parent [FACES]  (default 300). Exits 0 when every face came back as
// expected: meshed, or refused when it was drawn with its window left open.
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <vector>

#include "client/worker_pool.h"
#include "client/worker_process.h"
#include "protocol/frame.h"

namespace {

struct Vector {
  double x, y, z;
};

Vector Add(Vector a, Vector b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
Vector Scale(Vector a, double s) { return {a.x * s, a.y * s, a.z * s}; }
double Dot(Vector a, Vector b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vector Cross(Vector a, Vector b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

// A face of the model: its plane (origin and two unit axes) and its
// outline and window in plane coordinates.
struct Face {
  Vector origin, u, v;
  bool window_left_open = false;
  mesh::MeshRequest request;
};

// Face i leans by its own angles, so no two share a plane. Every 25th face
// is drawn with one side of its window missing, as a careless exporter
// might: the worker must refuse it.
Face MakeFace(int i) {
  Face face;
  const double tilt = 0.1 + 1.3 * ((i * 37) % 100) / 100.0;
  const double turn = 6.2831853 * ((i * 61) % 100) / 100.0;
  face.u = {std::cos(turn), std::sin(turn), 0};
  const Vector across = {-std::sin(turn), std::cos(turn), 0};
  face.v = Add(Scale(across, std::cos(tilt)), Scale(Vector{0, 0, 1}, std::sin(tilt)));
  face.origin = {10.0 * (i % 20), 10.0 * (i / 20), 2.5 * (i % 7)};
  face.window_left_open = i % 25 == 24;

  const double width = 2.0 + (i % 5) * 0.25, height = 1.0 + (i % 3) * 0.25;
  const std::array<std::array<double, 2>, 8> corners = {{
      {0, 0}, {width, 0}, {width, height}, {0, height},  // outline, anticlockwise
      {0.5, 0.3}, {0.5, height - 0.3}, {1.2, height - 0.3}, {1.2, 0.3},  // window, clockwise
  }};
  for (const auto& c : corners) {
    const Vector p = Add(face.origin, Add(Scale(face.u, c[0]), Scale(face.v, c[1])));
    face.request.points.push_back({p.x, p.y, p.z});
  }
  for (int32_t k = 0; k < 4; ++k) face.request.segments.push_back({k, (k + 1) % 4, 1, 0});
  const int window_sides = face.window_left_open ? 3 : 4;
  for (int32_t k = 0; k < window_sides; ++k) {
    face.request.segments.push_back({4 + k, 4 + (k + 1) % 4, 1, 0});
  }
  face.request.target_size = 0.2;
  return face;
}

// What a parent checks before it trusts an answer: each boundary segment's
// chain runs from its first point's vertex to its second's, and every vertex
// lies in the face's plane.
std::string CheckAnswer(const Face& face, const mesh::PlanarComplexMesh& mesh) {
  const mesh::MeshRequest& request = face.request;
  if (mesh.segment_chains.size() != request.segments.size()) return "one chain per segment";
  if (mesh.point_vertex.size() != request.points.size()) return "one vertex per point";
  const int32_t vertices = static_cast<int32_t>(mesh.vertices.size());
  for (size_t s = 0; s < request.segments.size(); ++s) {
    const std::vector<int32_t>& chain = mesh.segment_chains[s];
    if (chain.size() < 2) return "segment " + std::to_string(s) + " has no chain";
    for (int32_t vertex : chain) {
      if (vertex < 0 || vertex >= vertices) return "chain index out of range";
    }
    if (chain.front() != mesh.point_vertex[request.segments[s].point_a] ||
        chain.back() != mesh.point_vertex[request.segments[s].point_b]) {
      return "segment " + std::to_string(s) + "'s chain does not join its points";
    }
  }
  const Vector normal = Cross(face.u, face.v);
  for (const mesh::Point3& p : mesh.vertices) {
    const Vector offset = {p.x - face.origin.x, p.y - face.origin.y, p.z - face.origin.z};
    if (std::fabs(Dot(offset, normal)) > 1e-9) return "a vertex off the face's plane";
  }
  if (mesh.quads.empty() && mesh.triangles.empty()) return "no elements";
  return "";
}

}  // namespace

int main(int argc, char** argv) {
  const int face_count = argc > 1 ? std::atoi(argv[1]) : 300;
  int unexpected = 0;

  // One worker per core, found where the client was installed. A face that
  // takes more than a minute is given up on and its worker replaced.
  mesh::WorkerPoolOptions options;
  options.timeout = std::chrono::seconds(60);
  std::vector<Face> faces;
  std::vector<std::future<mesh::WorkerAnswer>> answers;
  {
    mesh::WorkerPool pool(options);
    for (int i = 0; i < face_count; ++i) {
      faces.push_back(MakeFace(i));
      answers.push_back(pool.Submit(faces.back().request));
    }

    int meshed = 0, refused = 0;
    size_t elements = 0, boundary_edges = 0;
    for (int i = 0; i < face_count; ++i) {
      const mesh::WorkerAnswer answer = answers[i].get();
      const Face& face = faces[i];
      switch (answer.outcome) {
        case mesh::CallOutcome::kSuccess: {
          const std::string problem = CheckAnswer(face, answer.mesh);
          if (!problem.empty() || face.window_left_open) {
            std::fprintf(stderr, "face %d: meshed, but %s\n", i,
                         problem.empty() ? "it should have been refused" : problem.c_str());
            ++unexpected;
            break;
          }
          ++meshed;
          elements += answer.mesh.quads.size() + answer.mesh.triangles.size();
          for (const std::vector<int32_t>& chain : answer.mesh.segment_chains) {
            boundary_edges += chain.size() - 1;
          }
          break;
        }
        case mesh::CallOutcome::kRefused:
          // The worker's reason is its last diagnostic line.
          std::printf("face %d refused: %s\n", i,
                      answer.diagnostics.empty() ? "(no reason)" : answer.diagnostics.back().c_str());
          if (!face.window_left_open) ++unexpected;
          ++refused;
          break;
        default:
          // Timed out, died, could not start, or broke the protocol: the
          // pool has already replaced the worker; a real parent would retry
          // the face or mark it unmeshed.
          std::fprintf(stderr, "face %d: %s\n", i, answer.Describe().c_str());
          ++unexpected;
          break;
      }
    }
    std::printf("%d faces: %d meshed (%zu elements, %zu boundary edges), %d refused; "
                "%d worker starts\n",
                face_count, meshed, elements, boundary_edges, refused, pool.starts());
  }

  // A worker that never answers: the hang test request, with a short
  // deadline. The worker is killed at the deadline and the next face gets
  // a fresh one.
  mesh::WorkerOptions armed;
  armed.set_env = {"TALVEX_MESH_WORKER_ALLOW_HANG_TEST=1"};
  mesh::WorkerProcess worker(armed);
  const mesh::WorkerAnswer hung =
      worker.Call(mesh::kKindHangTest, "", std::chrono::milliseconds(2000));
  std::printf("a hanging worker: %s\n", hung.Describe().c_str());
  if (hung.outcome != mesh::CallOutcome::kTimedOut) ++unexpected;
  const mesh::WorkerAnswer after = worker.Mesh(MakeFace(0).request, std::chrono::seconds(60));
  std::printf("the next face: %s (worker start %d)\n", after.Describe().c_str(), worker.starts());
  if (!after.ok() || worker.starts() != 2) ++unexpected;

  if (unexpected > 0) std::fprintf(stderr, "%d unexpected answers\n", unexpected);
  return unexpected == 0 ? 0 : 1;
}

#include "model/fake_face_mesher.h"

#include <algorithm>
#include <string>

#include "client/refusal.h"
#include "planar/plane_frame.h"

namespace mesh {
namespace test {

namespace {

double Turn(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) { return Orient(a, b, c); }

bool InTriangle(const PlanePoint& p, const PlanePoint& a, const PlanePoint& b, const PlanePoint& c) {
  return Turn(a, b, p) >= 0 && Turn(b, c, p) >= 0 && Turn(c, a, p) >= 0;
}

bool Cross(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c, const PlanePoint& d) {
  return SegmentsCross(a, b, c, d);
}

// The request's closed loops, each as its points in order (the model layer
// sends each ring's segments in a row).
std::vector<std::vector<int32_t>> Loops(const MeshRequest& request) {
  std::vector<std::vector<int32_t>> loops;
  std::vector<int32_t> current;
  for (const BoundarySegment& segment : request.segments) {
    current.push_back(segment.point_a);
    if (segment.point_b == current.front()) {
      loops.push_back(current);
      current.clear();
    }
  }
  return loops;
}

// Ear clipping of the outline with every hole bridged in; empty on failure.
std::vector<std::array<int32_t, 3>> EarClip(std::vector<std::vector<int32_t>> loops,
                                            const std::vector<PlanePoint>& plane) {
  std::vector<int32_t> polygon = loops[0];
  for (size_t h = 1; h < loops.size(); ++h) {
    const std::vector<int32_t>& hole = loops[h];
    size_t start = 0;
    for (size_t i = 1; i < hole.size(); ++i) {
      if (plane[hole[i]].u > plane[hole[start]].u) start = i;
    }
    const int32_t from = hole[start];
    // The nearest polygon vertex the bridge reaches without crossing a ring.
    size_t best = polygon.size();
    double best_distance = 0;
    for (size_t k = 0; k < polygon.size(); ++k) {
      const PlanePoint& to = plane[polygon[k]];
      bool blocked = false;
      auto check = [&](const std::vector<int32_t>& ring) {
        for (size_t i = 0; i < ring.size() && !blocked; ++i) {
          blocked = Cross(plane[from], to, plane[ring[i]], plane[ring[(i + 1) % ring.size()]]);
        }
      };
      check(polygon);
      for (size_t other = h; other < loops.size(); ++other) check(loops[other]);
      if (blocked) continue;
      const double du = to.u - plane[from].u, dv = to.v - plane[from].v;
      const double distance = du * du + dv * dv;
      if (best == polygon.size() || distance < best_distance) {
        best = k;
        best_distance = distance;
      }
    }
    if (best == polygon.size()) return {};
    std::vector<int32_t> spliced(polygon.begin(), polygon.begin() + best + 1);
    for (size_t i = 0; i <= hole.size(); ++i) spliced.push_back(hole[(start + i) % hole.size()]);
    spliced.insert(spliced.end(), polygon.begin() + best, polygon.end());
    polygon = std::move(spliced);
  }
  std::vector<std::array<int32_t, 3>> triangles;
  while (polygon.size() >= 3) {
    bool clipped = false;
    for (size_t i = 0; i < polygon.size() && !clipped; ++i) {
      const int32_t a = polygon[(i + polygon.size() - 1) % polygon.size()];
      const int32_t b = polygon[i];
      const int32_t c = polygon[(i + 1) % polygon.size()];
      if (Turn(plane[a], plane[b], plane[c]) <= 0) continue;
      bool empty = true;
      for (int32_t p : polygon) {
        if (p == a || p == b || p == c) continue;
        if (InTriangle(plane[p], plane[a], plane[b], plane[c])) empty = false;
      }
      if (!empty) continue;
      triangles.push_back({a, b, c});
      polygon.erase(polygon.begin() + i);
      clipped = true;
    }
    if (!clipped) return {};
  }
  return triangles;
}

}  // namespace

WorkerAnswer FakeFaceMesher::Mesh(const MeshRequest& request) {
  WorkerAnswer answer;
  auto refuse_with = [&](const std::string& line) {
    answer.outcome = CallOutcome::kRefused;
    answer.diagnostics = {line};
    answer.refusal = FindRefusal(answer.diagnostics);
    return answer;
  };
  if (refuse && refuse(request)) {
    return refuse_with("[meshing] BuildPlanarMesh: boundary self-intersects (segments 0 and 1 "
                       "cross) — refusing as degenerate; returning empty");
  }
  PlanarFrame frame;
  if (!BuildFrame(request.points, &request.plane_normal, &frame)) {
    return refuse_with("[meshing] BuildPlanarMesh: BuildFrame failed (degenerate point set: "
                       "collinear or zero-area); returning empty");
  }
  std::vector<PlanePoint> plane = ToPlanePoints(frame, request.points);
  const std::vector<std::vector<int32_t>> loops = Loops(request);

  PlanarComplexMesh& mesh = answer.mesh;
  for (const PlanePoint& p : plane) mesh.vertices.push_back(frame.FromPlane(p));
  for (size_t p = 0; p < request.points.size(); ++p) mesh.point_vertex.push_back(static_cast<int32_t>(p));
  bool convex = loops.size() == 1;
  for (size_t i = 0; convex && i < loops[0].size(); ++i) {
    const auto& loop = loops[0];
    convex = Turn(plane[loop[i]], plane[loop[(i + 1) % loop.size()]],
                  plane[loop[(i + 2) % loop.size()]]) >= -1e-12;
  }
  if (convex) {
    PlanePoint centre{0, 0};
    for (int32_t p : loops[0]) {
      centre.u += plane[p].u / static_cast<double>(loops[0].size());
      centre.v += plane[p].v / static_cast<double>(loops[0].size());
    }
    const int32_t c = static_cast<int32_t>(mesh.vertices.size());
    mesh.vertices.push_back(frame.FromPlane(centre));
    for (size_t i = 0; i < loops[0].size(); ++i) {
      mesh.triangles.push_back({c, loops[0][i], loops[0][(i + 1) % loops[0].size()]});
    }
  } else {
    mesh.triangles = EarClip(loops, plane);
    if (mesh.triangles.empty()) {
      return refuse_with("[meshing] BuildPlanarMesh: Netgen failed to generate a mesh; returning empty");
    }
  }
  mesh.triangle_domains.assign(mesh.triangles.size(), 1);
  for (const BoundarySegment& segment : request.segments) {
    mesh.segment_chains.push_back({segment.point_a, segment.point_b});
  }
  if (break_boundary && break_boundary(request)) {
    const int32_t extra = static_cast<int32_t>(mesh.vertices.size());
    mesh.vertices.push_back(request.points[request.segments[0].point_a]);
    auto& chain = mesh.segment_chains[0];
    chain.insert(chain.begin() + 1, extra);
  }
  answer.outcome = CallOutcome::kSuccess;
  return answer;
}

void FakeFaceMesher::MeshBatch(const std::vector<MeshRequest>& requests, const AnswerCallback& done) {
  for (size_t i = 0; i < requests.size(); ++i) {
    received.push_back(requests[i]);
    if (!done(i, Mesh(requests[i]))) return;
  }
}

}  // namespace test
}  // namespace mesh

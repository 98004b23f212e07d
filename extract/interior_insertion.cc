#include "extract/interior_insertion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "extract/node_mapping.h"

namespace mesh {

namespace {

double Cross(double xu, double xv, double yu, double yv) { return xu * yv - xv * yu; }

// Squared distance from p to the closed segment e1-e2.
double SegmentDistanceSquared(const PlanePoint& p, const PlanePoint& e1,
                              const PlanePoint& e2) {
  const double du = e2.u - e1.u;
  const double dv = e2.v - e1.v;
  const double length_squared = du * du + dv * dv;
  double fu = e1.u;
  double fv = e1.v;
  if (length_squared > 0.0) {
    double t = ((p.u - e1.u) * du + (p.v - e1.v) * dv) / length_squared;
    t = std::min(1.0, std::max(0.0, t));
    fu = e1.u + t * du;
    fv = e1.v + t * dv;
  }
  const double ou = p.u - fu;
  const double ov = p.v - fv;
  return ou * ou + ov * ov;
}

struct Edge {
  int32_t first = -1;
  int32_t second = -1;
};

// The nearest element edge to p: quad edges first, then triangle edges, each
// element's edges in corner order; the first of equally near edges wins.
template <size_t kCorners>
void ScanEdges(const std::vector<std::array<int32_t, kCorners>>& elements,
               const std::vector<PlanePoint>& nodes, const PlanePoint& p,
               double* best_distance_squared, Edge* best) {
  for (const auto& corners : elements) {
    for (size_t j = 0; j < kCorners; ++j) {
      const int32_t e1 = corners[j];
      const int32_t e2 = corners[(j + 1) % kCorners];
      const double d2 = SegmentDistanceSquared(p, nodes[e1], nodes[e2]);
      if (d2 < *best_distance_squared) {
        *best_distance_squared = d2;
        *best = {e1, e2};
      }
    }
  }
}

// Elements that have {g, h} as an edge in either direction, ascending, each
// with the position j of the first such edge (c_j, c_(j+1)).
template <size_t kCorners>
std::vector<std::pair<size_t, size_t>> ElementsWithEdge(
    const std::vector<std::array<int32_t, kCorners>>& elements, const Edge& edge) {
  std::vector<std::pair<size_t, size_t>> found;
  for (size_t e = 0; e < elements.size(); ++e) {
    for (size_t j = 0; j < kCorners; ++j) {
      const int32_t x = elements[e][j];
      const int32_t y = elements[e][(j + 1) % kCorners];
      if ((x == edge.first && y == edge.second) || (x == edge.second && y == edge.first)) {
        found.emplace_back(e, j);
        break;
      }
    }
  }
  return found;
}

template <typename T>
void EraseAt(std::vector<T>* items, size_t index) {
  items->erase(items->begin() + static_cast<std::ptrdiff_t>(index));
}

void AppendTriangle(int32_t a, int32_t b, int32_t c, int32_t domain,
                    PlanarComplexMesh* record) {
  record->triangles.push_back({a, b, c});
  record->triangle_domains.push_back(domain);
}

int32_t SplitEdge(const PlanePoint& p, const Edge& edge, const PlanarFrame& frame,
                  std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record) {
  const auto quads = ElementsWithEdge(record->quads, edge);
  const auto triangles = ElementsWithEdge(record->triangles, edge);
  // The vertex stays at the caller's point rather than moving onto the
  // edge: the caller asked for a vertex there.
  const int32_t n = AppendVertex(p, frame, mesh_nodes, record);
  // Each element that has the edge becomes a fan from n over its other
  // edges.
  for (const auto& [index, j] : quads) {
    const std::array<int32_t, 4> c = record->quads[index];
    const int32_t domain = record->quad_domains[index];
    AppendTriangle(n, c[(j + 1) % 4], c[(j + 2) % 4], domain, record);
    AppendTriangle(n, c[(j + 2) % 4], c[(j + 3) % 4], domain, record);
    AppendTriangle(n, c[(j + 3) % 4], c[j], domain, record);
  }
  for (const auto& [index, j] : triangles) {
    const std::array<int32_t, 3> c = record->triangles[index];
    const int32_t domain = record->triangle_domains[index];
    AppendTriangle(n, c[(j + 1) % 3], c[(j + 2) % 3], domain, record);
    AppendTriangle(n, c[(j + 2) % 3], c[j], domain, record);
  }
  // Highest index first, so the indices still to remove stay valid.
  for (auto it = quads.rbegin(); it != quads.rend(); ++it) {
    EraseAt(&record->quads, it->first);
    EraseAt(&record->quad_domains, it->first);
  }
  for (auto it = triangles.rbegin(); it != triangles.rend(); ++it) {
    EraseAt(&record->triangles, it->first);
    EraseAt(&record->triangle_domains, it->first);
  }
  return n;
}

}  // namespace

CaptureTolerances InteriorCaptureTolerances(double smallest_target_size) {
  CaptureTolerances tolerances;
  tolerances.node = std::max(0.005, 0.05 * smallest_target_size);
  tolerances.edge = std::max(0.002, 0.02 * smallest_target_size);
  return tolerances;
}

int32_t AppendVertex(const PlanePoint& p, const PlanarFrame& frame,
                     std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record) {
  const int32_t index = static_cast<int32_t>(mesh_nodes->size());
  mesh_nodes->push_back(p);
  record->vertices.push_back(frame.FromPlane(p));
  return index;
}

bool TriangleContains(const PlanePoint& p1, const PlanePoint& p2, const PlanePoint& p3,
                      const PlanePoint& p) {
  const double r = Cross(p2.u - p1.u, p2.v - p1.v, p3.u - p1.u, p3.v - p1.v);
  if (r == 0.0) return false;
  const double epsilon = std::abs(r) * 1e-9;
  const double e1 = Cross(p2.u - p1.u, p2.v - p1.v, p.u - p1.u, p.v - p1.v);
  const double e2 = Cross(p3.u - p2.u, p3.v - p2.v, p.u - p2.u, p.v - p2.v);
  const double e3 = Cross(p1.u - p3.u, p1.v - p3.v, p.u - p3.u, p.v - p3.v);
  if (r > 0.0) return e1 >= -epsilon && e2 >= -epsilon && e3 >= -epsilon;
  return e1 <= epsilon && e2 <= epsilon && e3 <= epsilon;
}

int32_t InsertInteriorPoint(const PlanePoint& p, const PlanarFrame& frame,
                            double smallest_target_size,
                            std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record) {
  const CaptureTolerances tolerances = InteriorCaptureTolerances(smallest_target_size);
  const std::vector<PlanePoint>& nodes = *mesh_nodes;

  // Vertices added by earlier insertions count too, so points a few
  // millimetres apart share one vertex instead of making slivers.
  const NearestNode nearest = FindNearestNode(nodes, p);
  if (nearest.index >= 0 &&
      nearest.distance_squared <= tolerances.node * tolerances.node) {
    return nearest.index;
  }

  double best_edge_distance_squared = std::numeric_limits<double>::max();
  Edge best_edge;
  ScanEdges(record->quads, nodes, p, &best_edge_distance_squared, &best_edge);
  ScanEdges(record->triangles, nodes, p, &best_edge_distance_squared, &best_edge);
  if (best_edge.first >= 0 &&
      best_edge_distance_squared <= tolerances.edge * tolerances.edge) {
    return SplitEdge(p, best_edge, frame, mesh_nodes, record);
  }

  for (size_t q = 0; q < record->quads.size(); ++q) {
    const std::array<int32_t, 4> c = record->quads[q];
    if (!TriangleContains(nodes[c[0]], nodes[c[1]], nodes[c[2]], p) &&
        !TriangleContains(nodes[c[0]], nodes[c[2]], nodes[c[3]], p)) {
      continue;
    }
    const int32_t domain = record->quad_domains[q];
    const int32_t n = AppendVertex(p, frame, mesh_nodes, record);
    for (size_t j = 0; j < 4; ++j) AppendTriangle(c[j], c[(j + 1) % 4], n, domain, record);
    EraseAt(&record->quads, q);
    EraseAt(&record->quad_domains, q);
    return n;
  }
  for (size_t t = 0; t < record->triangles.size(); ++t) {
    const std::array<int32_t, 3> c = record->triangles[t];
    if (!TriangleContains(nodes[c[0]], nodes[c[1]], nodes[c[2]], p)) continue;
    const int32_t domain = record->triangle_domains[t];
    const int32_t n = AppendVertex(p, frame, mesh_nodes, record);
    for (size_t j = 0; j < 3; ++j) AppendTriangle(c[j], c[(j + 1) % 3], n, domain, record);
    EraseAt(&record->triangles, t);
    EraseAt(&record->triangle_domains, t);
    return n;
  }
  return -1;
}

}  // namespace mesh

#include "extract/plain_interior_insertion_testing.h"

#include <array>
#include <cstddef>
#include <limits>
#include <utility>

#include "extract/node_mapping.h"

namespace mesh {

namespace {

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
  std::vector<int32_t> domains;
  for (const auto& quad : quads) domains.push_back(record->quad_domains[quad.first]);
  for (const auto& triangle : triangles) {
    domains.push_back(record->triangle_domains[triangle.first]);
  }
  const PlanePoint at = SplitVertexPosition(p, (*mesh_nodes)[edge.first],
                                            (*mesh_nodes)[edge.second], domains);
  const int32_t n = AppendVertex(at, frame, mesh_nodes, record);
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

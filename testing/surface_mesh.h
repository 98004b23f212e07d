// A SurfaceMesh held in plain arrays, so the extraction can be tested on
// hand-made meshes without the mesher.
#ifndef MESH_WORKER_TESTING_SURFACE_MESH_H_
#define MESH_WORKER_TESTING_SURFACE_MESH_H_

#include <cstddef>
#include <vector>

#include "planar/surface_mesh.h"

namespace mesh {
namespace test {

class TestSurfaceMesh : public SurfaceMesh {
 public:
  // Node number k is nodes[k - 1].
  std::vector<PlanePoint> nodes;
  std::vector<SurfaceElement> elements;
  std::vector<BoundaryEdge> boundary_edges;

  void AddQuad(int32_t n1, int32_t n2, int32_t n3, int32_t n4, int32_t domain) {
    elements.push_back({4, {n1, n2, n3, n4}, domain});
  }
  void AddTriangle(int32_t n1, int32_t n2, int32_t n3, int32_t domain) {
    elements.push_back({3, {n1, n2, n3, 0}, domain});
  }

  // Request segment `spline` divided at `nodes` (node numbers, from point_a
  // to point_b), evenly along it as far as the positions go.
  void AddBoundaryChain(int32_t spline, const std::vector<int32_t>& nodes) {
    const double pieces = static_cast<double>(nodes.size() - 1);
    for (size_t j = 0; j + 1 < nodes.size(); ++j) {
      boundary_edges.push_back({spline, {nodes[j], nodes[j + 1]}, {j / pieces, (j + 1) / pieces}});
    }
  }

  int32_t NodeCount() const override { return static_cast<int32_t>(nodes.size()); }
  PlanePoint Node(int32_t number) const override { return nodes[number - 1]; }
  size_t ElementCount() const override { return elements.size(); }
  SurfaceElement Element(size_t index) const override { return elements[index]; }
  size_t BoundaryEdgeCount() const override { return boundary_edges.size(); }
  BoundaryEdge BoundaryEdgeAt(size_t index) const override { return boundary_edges[index]; }
};

}  // namespace test
}  // namespace mesh

#endif  // MESH_WORKER_TESTING_SURFACE_MESH_H_

#include "testing/shapes.h"

#include "testing/loops.h"

namespace mesh {
namespace test {

MeshRequest UnitSquareRequest(double target_size, int32_t domain) {
  MeshRequest request;
  AddLoop(&request, Square(0, 0, 1), domain, 0);
  request.target_size = target_size;
  return request;
}

MeshRequest TwoDomainRectangleRequest(double target_size) {
  MeshRequest request;
  request.points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {0, 1, 0}};
  request.segments = {{0, 1, 1, 0}, {1, 2, 2, 0}, {2, 3, 2, 0}, {3, 4, 2, 0},
                      {4, 5, 1, 0}, {5, 0, 1, 0}, {1, 4, 1, 2}};
  request.target_size = target_size;
  return request;
}

PlanarComplexMesh OneQuadMesh() {
  PlanarComplexMesh mesh;
  mesh.vertices = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}};
  mesh.quads = {{0, 1, 2, 3}};
  mesh.point_vertex = {0, 1, 2, 3};
  mesh.quad_domains = {1};
  mesh.segment_chains = {{0, 1}, {1, 2}, {2, 3}, {3, 0}};
  return mesh;
}

}  // namespace test
}  // namespace mesh

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

MeshRequest FieldRoofRunningBackAlongItself() {
  MeshRequest roof;
  roof.points = {{90996.11, 435658.347, 15.441},  {90983.812, 435654.378, 15.441},
                 {90987.035, 435655.418, 15.441}, {90991.271, 435643.417, 15.441},
                 {90988.797, 435638.659, 15.441}, {90988.791, 435638.657, 15.441},
                 {90990.16, 435634.522, 15.441},  {91001.57, 435638.51, 15.441},
                 {91002.419, 435640.34, 15.441},  {90997.728, 435653.729, 15.441},
                 {90996.528, 435657.155, 15.441}};
  for (int32_t i = 0; i < 11; ++i) roof.segments.push_back({i, (i + 1) % 11, 1, 0});
  roof.target_size = 0.5;
  return roof;
}

MeshRequest FieldOutlinePinchedAroundAHole() {
  MeshRequest pinched;
  AddLoop(&pinched,
          {{1888, 5504}, {1872, 5504}, {1872, 5536}, {1856, 5536}, {1856, 5520}, {1840, 5520},
           {1840, 5504}, {1856, 5504}, {1856, 5520}, {1872, 5520}, {1872, 5504}},
          1, 0);
  AddLoop(&pinched, {{1856, 5520}, {1856, 5536}, {1872, 5536}, {1872, 5520}}, 1, 0);
  pinched.target_size = 1.44;
  return pinched;
}

}  // namespace test
}  // namespace mesh

// Fuzzes the result payload decoder a parent uses on the worker's answers.
// A rejected payload leaves the record untouched; an accepted one re-encodes
// to exactly the same bytes, and the size the encoder predicts is its size.
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/fuzz_check.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {
namespace {

PlanarComplexMesh Sentinel() {
  PlanarComplexMesh mesh;
  mesh.vertices = {{1, 2, 3}};
  mesh.triangles = {{-1, -2, -3}};
  mesh.triangle_domains = {-4};
  mesh.point_vertex = {-5};
  mesh.segment_chains = {{-6}, {}};
  return mesh;
}

}  // namespace
}  // namespace mesh

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace mesh;
  const PlanarComplexMesh sentinel = Sentinel();
  PlanarComplexMesh mesh = sentinel;
  if (!DecodePlanarComplexMesh(data, size, &mesh)) {
    FUZZ_CHECK(SameMesh(mesh, sentinel));
    return 0;
  }
  FUZZ_CHECK(mesh.quad_domains.size() == mesh.quads.size());
  FUZZ_CHECK(mesh.triangle_domains.size() == mesh.triangles.size());
  FUZZ_CHECK(EncodedPlanarComplexMeshSize(mesh) == size);
  const std::string encoded = EncodePlanarComplexMesh(mesh);
  FUZZ_CHECK(encoded == std::string(reinterpret_cast<const char*>(data), size));
  return 0;
}

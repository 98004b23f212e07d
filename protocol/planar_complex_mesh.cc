#include "protocol/planar_complex_mesh.h"

#include <utility>

#include "protocol/coding.h"

namespace mesh {

namespace {

void PutInt32Array(std::string* dst, const std::vector<int32_t>& values) {
  PutFixed64(dst, values.size());
  for (int32_t value : values) PutInt32(dst, value);
}

bool GetInt32Array(ByteReader* reader, std::vector<int32_t>* values) {
  uint64_t count;
  if (!reader->GetCount(4, &count)) return false;
  values->resize(count);
  for (int32_t& value : *values) reader->GetInt32(&value);
  return true;
}

template <size_t N>
bool GetElements(ByteReader* reader, std::vector<std::array<int32_t, N>>* elements) {
  uint64_t count;
  if (!reader->GetCount(4 * N, &count)) return false;
  elements->resize(count);
  for (auto& element : *elements) {
    for (int32_t& corner : element) reader->GetInt32(&corner);
  }
  return true;
}

}  // namespace

size_t EncodedPlanarComplexMeshSize(const PlanarComplexMesh& mesh) {
  size_t size = 57 + 24 * mesh.vertices.size() + 20 * mesh.quads.size() +
                16 * mesh.triangles.size() + 4 * mesh.point_vertex.size();
  for (const auto& chain : mesh.segment_chains) size += 8 + 4 * chain.size();
  return size;
}

std::string EncodePlanarComplexMesh(const PlanarComplexMesh& mesh) {
  std::string out;
  out.reserve(EncodedPlanarComplexMeshSize(mesh));
  PutUint8(&out, kPlanarComplexMeshVersion);
  PutFixed64(&out, mesh.vertices.size());
  for (const Point3& vertex : mesh.vertices) {
    PutDouble(&out, vertex.x);
    PutDouble(&out, vertex.y);
    PutDouble(&out, vertex.z);
  }
  PutFixed64(&out, mesh.quads.size());
  for (const auto& quad : mesh.quads) {
    for (int32_t corner : quad) PutInt32(&out, corner);
  }
  PutFixed64(&out, mesh.triangles.size());
  for (const auto& triangle : mesh.triangles) {
    for (int32_t corner : triangle) PutInt32(&out, corner);
  }
  PutInt32Array(&out, mesh.point_vertex);
  PutInt32Array(&out, mesh.quad_domains);
  PutInt32Array(&out, mesh.triangle_domains);
  PutFixed64(&out, mesh.segment_chains.size());
  for (const auto& chain : mesh.segment_chains) PutInt32Array(&out, chain);
  return out;
}

bool DecodePlanarComplexMesh(const void* data, size_t length,
                             PlanarComplexMesh* mesh) {
  ByteReader reader(data, length);
  uint8_t version;
  if (!reader.GetUint8(&version) || version != kPlanarComplexMeshVersion) {
    return false;
  }
  PlanarComplexMesh staged;
  uint64_t count;
  if (!reader.GetCount(24, &count)) return false;
  staged.vertices.resize(count);
  for (Point3& vertex : staged.vertices) {
    reader.GetDouble(&vertex.x);
    reader.GetDouble(&vertex.y);
    reader.GetDouble(&vertex.z);
  }
  if (!GetElements(&reader, &staged.quads)) return false;
  if (!GetElements(&reader, &staged.triangles)) return false;
  if (!GetInt32Array(&reader, &staged.point_vertex)) return false;
  if (!GetInt32Array(&reader, &staged.quad_domains)) return false;
  if (!GetInt32Array(&reader, &staged.triangle_domains)) return false;
  if (staged.quad_domains.size() != staged.quads.size() ||
      staged.triangle_domains.size() != staged.triangles.size()) {
    return false;
  }
  // Each chain takes at least its 8-byte length, which bounds the count.
  if (!reader.GetCount(8, &count)) return false;
  staged.segment_chains.resize(count);
  for (auto& chain : staged.segment_chains) {
    if (!GetInt32Array(&reader, &chain)) return false;
  }
  if (!reader.at_end()) return false;
  *mesh = std::move(staged);
  return true;
}

}  // namespace mesh

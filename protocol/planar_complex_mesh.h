// The result of one mesh job: the mesh in the caller's 3-D space, tied back to
// the caller's point and segment numbering, and its binary payload (version 3).
#ifndef MESH_WORKER_PROTOCOL_PLANAR_COMPLEX_MESH_H_
#define MESH_WORKER_PROTOCOL_PLANAR_COMPLEX_MESH_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

// All seven arrays empty stands for a failed job; the request loop looks only
// at `vertices` to tell.
struct PlanarComplexMesh {
  std::vector<Point3> vertices;
  std::vector<std::array<int32_t, 4>> quads;
  std::vector<std::array<int32_t, 3>> triangles;
  // One entry per request point: the vertex that stands for it.
  std::vector<int32_t> point_vertex;
  std::vector<int32_t> quad_domains;
  std::vector<int32_t> triangle_domains;
  // One chain per request segment, from point_vertex[point_a] to
  // point_vertex[point_b].
  std::vector<std::vector<int32_t>> segment_chains;
};

constexpr uint8_t kPlanarComplexMeshVersion = 3;

// Exact size of the payload EncodePlanarComplexMesh writes for `mesh`.
size_t EncodedPlanarComplexMeshSize(const PlanarComplexMesh& mesh);

// Encodes any record, checking nothing: each count is its array's length.
std::string EncodePlanarComplexMesh(const PlanarComplexMesh& mesh);

// The inverse, for parents: true only for a well-formed payload of exactly
// `length` bytes whose domain arrays match their element arrays; on false
// `*mesh` is left untouched. Index ranges are the caller's business.
bool DecodePlanarComplexMesh(const void* data, size_t length,
                             PlanarComplexMesh* mesh);

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_PLANAR_COMPLEX_MESH_H_

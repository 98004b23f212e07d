// The mesh request: the record a parent sends for one planar region, and its
// binary payload (version 3, or version 4 when an option is set).
#ifndef MESH_WORKER_PROTOCOL_MESH_REQUEST_H_
#define MESH_WORKER_PROTOCOL_MESH_REQUEST_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace mesh {

// A point in the caller's 3-D space, in metres.
struct Point3 {
  double x = 0.0;
  double y = 0.0;
  double z = 0.0;
};

// One boundary segment from point_a to point_b. Domain 0 is the outside;
// left and right are taken in the direction point_a -> point_b.
struct BoundarySegment {
  int32_t point_a = 0;
  int32_t point_b = 0;
  int32_t left_domain = 0;
  int32_t right_domain = 0;
};

struct MeshRequest {
  std::vector<Point3> points;
  std::vector<BoundarySegment> segments;
  std::vector<int32_t> interior_only;
  double target_size = 0.0;
  // Entry k belongs to domain k + 1; 0 or less means "use target_size".
  std::vector<double> domain_target_sizes;
  // The zero vector means no normal was given.
  Point3 plane_normal;
  bool prefer_quads = true;
  // Bits of kMeshRequestOptions; a bit the worker does not support
  // (kSupportedOptions) is refused before meshing.
  uint32_t options = 0;
};

// Every request segment is exactly one edge of the mesh: no vertex is placed
// between its ends, so faces that share the segment agree on it.
constexpr uint32_t kKeepBoundary = 1u << 0;
// Every element of the answer is a quad.
constexpr uint32_t kAllQuads = 1u << 1;
constexpr uint32_t kMeshRequestOptions = kKeepBoundary | kAllQuads;
// The bits this worker implements; it refuses a request with any other.
constexpr uint32_t kSupportedOptions = kKeepBoundary | kAllQuads;

// Version 3 has no options; version 4 is version 3 followed by `options`, a
// uint32. The encoder writes version 3 whenever no option is set, so that a
// worker that knows only version 3 still reads every plain request.
constexpr uint8_t kMeshRequestVersion = 3;
constexpr uint8_t kMeshRequestWithOptionsVersion = 4;

// Decodes a request payload of version 3 or 4. Returns true only for a
// well-formed payload of exactly `length` bytes; on false `*request` is left
// untouched. Judges form only, never values: NaNs, bad indices, odd domain
// numbers and unknown option bits all decode.
bool DecodeMeshRequest(const void* data, size_t length, MeshRequest* request);

// The inverse of DecodeMeshRequest, for parents and tests. prefer_quads is
// written as 1 or 0; version 3 when options is 0, version 4 otherwise.
std::string EncodeMeshRequest(const MeshRequest& request);

}  // namespace mesh

#endif  // MESH_WORKER_PROTOCOL_MESH_REQUEST_H_

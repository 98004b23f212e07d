#include "protocol/mesh_request.h"

#include <utility>

#include "protocol/coding.h"

namespace mesh {

namespace {

bool GetPoint3(ByteReader* reader, Point3* point) {
  return reader->GetDouble(&point->x) && reader->GetDouble(&point->y) &&
         reader->GetDouble(&point->z);
}

void PutPoint3(std::string* dst, const Point3& point) {
  PutDouble(dst, point.x);
  PutDouble(dst, point.y);
  PutDouble(dst, point.z);
}

}  // namespace

bool DecodeMeshRequest(const void* data, size_t length, MeshRequest* request) {
  ByteReader reader(data, length);
  uint8_t version;
  if (!reader.GetUint8(&version) ||
      (version != kMeshRequestVersion && version != kMeshRequestWithOptionsVersion)) {
    return false;
  }

  MeshRequest staged;
  uint64_t count;

  if (!reader.GetCount(24, &count)) return false;
  staged.points.resize(count);
  for (Point3& point : staged.points) GetPoint3(&reader, &point);

  if (!reader.GetCount(16, &count)) return false;
  staged.segments.resize(count);
  for (BoundarySegment& segment : staged.segments) {
    reader.GetInt32(&segment.point_a);
    reader.GetInt32(&segment.point_b);
    reader.GetInt32(&segment.left_domain);
    reader.GetInt32(&segment.right_domain);
  }

  if (!reader.GetCount(4, &count)) return false;
  staged.interior_only.resize(count);
  for (int32_t& index : staged.interior_only) reader.GetInt32(&index);

  if (!reader.GetDouble(&staged.target_size)) return false;

  if (!reader.GetCount(8, &count)) return false;
  staged.domain_target_sizes.resize(count);
  for (double& size : staged.domain_target_sizes) reader.GetDouble(&size);

  uint8_t prefer_quads;
  if (!reader.GetUint8(&prefer_quads)) return false;
  staged.prefer_quads = prefer_quads != 0;
  if (!GetPoint3(&reader, &staged.plane_normal)) return false;
  if (version == kMeshRequestWithOptionsVersion && !reader.GetFixed32(&staged.options)) {
    return false;
  }

  if (!reader.at_end()) return false;
  *request = std::move(staged);
  return true;
}

std::string EncodeMeshRequest(const MeshRequest& request) {
  const bool with_options = request.options != 0;
  std::string out;
  out.reserve(66 + (with_options ? 4 : 0) + 24 * request.points.size() +
              16 * request.segments.size() + 4 * request.interior_only.size() +
              8 * request.domain_target_sizes.size());
  PutUint8(&out, with_options ? kMeshRequestWithOptionsVersion : kMeshRequestVersion);
  PutFixed64(&out, request.points.size());
  for (const Point3& point : request.points) PutPoint3(&out, point);
  PutFixed64(&out, request.segments.size());
  for (const BoundarySegment& segment : request.segments) {
    PutInt32(&out, segment.point_a);
    PutInt32(&out, segment.point_b);
    PutInt32(&out, segment.left_domain);
    PutInt32(&out, segment.right_domain);
  }
  PutFixed64(&out, request.interior_only.size());
  for (int32_t index : request.interior_only) PutInt32(&out, index);
  PutDouble(&out, request.target_size);
  PutFixed64(&out, request.domain_target_sizes.size());
  for (double size : request.domain_target_sizes) PutDouble(&out, size);
  PutUint8(&out, request.prefer_quads ? 1 : 0);
  PutPoint3(&out, request.plane_normal);
  if (with_options) PutFixed32(&out, request.options);
  return out;
}

}  // namespace mesh

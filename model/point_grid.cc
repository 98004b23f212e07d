#include "model/point_grid.h"

#include <algorithm>
#include <cmath>

#include "model/vec3.h"

namespace mesh {

size_t PointGrid::KeyHash::operator()(const Key& key) const {
  uint64_t h = static_cast<uint64_t>(key.x) * 0x9E3779B97F4A7C15ull;
  h ^= static_cast<uint64_t>(key.y) * 0xC2B2AE3D27D4EB4Full + (h << 6) + (h >> 2);
  h ^= static_cast<uint64_t>(key.z) * 0x165667B19E3779F9ull + (h << 6) + (h >> 2);
  return static_cast<size_t>(h);
}

int64_t PointGrid::CellOf(double coordinate) const {
  // Coordinates far beyond any real model would overflow the cell number;
  // clamped, they share the outermost cells, which costs time, not answers.
  const double cell = std::floor(coordinate / cell_);
  constexpr double kLimit = 4e18;
  return static_cast<int64_t>(std::max(-kLimit, std::min(kLimit, cell)));
}

PointGrid::Key PointGrid::KeyOf(const Point3& point) const {
  return {CellOf(point.x), CellOf(point.y), CellOf(point.z)};
}

void PointGrid::Insert(const Point3& point, int32_t id) { cells_[KeyOf(point)].push_back(id); }

void PointGrid::ForEachNear(const Point3& point, const std::function<void(int32_t)>& visit) const {
  const Key centre = KeyOf(point);
  for (int64_t dx = -1; dx <= 1; ++dx) {
    for (int64_t dy = -1; dy <= 1; ++dy) {
      for (int64_t dz = -1; dz <= 1; ++dz) {
        auto found = cells_.find({centre.x + dx, centre.y + dy, centre.z + dz});
        if (found == cells_.end()) continue;
        for (int32_t id : found->second) visit(id);
      }
    }
  }
}

void PointGrid::ForEachAlongSegment(const Point3& a, const Point3& b,
                                    const std::function<void(int32_t)>& visit) const {
  // Samples at most half a cell apart: a point within cell / 2 of the
  // segment is within cell / 2 + cell / 4 of the nearest sample, so in one
  // of the 27 cubes around that sample's.
  const double length = std::sqrt(DistanceSquared(a, b));
  const size_t steps = static_cast<size_t>(std::ceil(length / (cell_ / 2)));
  std::vector<int32_t> ids;
  for (size_t i = 0; i <= steps; ++i) {
    const double t = steps == 0 ? 0.0 : static_cast<double>(i) / static_cast<double>(steps);
    ForEachNear(Add(a, Scale(Sub(b, a), t)), [&](int32_t id) { ids.push_back(id); });
  }
  std::sort(ids.begin(), ids.end());
  ids.erase(std::unique(ids.begin(), ids.end()), ids.end());
  for (int32_t id : ids) visit(id);
}

}  // namespace mesh

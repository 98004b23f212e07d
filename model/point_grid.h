// PointGrid: a hash of points by the cube of a uniform grid they fall in,
// for finding the points near a point or along a segment without comparing
// every pair.
#ifndef MESH_WORKER_MODEL_POINT_GRID_H_
#define MESH_WORKER_MODEL_POINT_GRID_H_

#include <cstdint>
#include <functional>
#include <unordered_map>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

class PointGrid {
 public:
  // `cell` > 0: the edge of the grid's cubes.
  explicit PointGrid(double cell) : cell_(cell) {}

  // Only finite points may be inserted.
  void Insert(const Point3& point, int32_t id);

  // Calls `visit` for every id in the 27 cubes around the one holding
  // `point`: every id whose point is within `cell` of it on each axis, and
  // others. Each id once.
  void ForEachNear(const Point3& point, const std::function<void(int32_t)>& visit) const;

  // Calls `visit` for every id within cell / 2 of the segment a-b, and
  // others; each id once, in increasing order. Costs in proportion to the
  // segment's length in cells.
  void ForEachAlongSegment(const Point3& a, const Point3& b,
                           const std::function<void(int32_t)>& visit) const;

 private:
  struct Key {
    int64_t x, y, z;
    bool operator==(const Key& other) const {
      return x == other.x && y == other.y && z == other.z;
    }
  };
  struct KeyHash {
    size_t operator()(const Key& key) const;
  };

  Key KeyOf(const Point3& point) const;
  int64_t CellOf(double coordinate) const;

  const double cell_;
  std::unordered_map<Key, std::vector<int32_t>, KeyHash> cells_;
};

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_POINT_GRID_H_

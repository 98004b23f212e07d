// How fine the mesher should mesh around each interior-only point, so that
// the mesh has a vertex close enough to each point to be moved onto it, and
// one for each of two points that lie close together. Also the process-wide
// switch back to the older placement (no finer mesh, the point split into
// the element it falls in), which only the benchmarks turn, to show what
// the shaped placement buys.
#ifndef MESH_WORKER_PLANAR_INTERIOR_POINT_SIZES_H_
#define MESH_WORKER_PLANAR_INTERIOR_POINT_SIZES_H_

#include <vector>

#include "planar/polygon_geometry.h"
#include "protocol/mesh_request.h"

namespace mesh {

// A request point and the element size wanted around it, in plane
// coordinates and metres.
struct PointSize {
  PlanePoint at;
  double size = 0.0;
};

// One entry per interior-only point (listed once, in range), in the order
// of `interior_only`: the smallest target size, lowered to half the distance
// to the nearest other interior-only point and to the nearest request
// segment, so that the elements there stay about as wide as the gap they
// fill. Above kSizeScanLimit point-segment pairs only the target size is
// used: the scan would then cost more than the meshing it shapes.
std::vector<PointSize> InteriorPointSizes(const MeshRequest& request,
                                          const std::vector<PlanePoint>& plane_points);

constexpr double kSizeScanLimit = 2e7;

// False while a benchmark measures the older placement, or a test checks
// the split insertion by itself. The worker never turns it off.
bool InteriorPointsShaped();
void SetInteriorPointsShaped(bool shaped);

// The older placement for as long as it lives.
class ScopedSplitInsertion {
 public:
  ScopedSplitInsertion() : was_(InteriorPointsShaped()) { SetInteriorPointsShaped(false); }
  ~ScopedSplitInsertion() { SetInteriorPointsShaped(was_); }
  ScopedSplitInsertion(const ScopedSplitInsertion&) = delete;
  ScopedSplitInsertion& operator=(const ScopedSplitInsertion&) = delete;

 private:
  bool was_;
};

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_INTERIOR_POINT_SIZES_H_

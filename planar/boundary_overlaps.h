// The check that no boundary lies on itself: two segments running along each
// other, or a ring touching itself where it passes one spot twice. The
// mesher takes both for two separate edges or vertices at one place and
// either fails after long work or never stops. Kept apart from the other
// boundary checks for the grid it searches with.
#ifndef MESH_WORKER_PLANAR_BOUNDARY_OVERLAPS_H_
#define MESH_WORKER_PLANAR_BOUNDARY_OVERLAPS_H_

#include <optional>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// How close two boundary parts may come before they are one to the mesher:
// the snap tolerance (points closer are one point to both stages), or the
// coordinates' rounding where that is coarser (closer than it the worker
// cannot tell them apart at all).
double TouchTolerance(const MeshRequest& request);

// Refuses, for the first pair of segments (i < j, by i then j) where either
// is found:
//  - an overlap: a stretch of one segment, at least r long, lies within w of
//    the other and beside it (not beyond its ends), where r is the smaller of
//    the smallest target size and half the shorter segment, and w is a
//    thousandth of r or TouchTolerance if larger. Two segments meeting at an
//    angle under about 0.06 degrees run along each other so; at such an
//    angle the strip between them stays under a thousandth of an element
//    wide for an element's length, and no element of any shape the mesher
//    accepts fits in it. Tying w to r rather than to the target size alone
//    keeps boundaries far smaller than the target size (a circle of 1e-6 m
//    at target size 1e-3) from looking like overlaps.
//  - a touch, between segments of one ring (connected through shared point
//    indices): an end of one, other than an end they share, within
//    TouchTolerance of the other. A hole touching its outline at one point
//    is a separate ring and passes; so does a ring passing the same point
//    index twice, which the mesher takes as one vertex.
// One segment with a domain on each side is one edge, not two; only
// separate segments can overlap, except an inner cut of one domain given as
// a segment each way, which the mesher takes as the cut it is. Pairs are found through a grid over the
// boundary's box, so that a boundary at the segment cap is checked in
// milliseconds. Expects a request that passed CheckRequest.
std::optional<StageRefusal> CheckBoundaryOverlaps(const MeshRequest& request,
                                                  const std::vector<PlanePoint>& plane_points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_BOUNDARY_OVERLAPS_H_

// Checks that refuse a boundary the mesher cannot handle sensibly: loops that
// enclose no area, a region too wide, too many segments, segments that
// cross, domains whose boundary is open, and domains that lie on the outer
// side of their boundary (loops turned the wrong way are loop_orientation.h's).
// Each returns its refusal, or none when the boundary passes. All of them
// expect a request that passed CheckRequest (every index valid).
#ifndef MESH_WORKER_PLANAR_BOUNDARY_CHECKS_H_
#define MESH_WORKER_PLANAR_BOUNDARY_CHECKS_H_

#include <cstddef>
#include <optional>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// The self-intersection test is quadratic in the segment count; this bounds
// its work.
constexpr size_t kSegmentCap = 2000;

// Sets `*boundary_area` to the boundary area vector of the outer segments
// (those with right_domain 0): Newell's formula over each outer segment in
// its own direction, relative to the centre of their bounding box. For
// closed loops its length is twice the net enclosed area, so it doubles as
// the plane normal the outline implies. It is zero when there are no outer
// segments, and then the check passes. Otherwise refuses a vector shorter
// than max(1e-9 * squared box diagonal, 1e-12): collinear loops, slits, or
// openings that cancel the outline. Works on the 3-D points, before any
// plane is known.
std::optional<StageRefusal> CheckEnclosedArea(const MeshRequest& request, Point3* boundary_area);

// Refuses the first segment whose ends lie closer than `snap_tolerance` in
// the plane, though the request checks found them far enough apart in 3-D:
// the plane is steep to the segment, or a given normal lies nearly in the
// region's own plane. Netgen sizes its elements along a spline by the
// spline's length, and a spline of length 0 sends its mesh-size tree into an
// endless subdivision that overflows the stack.
std::optional<StageRefusal> CheckPlaneSegmentLengths(const std::vector<BoundarySegment>& segments,
                                                     const std::vector<PlanePoint>& plane_points,
                                                     double snap_tolerance);

// Refuses more than kSegmentCap segments.
std::optional<StageRefusal> CheckSegmentCap(size_t segment_count);

// The widest region the mesher is given, in metres (a million kilometres).
// Netgen's 2-D mesher starts its smallest-element guess at 1e8 m, so it
// cannot place elements much larger than that without relaxing its quality
// class step by step: regions of 1e12 m crawl, larger ones fail, and beyond
// about 1e38 m its local-size tree recurses on overflowed values until the
// stack runs out.
constexpr double kMaxPlaneExtent = 1e9;

// Refuses plane coordinates whose bounding box has a diagonal longer than
// kMaxPlaneExtent. Every point counts, interior-only and unused ones too.
std::optional<StageRefusal> CheckPlaneExtent(const std::vector<PlanePoint>& plane_points);

// Refuses a region too far from the origin for the elements it asks for.
// No element is longer than twice the largest target size (the request's or
// any domain's), nor than the region's span in the plane; when even that
// length is under five times CoordinateRounding of the largest coordinate,
// neighbouring vertices would land on the same or next doubles in 3-D and
// the elements collapse. A building at UTM coordinates (5e6 m) rounds by
// about 7e-8 m, so millimetre elements there are far inside the limit.
std::optional<StageRefusal> CheckCoordinateResolution(const MeshRequest& request,
                                                      const std::vector<PlanePoint>& plane_points);

// Refuses the first pair (i < j, by i then j) of segments that properly cross
// in the plane. Pairs sharing an endpoint index are skipped; touching,
// collinear overlap and coincident points are not crossings. The orientation
// tests are exact, with no tolerance.
std::optional<StageRefusal> CheckNoSelfIntersection(const std::vector<BoundarySegment>& segments,
                                                    const std::vector<PlanePoint>& plane_points);

// Refuses a domain d >= 1 whose boundary is not closed: taking each segment
// with left_domain d as the edge point_a -> point_b and each with
// right_domain d as point_b -> point_a, some point must have as many edges of
// d leaving it as arriving. The mesher never returns on an open domain. The
// first open domain (lowest d, then lowest point index) is reported.
std::optional<StageRefusal> CheckDomainBoundariesClosed(
    const std::vector<BoundarySegment>& segments);

// Refuses a domain d >= 1 whose closed boundary, directed as above, has a
// negative signed area in the plane: d is then on the unbounded side of its
// boundary, and the mesher would fill the plane around it without end. A
// domain whose boundary encloses (near-)zero area is refused too, by the
// enclosed-area check's threshold on its own box in the plane: one named only
// on segments that have it on both sides has nothing to stop the mesher
// either, and a sliver keeps it busy as long. The first such domain (lowest
// d) is reported with its signed area. Meant to run after
// CheckDomainBoundariesClosed.
std::optional<StageRefusal> CheckDomainOrientation(const std::vector<BoundarySegment>& segments,
                                                   const std::vector<PlanePoint>& plane_points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_BOUNDARY_CHECKS_H_

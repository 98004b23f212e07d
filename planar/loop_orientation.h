// The check that every closed boundary loop turns the right way round for
// where it lies: a hole drawn the same way round as its outline claims the
// domain around it twice, and the mesher runs and fails on it. Kept apart
// from the other boundary checks for the loop tracing and ray probing it
// needs.
#ifndef MESH_WORKER_PLANAR_LOOP_ORIENTATION_H_
#define MESH_WORKER_PLANAR_LOOP_ORIENTATION_H_

#include <optional>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// Refuses a closed loop that runs the wrong way round for where it lies. A
// loop here is a closed walk over segments that all separate the same two
// domains; where such segments meet more than two at a point (a hole
// touching the outline there), they are paired around the point so that no
// two walks cross. Whatever lies around a loop (the domain the other
// segments' boundaries wind once around it) must be on the loop's outer
// side. A loop that instead has that domain inside, with the other domain
// outside, claims it twice over (a hole drawn the same way round as its
// outline): it is refused with its lowest segment index, the way it turns as
// that segment is drawn, and the way it must turn, seen from the plane
// normal. The mesher would run and fail on it. Only certain cases are
// refused: a loop whose domains both differ from its surroundings, a place
// that some segment passes through or right beside, or surroundings that
// are not one domain wound once, let it pass. The first refused loop (by
// lowest segment index) is reported. Meant to run after
// CheckDomainBoundariesClosed; at most quadratic in the segment count.
std::optional<StageRefusal> CheckLoopOrientation(const std::vector<BoundarySegment>& segments,
                                                 const std::vector<PlanePoint>& plane_points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_LOOP_ORIENTATION_H_

// How many elements a request asks the mesher for, estimated from the area
// each domain encloses and its target size before any meshing starts, and
// the refusal of a request whose estimate no worker can afford: a unit slip
// (millimetres meant, metres sent) otherwise grows the worker by gigabytes
// until someone kills it.
#ifndef MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_
#define MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_

#include <vector>

#include "planar/polygon_geometry.h"
#include "protocol/mesh_request.h"

namespace mesh {

// The most elements a request may ask for. The mesher needs about 1.2 KB
// per element at its peak (measured on squares of 10 thousand to 1 million
// elements), so an answer within the limit fits in about 6 GiB.
constexpr double kElementLimit = 5e6;

struct ElementEstimate {
  double elements = 0.0;
  // The sum of every domain's enclosed area in the plane, in square metres.
  double area = 0.0;
  // The smallest target size any domain is meshed with, in metres; 0 when
  // the request names no domain.
  double smallest_target_size = 0.0;
};

// Errs high, by a factor of about two to three on plain regions: each
// domain's area counts as equilateral triangles of its target size (the
// request's, or the domain's own positive entry of domain_target_sizes), and
// every segment shorter than that size adds the elements the mesher grades
// in around it (element size grows from the segment's length to the target
// size at the mesher's grading of 0.3). No domain counts more than its area
// filled at its shortest segment's length. Expects a request that passed
// the boundary checks (domains closed and enclosing positive area); costs
// one pass over the segments.
ElementEstimate EstimateElements(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points);

// Refuses a request whose estimate exceeds kElementLimit, after writing one
// diagnostic line.
bool CheckElementEstimate(const MeshRequest& request,
                          const std::vector<PlanePoint>& plane_points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_

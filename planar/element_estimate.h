// How many elements a request asks the mesher for, estimated from the area
// each domain encloses and its target size before any meshing starts, and
// the refusal of a request whose estimate no worker can afford: a unit slip
// (millimetres meant, metres sent) otherwise grows the worker by gigabytes
// until someone kills it.
#ifndef MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_
#define MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_

#include <optional>
#include <vector>

#include "planar/polygon_geometry.h"
#include "protocol/mesh_request.h"
#include "protocol/refusals.h"

namespace mesh {

// The most elements a request may ask for, as EstimateElements counts them.
// At its peak the worker holds about 0.85 KiB per quad and 0.7 KiB per
// triangle (measured on unit squares of 10 thousand to 1 million elements:
// 1 million quads peak at 820 MiB, 578 thousand triangles at 383 MiB), so an
// answer within the limit needs at most about 3.5 GiB.
constexpr double kElementLimit = 5e6;

struct ElementEstimate {
  double elements = 0.0;
  // The sum of every domain's enclosed area in the plane, in square metres.
  double area = 0.0;
  // The smallest target size any domain is meshed with, in metres; 0 when
  // the request names no domain.
  double smallest_target_size = 0.0;
};

// Errs high: by up to about 2.8 for quads and 1.4 for triangles, on plain
// regions and on chains of short segments alike (measured against the
// mesher: never more than about 10 % low). Each domain's area counts as
// equilateral triangles of its target size (the request's, or the domain's
// own positive entry of domain_target_sizes); every segment shorter than
// that size adds the strip of elements the mesher grades in along it
// (element size grows from the segment's length to the target size at the
// mesher's grading of 0.3), and every point where such a segment ends adds
// the part of the graded disc round it that no strip covers: the wedge of a
// reflex corner, the reach of the finer of two segments past the coarser,
// a quarter disc at a chain's end. No domain counts more than its area
// filled at its shortest segment's length. Expects a request that passed
// the boundary checks (domains closed and enclosing positive area); costs a
// sort of the segments' ends when any segment is short, one pass otherwise.
ElementEstimate EstimateElements(const MeshRequest& request,
                                 const std::vector<PlanePoint>& plane_points);

// The elements the mesher adds round interior-only points asked to be
// meshed at `sizes` in a region of `area` whose finest target size is
// `target_size`: a few for each point's own vertex and the graded disc
// round it, no more in all than the region filled at the smallest of the
// sizes. Discs of points close together overlap, so the sum errs high.
double InteriorPointElements(const std::vector<double>& sizes, double target_size, double area);

// Refuses a request whose estimate exceeds kElementLimit.
std::optional<StageRefusal> CheckElementEstimate(const MeshRequest& request,
                                                 const std::vector<PlanePoint>& plane_points);

}  // namespace mesh

#endif  // MESH_WORKER_PLANAR_ELEMENT_ESTIMATE_H_

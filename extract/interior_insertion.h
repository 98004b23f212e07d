// Putting an interior-only point that the mesher left out into the finished
// mesh: reuse a vertex close by, else split the element edge it lies on,
// else split the element that contains it.
#ifndef MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_
#define MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_

#include <cstdint>
#include <vector>

#include "planar/plane_frame.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Lengths in metres, compared squared with squared plane distances.
struct CaptureTolerances {
  // A vertex this close stands for the point; nothing is added.
  double node = 0.0;
  // An edge this close is split at the point.
  double edge = 0.0;
};

// max(0.005, 0.05 * s) and max(0.002, 0.02 * s) for the smallest target
// size s.
CaptureTolerances InteriorCaptureTolerances(double smallest_target_size);

// Appends `p` to mesh_nodes and its 3-D image to record->vertices, keeping
// the two in step. Returns the new vertex's index.
int32_t AppendVertex(const PlanePoint& p, const PlanarFrame& frame,
                     std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record);

// True when p lies inside the triangle (p1, p2, p3) or on its edges, within
// a hair relative to its area, whichever way the corners turn. A triangle
// of zero area contains nothing.
bool TriangleContains(const PlanePoint& p1, const PlanePoint& p2, const PlanePoint& p3,
                      const PlanePoint& p);

// Returns the index of the vertex that now stands for `p`, or -1 when p is
// far from every vertex and edge and inside no element (then nothing
// changed). Split elements are removed and their replacement triangles
// appended at the end, in the split element's domain. Each call sees the
// mesh the previous one left; mesh_nodes[k] must be vertex k's plane
// coordinates.
int32_t InsertInteriorPoint(const PlanePoint& p, const PlanarFrame& frame,
                            double smallest_target_size,
                            std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_

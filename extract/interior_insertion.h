// Putting an interior-only point that the mesher left out into the finished
// mesh: reuse a vertex close by, else split the element edge it lies on,
// else split the element that contains it.
#ifndef MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_
#define MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_

#include <cstdint>
#include <vector>

#include "extract/point_grid.h"
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

// Squared distance from p to the closed segment e1-e2.
double SegmentDistanceSquared(const PlanePoint& p, const PlanePoint& e1, const PlanePoint& e2);

// Where the vertex that splits edge g-h goes. Inside one domain the edge may
// move to the caller's point: both elements are fanned from it and still
// cover exactly what they covered. An edge with the outside or another domain
// on one side is part of the boundary the caller drew; moving it would dent
// the region (or spill it outside) and shift area between domains, and the
// segment's chain would no longer run along element edges. There the vertex
// goes onto the edge, at the point's foot, at most the edge capture distance
// from the point. `domains_with_edge` are the domains of the elements that
// have the edge.
PlanePoint SplitVertexPosition(const PlanePoint& p, const PlanePoint& g, const PlanePoint& h,
                               const std::vector<int32_t>& domains_with_edge);

// Puts interior-only points into a finished mesh, one point a call. Each
// returns the index of the vertex that now stands for `p`, or -1 when p is
// far from every vertex and edge and inside no element (then nothing
// changed). Each call sees the mesh the previous one left. A split element
// is replaced by triangles appended at the end, in the split element's
// domain.
//
// Instead of scanning every node, edge and element for each point, it looks
// in the cells around the point; split elements are only marked while the
// insertions run, and removed all at once by Finish(), which keeps the order
// of the rest. After Finish() the record holds exactly what plain scans over
// the whole mesh, one point after another, would have left; the tests keep
// such a scan to compare against.
class InteriorPointInserter {
 public:
  // `node_grid` files the first node_grid.count() entries of *mesh_nodes,
  // and *mesh_nodes holds no more than those. The three must outlive the
  // inserter; nothing else may change the record until Finish().
  InteriorPointInserter(const PointGrid& node_grid, const PlanarFrame& frame,
                        double smallest_target_size, std::vector<PlanePoint>* mesh_nodes,
                        PlanarComplexMesh* record);

  int32_t Insert(const PlanePoint& p);
  // Removes the split elements. Call once, after the last Insert.
  void Finish();

 private:
  // An element by its place in record->quads or record->triangles (which
  // only grow until Finish): 2 * index, plus 1 for a triangle. Ascending
  // references list quads and triangles each in the scans' order.
  static int32_t QuadRef(size_t index) { return static_cast<int32_t>(2 * index); }
  static int32_t TriangleRef(size_t index) { return static_cast<int32_t>(2 * index + 1); }

  // The live elements filed in the cells around the box, ascending.
  std::vector<int32_t> ElementsNear(double u_lo, double v_lo, double u_hi, double v_hi,
                                    const PlanePoint& around) const;
  // Appends to the record and files the triangle.
  void AppendTriangle(int32_t a, int32_t b, int32_t c, int32_t domain);
  int32_t SplitEdge(const PlanePoint& p, int32_t g, int32_t h);

  const PointGrid& node_grid_;
  const PlanarFrame& frame_;
  const CaptureTolerances tolerances_;
  std::vector<PlanePoint>* mesh_nodes_;
  PlanarComplexMesh* record_;
  std::vector<char> quad_removed_;
  std::vector<char> triangle_removed_;
  // The elements present at the start, filed by the cells their bounding
  // boxes span (as PointGrid files points), those added later per cell, and
  // those too flat to trust a bounding box with, which every search sees.
  std::vector<size_t> cell_start_;
  std::vector<int32_t> filed_;
  std::vector<std::vector<int32_t>> filed_later_;
  std::vector<int32_t> everywhere_;
};

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_INTERIOR_INSERTION_H_

// Interior-only points put into a finished mesh without slivers: rather than
// splitting the element a point falls in, the free vertex best placed to
// stand for it is moved onto it, and the elements around are evened out
// again by edge flips and smoothing, with every point's vertex and the
// whole boundary held where they are. What is left for a split (a point no
// free vertex can reach without folding an element) is evened out the same
// way afterwards.
#ifndef MESH_WORKER_EXTRACT_INTERIOR_POINT_PLACEMENT_H_
#define MESH_WORKER_EXTRACT_INTERIOR_POINT_PLACEMENT_H_

#include <cstdint>
#include <optional>
#include <unordered_set>
#include <vector>

#include "extract/point_grid.h"
#include "planar/plane_frame.h"
#include "planar/surface_mesh.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// An element's shape in the plane, 1 at best, 0 or below when it is
// collapsed or turned against the mesh: a triangle's smallest corner sine
// over that of 60 degrees, a quad's smallest corner sine (its scaled
// Jacobian). `orientation` is +1 for counter-clockwise meshes, -1 otherwise.
double TriangleShapeQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                            double orientation);
double QuadShapeQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                        const PlanePoint& d, double orientation);

// Moves vertices of a finished record and flips triangle pairs, never
// moving a held vertex nor flipping a kept edge, and never folding an
// element. Moving a vertex onto a point is taken as the point demands; every
// other step only when the worst element it touches comes out better (or
// no worse, the others better). Elements keep their domains, so every
// domain covers what it covered.
class LocalMeshShaper {
 public:
  // `held` has one flag per vertex. The boundary the mesher drew (edges
  // with one element, or with different domains on their sides) is held and
  // kept on top of whatever the caller names. The pointers must outlive the
  // shaper, and nothing else may change the record until Finish().
  LocalMeshShaper(std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record,
                  std::vector<char> held, const std::vector<BoundaryEdge>& kept_edges);

  // Among the free vertices within `reach` of p, moves the one whose
  // elements come out best onto p and holds it from then on. Returns it,
  // or -1 when every such vertex would fold an element (nothing changes).
  // Call it for every point before EvenOutAround, which moves vertices the
  // search would no longer find where it filed them.
  int32_t MoveFreeVertexOnto(const PlanePoint& p, double reach);

  // Moves a vertex the caller holds (a point's, matched to the point within
  // a small distance) exactly onto p, unless it lies on the boundary or an
  // element would fold.
  void MoveHeldVertexOnto(int32_t vertex, const PlanePoint& p);

  // `sweeps` rounds of flips and smoothing over the elements within
  // `rings` edges of the given vertices.
  void EvenOutAround(const std::vector<int32_t>& centres, int rings, int sweeps);

  // The corners of the `most` worst elements whose quality is below
  // `quality`, worst first.
  std::vector<int32_t> CornersOfWorstElements(double quality, size_t most) const;

  // Writes the 3-D position of every vertex moved.
  void Finish(const PlanarFrame& frame);

 private:
  std::vector<int32_t> Corners(int32_t ref) const;
  double Quality(int32_t ref) const;
  double WorstAround(int32_t vertex) const;
  bool TryFlip(int32_t triangle, int edge);
  // True when the vertex moved far enough to be worth another sweep.
  bool TrySmooth(int32_t vertex);
  bool Changed(int32_t vertex, const PlanePoint& was);
  bool Kept(int32_t a, int32_t b) const;
  void Detach(int32_t vertex, int32_t ref);

  std::vector<PlanePoint>& nodes_;
  PlanarComplexMesh& record_;
  std::vector<char> held_;
  std::vector<char> moved_;
  std::vector<char> on_boundary_;
  std::unordered_set<uint64_t> kept_;
  // Elements by reference: 2 * index for a quad, 2 * index + 1 for a
  // triangle; per vertex, those it is a corner of.
  std::vector<std::vector<int32_t>> incident_;
  double orientation_ = 1.0;
  std::optional<PointGrid> grid_;
};

// Moves a free vertex onto each point of `pending` (indices into
// plane_points) that has no vertex yet and that one can reach without
// folding an element, within the smallest target size, and sets its
// point_vertex entry. Every vertex of record->point_vertex and of the
// boundary stays. Returns the points left for a split, in order.
std::vector<size_t> MoveVerticesOntoInteriorPoints(const std::vector<PlanePoint>& plane_points,
                                                   const std::vector<size_t>& pending,
                                                   const std::vector<BoundaryEdge>& boundary_edges,
                                                   double smallest_target_size,
                                                   const PlanarFrame& frame,
                                                   std::vector<PlanePoint>* mesh_nodes,
                                                   PlanarComplexMesh* record);

// Replaces each quad with a request point's vertex as a corner whose
// quality is below `quality` by the two triangles of its better diagonal,
// when both come out better than the quad: two points close together can
// leave a quad between them no smoothing mends.
void SplitPoorQuadsAtPoints(const std::vector<PlanePoint>& mesh_nodes, double quality,
                            PlanarComplexMesh* record);

// Once every point of `pending` has its vertex: moves each vertex tied to
// its point within a small distance exactly onto it (MoveHeldVertexOnto),
// then flips and smoothing around them with the vertices of all request
// points and the boundary held, then SplitPoorQuadsAtPoints below 0.3.
void EvenOutAroundInteriorPoints(const std::vector<PlanePoint>& plane_points,
                                 const std::vector<size_t>& pending,
                                 const std::vector<BoundaryEdge>& boundary_edges,
                                 const PlanarFrame& frame, std::vector<PlanePoint>* mesh_nodes,
                                 PlanarComplexMesh* record);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_INTERIOR_POINT_PLACEMENT_H_

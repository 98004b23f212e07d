// Mending the few elements a finished mesh has that a solver would choke
// on, before the answer is checked and sent. Netgen's quad rules happily
// close a quad across a boundary vertex that lies almost on the line of its
// two neighbours (a roof outline with a vertex a few millimetres off the
// straight): the quad's corner there is nearly 180 degrees, and the quad is
// really a triangle with a scaled Jacobian near 0. Such a corner is no
// reason for a bad element, since splitting the quad along the diagonal
// through it leaves two good triangles.
//
// The repair touches only elements of quality under kRepairQuality (the
// measures of formats/mesh_quality.h, taken in the plane) and what lies
// around them; a mesh without any is left exactly as it was. It keeps
// everything the answer's own check asks for: vertices on segment chains
// and the vertices of request points never move, no element edge on a
// chain goes away, every element keeps its domain, and the elements of a
// domain cover exactly what they covered (a moved vertex is accepted only
// where every element around it keeps a positive area).
#ifndef MESH_WORKER_EXTRACT_POOR_ELEMENT_REPAIR_H_
#define MESH_WORKER_EXTRACT_POOR_ELEMENT_REPAIR_H_

#include <cstddef>

#include "planar/plane_frame.h"
#include "planar/polygon_geometry.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// A triangle's mean ratio or a quad's scaled Jacobian of 0.3 is a corner of
// about 17 degrees: what a sharper input corner forces, and no better.
constexpr double kRepairQuality = 0.3;

// The two measures, in the plane, positive for counter-clockwise corners.
double PlaneTriangleQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c);
double PlaneQuadQuality(const PlanePoint& a, const PlanePoint& b, const PlanePoint& c,
                        const PlanePoint& d);

// How many elements of `record` are under kRepairQuality; a mesh with none
// needs no repair (and no copy kept in case it fails).
size_t CountPoorElements(const PlanarFrame& frame, const PlanarComplexMesh& record);

// The worst quality of the record's elements, turned so that its mesh reads
// counter-clockwise; infinity for no elements.
double WorstQuality(const PlanarFrame& frame, const PlanarComplexMesh& record);

struct RepairCounts {
  size_t poor_before = 0;  // elements under kRepairQuality
  size_t poor_after = 0;
  size_t quads_split = 0;     // each became two triangles
  size_t vertices_moved = 0;  // free vertices smoothed, counted once per move
};

// Writes `record` repaired to `*repaired` (which may be `record` itself):
// the mesh's free vertices (on no chain, standing for no request point) may
// move in the plane of `frame`, whose FromPlane gave the vertices; a quad may
// be split into two triangles, which come after the record's triangles in
// its domain, the other elements keeping their order. Every change is taken
// only if it raises the worst quality of the elements it touches.
RepairCounts RepairPoorElements(const PlanarFrame& frame, const PlanarComplexMesh& record,
                                PlanarComplexMesh* repaired);

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_POOR_ELEMENT_REPAIR_H_

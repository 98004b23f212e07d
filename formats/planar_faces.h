// The faces a planar straight-line graph cuts the plane into, and the check
// that a graph is clean enough to have them (segments meet only at shared
// ends). The .poly reader gives each face a domain from the hole and region
// points that fall in it.
#ifndef MESH_WORKER_FORMATS_PLANAR_FACES_H_
#define MESH_WORKER_FORMATS_PLANAR_FACES_H_

#include <cstddef>
#include <string>
#include <vector>

namespace mesh {

// A vertex of the graph, with the line of the file that gives it.
struct GraphVertex {
  double x = 0, y = 0;
  int line = 0;
};

// A segment between two vertices (0-based indices), with its line.
struct GraphSegment {
  int a = 0, b = 0;
  int line = 0;
};

// Refuses what would leave the faces ill-defined, or the worker a graph it
// cannot mesh: a segment from a vertex to itself, a repeated segment, two
// vertices at one place, segments that cross, touch or overlap away from a
// shared end, and a vertex on a segment's inside. The tests are exact, on
// the coordinates as given: a contact that rounding hides is one the
// worker's own crossing test will not see either. On failure returns false
// with "NAME:LINE: what" in `*error`, the file's numbers being the 0-based
// ones plus `base`.
bool CheckGraph(const std::string& name, const std::vector<GraphVertex>& vertices,
                const std::vector<GraphSegment>& segments, long long base, std::string* error);

// The faces of a graph that passed CheckGraph, found by walking half-edges.
// Segment s gives half-edge 2s (from a to b) and 2s + 1 (from b to a). A face
// is numbered by one of its boundary cycles; the unbounded face is kOutside.
// A connected piece of the graph lying inside a face of another piece (an
// island, or a hole's outline) belongs to the smallest face around it.
class PlanarFaces {
 public:
  static constexpr int kOutside = -1;

  PlanarFaces(std::vector<GraphVertex> vertices, std::vector<GraphSegment> segments);

  // The face on the left of a half-edge.
  int FaceLeftOf(size_t half_edge) const { return face_of_cycle_[cycle_of_[half_edge]]; }

  // The face holding (x, y), which must lie on no segment.
  int FaceOf(double x, double y) const;

 private:
  struct Cycle {
    std::vector<int> half_edges;
    double area = 0;  // signed: positive for a counter-clockwise cycle
  };

  int Origin(size_t half_edge) const;
  double Angle(int half_edge) const;
  bool Inside(const Cycle& cycle, double x, double y) const;
  template <typename Find>
  int Innermost(double x, double y, int own_piece, Find&& find) const;

  std::vector<GraphVertex> v_;
  std::vector<GraphSegment> s_;
  std::vector<int> cycle_of_;
  std::vector<Cycle> cycles_;
  std::vector<int> face_of_cycle_;
};

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_PLANAR_FACES_H_

// How good a finished mesh's elements are, per domain, in the measures a
// person (or a ParaView, Verdict or meshio script) judges a mesh by.
//
// All measures are taken in the elements' own 3-D coordinates, with the
// mesh's normal (the sum of its elements' area vectors) telling an
// element's turning; every element of a worker's answer turns the same way.
//
// - Angles: each corner's interior angle in degrees, 0 to 360 (a reflex
//   corner of a non-convex quad is over 180).
// - Aspect ratio, 1 for the equilateral triangle and the square, growing
//   without bound as an element flattens (Verdict's and VTK's "aspect
//   ratio"): a triangle's longest edge times its perimeter over 4√3 times
//   its area (the longest edge over 2√3 times the inscribed radius); a
//   quad's longest edge times its perimeter over 4 times its area (half
//   the cross product of its diagonals). An element of zero or negative
//   area has an infinite aspect ratio.
// - Quality, 1 at best and 0 (or below, for an inverted element) at worst:
//   a triangle's shape quality 4√3 A / (l0² + l1² + l2²) (the mean ratio);
//   a quad's scaled Jacobian, the smallest over its corners of the sine of
//   the corner's angle (the cross product of the two edges leaving the
//   corner over the product of their lengths), as Gmsh's and Verdict's
//   scaled Jacobian. A square, a rectangle and a rhombus of 60 degrees
//   score 1, 1 and 0.87; the aspect ratio tells the rectangle apart.
// - The histogram counts elements by quality in tenths: bin k holds
//   qualities in [k/10, (k+1)/10), bin 0 everything below 0.1, bin 9 all
//   from 0.9 up to 1.
#ifndef MESH_WORKER_FORMATS_MESH_QUALITY_H_
#define MESH_WORKER_FORMATS_MESH_QUALITY_H_

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "protocol/planar_complex_mesh.h"

namespace mesh {

// One element's measures.
struct ElementShape {
  double min_angle = 0;  // degrees
  double max_angle = 0;
  double aspect_ratio = 0;
  double quality = 0;
};

// `normal` decides which way round counts as positive; a zero normal
// takes the element's own turning as positive.
ElementShape TriangleShape(const Point3& a, const Point3& b, const Point3& c,
                           const Point3& normal);
ElementShape QuadShape(const Point3& a, const Point3& b, const Point3& c, const Point3& d,
                       const Point3& normal);

constexpr size_t kQualityBins = 10;

// The histogram bin of a quality.
size_t QualityBin(double quality);

struct DomainQuality {
  int32_t domain = 0;
  size_t quads = 0;
  size_t triangles = 0;
  double min_angle = 0;
  double max_angle = 0;
  double worst_aspect_ratio = 0;
  double min_quality = 0;
  double mean_quality = 0;
  std::array<size_t, kQualityBins> histogram{};
};

// The unit normal the measures take turning from (zero for an empty or
// collapsed mesh).
Point3 MeshNormal(const PlanarComplexMesh& mesh);

// Each element's shape, the quads and then the triangles in the record's
// order. Every corner must name a vertex.
std::vector<ElementShape> ElementShapes(const PlanarComplexMesh& mesh);

// One entry per domain that has elements, in increasing domain order.
std::vector<DomainQuality> MeasureMeshQuality(const PlanarComplexMesh& mesh);

// Two lines per domain, indented by two spaces and four (the first is one
// line on the screen):
//   domain 1: 280 quads, 4 triangles; angles 41.3 to 138.7 degrees;
//     worst aspect ratio 1.87; quality min 0.66, mean 0.93
//     quality by tenths, 0 to 1: 0 0 0 0 0 0 2 10 54 218
// An infinite aspect ratio reads "infinite".
std::string FormatMeshQuality(const std::vector<DomainQuality>& domains);

// {"domains": [{"domain", "quads", "triangles", "min_angle", "max_angle",
// "worst_aspect_ratio", "min_quality", "mean_quality", "quality_histogram"}]},
// an infinite aspect ratio as null.
nlohmann::ordered_json MeshQualityToJson(const std::vector<DomainQuality>& domains);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MESH_QUALITY_H_

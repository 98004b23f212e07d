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

// Elements under this quality are the ones a solver suffers from: a
// triangle's mean ratio or a quad's scaled Jacobian of 0.3 is a corner of
// about 17 degrees.
constexpr double kPoorQuality = 0.3;

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
  size_t poor = 0;  // elements under kPoorQuality
  // The worst element (the first of equals): its index among the mesh's
  // quads (worst_is_quad) or triangles.
  bool worst_is_quad = false;
  size_t worst_element = 0;
  double quality_sum = 0;  // mean_quality times the elements, for totals
};

// Where an element is, so that a person can find it in a picture or file.
struct ElementPlace {
  size_t line = 0;  // its answer's line in a batch file; 0 for a lone answer
  int32_t domain = 0;
  bool is_quad = false;
  size_t index = 0;  // among its answer's quads or triangles
};

// The measures of one answer's elements all together, or of many answers'
// (a batch file's) summed.
struct QualityTotals {
  size_t answers = 0;
  size_t vertices = 0;
  size_t quads = 0;
  size_t triangles = 0;
  double min_angle = 0;
  double max_angle = 0;
  double worst_aspect_ratio = 0;
  double min_quality = 0;
  double mean_quality = 0;
  std::array<size_t, kQualityBins> histogram{};
  size_t poor = 0;
  ElementPlace worst;  // meaningful only with elements
  double quality_sum = 0;
};

// The unit normal the measures take turning from (zero for an empty or
// collapsed mesh).
Point3 MeshNormal(const PlanarComplexMesh& mesh);

// Each element's shape, the quads and then the triangles in the record's
// order. Every corner must name a vertex.
std::vector<ElementShape> ElementShapes(const PlanarComplexMesh& mesh);

// One entry per domain that has elements, in increasing domain order.
std::vector<DomainQuality> MeasureMeshQuality(const PlanarComplexMesh& mesh);

// One answer's domains summed, with `vertices` and `line` (0 for a lone
// answer) as given; one answer.
QualityTotals TotalQuality(const std::vector<DomainQuality>& domains, size_t vertices,
                           size_t line = 0);

// Adds `part` to `*sum`; the worst element stays the first of equals.
void AddQualityTotals(const QualityTotals& part, QualityTotals* sum);

// Two lines per domain, indented by two spaces and four (the first is one
// line on the screen), then one line for all of them:
//   domain 1: 280 quads, 4 triangles; angles 41.3 to 138.7 degrees;
//     worst aspect ratio 1.87; quality min 0.66, mean 0.93;
//     0 under 0.3 (worst: quad 17)
//     quality by tenths, 0 to 1: 0 0 0 0 0 0 2 10 54 218
//   all domains: 280 quads, 4 triangles; quality min 0.66, mean 0.93;
//     0 under 0.3 (worst: domain 1, quad 17)
// An infinite aspect ratio reads "infinite". Nothing for no domains.
std::string FormatMeshQuality(const std::vector<DomainQuality>& domains);

// The measures of many answers, indented by two spaces, three lines:
//   1,204 vertices, 1,100 quads, 31 triangles in 3 answers
//   angles 38.2 to 141.0 degrees; worst aspect ratio 2.10; quality min
//     0.52, mean 0.91; 0 under 0.3 (worst: line 2, domain 1, quad 310)
//     quality by tenths, 0 to 1: 0 0 0 0 0 1 3 40 300 791
// Without elements only the first.
std::string FormatQualityTotals(const QualityTotals& totals);

// {"domains": [{"domain", "quads", "triangles", "min_angle", "max_angle",
// "worst_aspect_ratio", "min_quality", "mean_quality", "quality_histogram",
// "poor", "worst": {"element": "quad" or "triangle", "index"}}]}, an
// infinite aspect ratio as null.
nlohmann::ordered_json MeshQualityToJson(const std::vector<DomainQuality>& domains);

// {"answers", "vertices", "quads", "triangles", "min_angle", "max_angle",
// "worst_aspect_ratio", "min_quality", "mean_quality", "quality_histogram",
// "poor", "worst": {"line", "domain", "element", "index"}}; without
// elements, the measures are null and "worst" is left out.
nlohmann::ordered_json QualityTotalsToJson(const QualityTotals& totals);

// What `meshctl stats --json` writes for one answer, and the Python
// package's MeshResult.quality() returns: {"vertices", "quads",
// "triangles", "min_angle", ..., "poor", "worst" (as QualityTotalsToJson,
// without "answers"; "line" only when `line` is not 0), "domains": [...]}.
nlohmann::ordered_json MeshStatsJson(const PlanarComplexMesh& mesh, size_t line = 0);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_MESH_QUALITY_H_

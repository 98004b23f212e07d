#include "formats/mesh_quality.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

namespace mesh {

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kInfinity = std::numeric_limits<double>::infinity();

Point3 Minus(const Point3& a, const Point3& b) { return Point3{a.x - b.x, a.y - b.y, a.z - b.z}; }

Point3 Cross(const Point3& a, const Point3& b) {
  return Point3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

double Length(const Point3& a) { return std::sqrt(Dot(a, a)); }

bool IsZero(const Point3& a) { return a.x == 0 && a.y == 0 && a.z == 0; }

Point3 Unit(const Point3& a) {
  const double length = Length(a);
  if (!(length > 0) || !std::isfinite(length)) return Point3{};
  return Point3{a.x / length, a.y / length, a.z / length};
}

// The component of a cross product along the normal; with no normal, its
// length, so that an element with nothing to compare with counts as turning
// the right way.
double Along(const Point3& cross, const Point3& normal) {
  return IsZero(normal) ? Length(cross) : Dot(cross, normal);
}

// The measures every polygon shares: corner angles, edge lengths and the
// smallest scaled Jacobian, for corners in turning order.
struct Corners {
  double min_angle = kInfinity;
  double max_angle = -kInfinity;
  double longest = 0;
  double perimeter = 0;
  double sum_of_squares = 0;
  double min_sine = kInfinity;
};

template <size_t N>
Corners MeasureCorners(const Point3* const (&p)[N], const Point3& normal) {
  Corners out;
  for (size_t i = 0; i < N; ++i) {
    const Point3 to_next = Minus(*p[(i + 1) % N], *p[i]);
    const Point3 to_previous = Minus(*p[(i + N - 1) % N], *p[i]);
    const double along = Along(Cross(to_next, to_previous), normal);
    double angle = std::atan2(along, Dot(to_next, to_previous)) * 180 / kPi;
    if (angle < 0) angle += 360;
    out.min_angle = std::min(out.min_angle, angle);
    out.max_angle = std::max(out.max_angle, angle);
    const double next_length = Length(to_next);
    out.longest = std::max(out.longest, next_length);
    out.perimeter += next_length;
    out.sum_of_squares += next_length * next_length;
    const double lengths = next_length * Length(to_previous);
    out.min_sine = std::min(out.min_sine, lengths > 0 ? along / lengths : 0.0);
  }
  return out;
}

double AspectRatio(double numerator, double area) {
  return area > 0 && std::isfinite(numerator / area) ? numerator / area : kInfinity;
}

std::string Fixed(const char* format, double value) {
  if (std::isinf(value)) return value > 0 ? "infinite" : "-infinite";
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

std::string Grouped(size_t value) {
  std::string digits = std::to_string(value);
  for (int i = static_cast<int>(digits.size()) - 3; i > 0; i -= 3)
    digits.insert(static_cast<size_t>(i), ",");
  return digits;
}

std::string ElementName(bool is_quad, size_t index) {
  return (is_quad ? "quad " : "triangle ") + std::to_string(index);
}

// "line 3, domain 1, quad 17", the line left out for a lone answer.
std::string PlaceName(const ElementPlace& place) {
  std::string text;
  if (place.line > 0) text = "line " + std::to_string(place.line) + ", ";
  return text + "domain " + std::to_string(place.domain) + ", " +
         ElementName(place.is_quad, place.index);
}

nlohmann::ordered_json Number(double value) {
  return std::isfinite(value) ? nlohmann::ordered_json(value) : nlohmann::ordered_json(nullptr);
}

}  // namespace

ElementShape TriangleShape(const Point3& a, const Point3& b, const Point3& c,
                           const Point3& normal) {
  const Point3* const corners[3] = {&a, &b, &c};
  const Corners measured = MeasureCorners(corners, normal);
  const double area = Along(Cross(Minus(b, a), Minus(c, a)), normal) / 2;
  ElementShape shape;
  shape.min_angle = measured.min_angle;
  shape.max_angle = measured.max_angle;
  shape.aspect_ratio =
      AspectRatio(measured.longest * measured.perimeter, 4 * std::sqrt(3.0) * area);
  shape.quality =
      measured.sum_of_squares > 0 ? 4 * std::sqrt(3.0) * area / measured.sum_of_squares : 0;
  return shape;
}

ElementShape QuadShape(const Point3& a, const Point3& b, const Point3& c, const Point3& d,
                       const Point3& normal) {
  const Point3* const corners[4] = {&a, &b, &c, &d};
  const Corners measured = MeasureCorners(corners, normal);
  const double area = Along(Cross(Minus(c, a), Minus(d, b)), normal) / 2;
  ElementShape shape;
  shape.min_angle = measured.min_angle;
  shape.max_angle = measured.max_angle;
  shape.aspect_ratio = AspectRatio(measured.longest * measured.perimeter, 4 * area);
  shape.quality = measured.min_sine;
  return shape;
}

size_t QualityBin(double quality) {
  if (!(quality >= 0)) return 0;  // NaN too
  return std::min(kQualityBins - 1, static_cast<size_t>(std::floor(quality * kQualityBins)));
}

Point3 MeshNormal(const PlanarComplexMesh& mesh) {
  const std::vector<Point3>& v = mesh.vertices;
  Point3 sum;
  auto add = [&](const Point3& area) {
    sum.x += area.x;
    sum.y += area.y;
    sum.z += area.z;
  };
  for (const auto& q : mesh.quads) {
    add(Cross(Minus(v[q[2]], v[q[0]]), Minus(v[q[3]], v[q[1]])));
  }
  for (const auto& t : mesh.triangles) {
    add(Cross(Minus(v[t[1]], v[t[0]]), Minus(v[t[2]], v[t[0]])));
  }
  return Unit(sum);
}

std::vector<ElementShape> ElementShapes(const PlanarComplexMesh& mesh) {
  const Point3 normal = MeshNormal(mesh);
  const std::vector<Point3>& v = mesh.vertices;
  std::vector<ElementShape> shapes;
  shapes.reserve(mesh.quads.size() + mesh.triangles.size());
  for (const auto& q : mesh.quads) {
    shapes.push_back(QuadShape(v[q[0]], v[q[1]], v[q[2]], v[q[3]], normal));
  }
  for (const auto& t : mesh.triangles) {
    shapes.push_back(TriangleShape(v[t[0]], v[t[1]], v[t[2]], normal));
  }
  return shapes;
}

std::vector<DomainQuality> MeasureMeshQuality(const PlanarComplexMesh& mesh) {
  // Shapes are summed as they are measured: a mesh of millions of elements
  // need not hold them all.
  const Point3 normal = MeshNormal(mesh);
  const std::vector<Point3>& v = mesh.vertices;
  std::map<int32_t, DomainQuality> domains;
  auto add = [&](int32_t domain, bool is_quad, size_t index, const ElementShape& shape) {
    auto inserted = domains.emplace(domain, DomainQuality());
    DomainQuality& d = inserted.first->second;
    if (inserted.second) {
      d.domain = domain;
      d.min_angle = d.min_quality = kInfinity;
      d.max_angle = -kInfinity;
      d.worst_is_quad = is_quad;
      d.worst_element = index;
    }
    d.min_angle = std::min(d.min_angle, shape.min_angle);
    d.max_angle = std::max(d.max_angle, shape.max_angle);
    d.worst_aspect_ratio = std::max(d.worst_aspect_ratio, shape.aspect_ratio);
    if (shape.quality < d.min_quality) {
      d.min_quality = shape.quality;
      d.worst_is_quad = is_quad;
      d.worst_element = index;
    }
    if (!(shape.quality >= kPoorQuality)) ++d.poor;  // NaN too
    d.quality_sum += shape.quality;
    ++d.histogram[QualityBin(shape.quality)];
    ++(is_quad ? d.quads : d.triangles);
  };
  for (size_t i = 0; i < mesh.quads.size(); ++i) {
    const auto& q = mesh.quads[i];
    add(mesh.quad_domains[i], true, i, QuadShape(v[q[0]], v[q[1]], v[q[2]], v[q[3]], normal));
  }
  for (size_t i = 0; i < mesh.triangles.size(); ++i) {
    const auto& t = mesh.triangles[i];
    add(mesh.triangle_domains[i], false, i, TriangleShape(v[t[0]], v[t[1]], v[t[2]], normal));
  }
  std::vector<DomainQuality> out;
  for (auto& entry : domains) {
    DomainQuality& d = entry.second;
    d.mean_quality = d.quality_sum / static_cast<double>(d.quads + d.triangles);
    out.push_back(d);
  }
  return out;
}

QualityTotals TotalQuality(const std::vector<DomainQuality>& domains, size_t vertices,
                           size_t line) {
  QualityTotals totals;
  totals.answers = 1;
  totals.vertices = vertices;
  totals.min_angle = totals.min_quality = kInfinity;
  totals.max_angle = -kInfinity;
  for (const DomainQuality& d : domains) {
    if (d.quads + d.triangles == 0) continue;
    if (d.min_quality < totals.min_quality || totals.quads + totals.triangles == 0) {
      totals.worst = ElementPlace{line, d.domain, d.worst_is_quad, d.worst_element};
    }
    totals.quads += d.quads;
    totals.triangles += d.triangles;
    totals.min_angle = std::min(totals.min_angle, d.min_angle);
    totals.max_angle = std::max(totals.max_angle, d.max_angle);
    totals.worst_aspect_ratio = std::max(totals.worst_aspect_ratio, d.worst_aspect_ratio);
    totals.min_quality = std::min(totals.min_quality, d.min_quality);
    for (size_t k = 0; k < kQualityBins; ++k) totals.histogram[k] += d.histogram[k];
    totals.poor += d.poor;
    totals.quality_sum += d.quality_sum;
  }
  const size_t elements = totals.quads + totals.triangles;
  totals.mean_quality = elements > 0 ? totals.quality_sum / static_cast<double>(elements) : 0;
  return totals;
}

void AddQualityTotals(const QualityTotals& part, QualityTotals* sum) {
  const size_t part_elements = part.quads + part.triangles;
  const size_t sum_elements = sum->quads + sum->triangles;
  sum->answers += part.answers;
  sum->vertices += part.vertices;
  if (part_elements == 0) return;
  if (sum_elements == 0) {
    const size_t answers = sum->answers, vertices = sum->vertices;
    *sum = part;
    sum->answers = answers;
    sum->vertices = vertices;
    return;
  }
  if (part.min_quality < sum->min_quality) sum->worst = part.worst;
  sum->quads += part.quads;
  sum->triangles += part.triangles;
  sum->min_angle = std::min(sum->min_angle, part.min_angle);
  sum->max_angle = std::max(sum->max_angle, part.max_angle);
  sum->worst_aspect_ratio = std::max(sum->worst_aspect_ratio, part.worst_aspect_ratio);
  sum->min_quality = std::min(sum->min_quality, part.min_quality);
  for (size_t k = 0; k < kQualityBins; ++k) sum->histogram[k] += part.histogram[k];
  sum->poor += part.poor;
  sum->quality_sum += part.quality_sum;
  sum->mean_quality = sum->quality_sum / static_cast<double>(sum->quads + sum->triangles);
}

std::string FormatMeshQuality(const std::vector<DomainQuality>& domains) {
  std::string text;
  for (const DomainQuality& d : domains) {
    text += "  domain " + std::to_string(d.domain) + ": " + std::to_string(d.quads) + " quads, " +
            std::to_string(d.triangles) + " triangles; angles " + Fixed("%.1f", d.min_angle) +
            " to " + Fixed("%.1f", d.max_angle) + " degrees; worst aspect ratio " +
            Fixed("%.2f", d.worst_aspect_ratio) + "; quality min " +
            Fixed("%.2f", d.min_quality) + ", mean " + Fixed("%.2f", d.mean_quality) + "; " +
            std::to_string(d.poor) + " under " + Fixed("%.1f", kPoorQuality) + " (worst: " +
            ElementName(d.worst_is_quad, d.worst_element) + ")\n";
    text += "    quality by tenths, 0 to 1:";
    for (size_t count : d.histogram) text += " " + std::to_string(count);
    text += "\n";
  }
  if (domains.empty()) return text;
  const QualityTotals all = TotalQuality(domains, 0);
  text += "  all domains: " + std::to_string(all.quads) + " quads, " +
          std::to_string(all.triangles) + " triangles; quality min " +
          Fixed("%.2f", all.min_quality) + ", mean " + Fixed("%.2f", all.mean_quality) + "; " +
          std::to_string(all.poor) + " under " + Fixed("%.1f", kPoorQuality) + " (worst: " +
          PlaceName(all.worst) + ")\n";
  return text;
}

std::string FormatQualityTotals(const QualityTotals& t) {
  std::string text = "  " + Grouped(t.vertices) + " vertices, " + Grouped(t.quads) + " quads, " +
                     Grouped(t.triangles) + " triangles in " + Grouped(t.answers) +
                     (t.answers == 1 ? " answer\n" : " answers\n");
  if (t.quads + t.triangles == 0) return text;
  text += "  angles " + Fixed("%.1f", t.min_angle) + " to " + Fixed("%.1f", t.max_angle) +
          " degrees; worst aspect ratio " + Fixed("%.2f", t.worst_aspect_ratio) +
          "; quality min " + Fixed("%.2f", t.min_quality) + ", mean " +
          Fixed("%.2f", t.mean_quality) + "; " + Grouped(t.poor) + " under " +
          Fixed("%.1f", kPoorQuality) + " (worst: " + PlaceName(t.worst) + ")\n";
  text += "    quality by tenths, 0 to 1:";
  for (size_t count : t.histogram) text += " " + std::to_string(count);
  return text + "\n";
}

nlohmann::ordered_json MeshQualityToJson(const std::vector<DomainQuality>& domains) {
  nlohmann::ordered_json list = nlohmann::ordered_json::array();
  for (const DomainQuality& d : domains) {
    list.push_back({{"domain", d.domain},
                    {"quads", d.quads},
                    {"triangles", d.triangles},
                    {"min_angle", Number(d.min_angle)},
                    {"max_angle", Number(d.max_angle)},
                    {"worst_aspect_ratio", Number(d.worst_aspect_ratio)},
                    {"min_quality", Number(d.min_quality)},
                    {"mean_quality", Number(d.mean_quality)},
                    {"quality_histogram", d.histogram},
                    {"poor", d.poor},
                    {"worst",
                     {{"element", d.worst_is_quad ? "quad" : "triangle"},
                      {"index", d.worst_element}}}});
  }
  return nlohmann::ordered_json{{"domains", std::move(list)}};
}

nlohmann::ordered_json QualityTotalsToJson(const QualityTotals& t) {
  const bool any = t.quads + t.triangles > 0;
  auto measure = [&](double value) { return any ? Number(value) : nlohmann::ordered_json(); };
  nlohmann::ordered_json json = {{"answers", t.answers},
                                 {"vertices", t.vertices},
                                 {"quads", t.quads},
                                 {"triangles", t.triangles},
                                 {"min_angle", measure(t.min_angle)},
                                 {"max_angle", measure(t.max_angle)},
                                 {"worst_aspect_ratio", measure(t.worst_aspect_ratio)},
                                 {"min_quality", measure(t.min_quality)},
                                 {"mean_quality", measure(t.mean_quality)},
                                 {"quality_histogram", t.histogram},
                                 {"poor", t.poor}};
  if (any) {
    json["worst"] = {{"line", t.worst.line},
                     {"domain", t.worst.domain},
                     {"element", t.worst.is_quad ? "quad" : "triangle"},
                     {"index", t.worst.index}};
  }
  return json;
}

nlohmann::ordered_json MeshStatsJson(const PlanarComplexMesh& mesh, size_t line) {
  const std::vector<DomainQuality> domains = MeasureMeshQuality(mesh);
  nlohmann::ordered_json json = QualityTotalsToJson(TotalQuality(domains, mesh.vertices.size(), line));
  json.erase("answers");
  if (line == 0 && json.contains("worst")) json["worst"].erase("line");
  json["domains"] = MeshQualityToJson(domains)["domains"];
  return json;
}

}  // namespace mesh

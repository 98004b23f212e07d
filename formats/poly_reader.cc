#include "formats/poly_reader.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <sstream>
#include <utility>

#include "formats/planar_faces.h"
#include "planar/polygon_geometry.h"

namespace mesh {

namespace {

// ---------------------------------------------------------------------------
// The text: Triangle's files are whitespace-separated numbers, one record a
// line, with '#' starting a comment anywhere.

struct Line {
  int number = 0;
  std::vector<std::string> tokens;
};

std::vector<Line> SplitLines(const std::string& text) {
  std::vector<Line> lines;
  std::istringstream in(text);
  std::string raw;
  for (int number = 1; std::getline(in, raw); ++number) {
    raw = raw.substr(0, raw.find('#'));
    Line line;
    line.number = number;
    std::istringstream words(raw);
    for (std::string word; words >> word;) line.tokens.push_back(word);
    if (!line.tokens.empty()) lines.push_back(std::move(line));
  }
  return lines;
}

class Records {
 public:
  Records(std::string name, const std::string& text)
      : name_(std::move(name)), lines_(SplitLines(text)) {}

  bool AtEnd() const { return next_ >= lines_.size(); }
  const std::string& name() const { return name_; }

  // The next record, which must hold at least `minimum` numbers.
  bool Next(const char* what, size_t minimum, const Line** line, std::string* error) {
    if (AtEnd()) {
      const int last = lines_.empty() ? 1 : lines_.back().number;
      *error = name_ + ":" + std::to_string(last) + ": the file ends where " + what +
               " should follow";
      return false;
    }
    *line = &lines_[next_++];
    if ((*line)->tokens.size() < minimum) {
      *error = At(**line) + what + " needs " + std::to_string(minimum) + " numbers, found " +
               std::to_string((*line)->tokens.size());
      return false;
    }
    return true;
  }

  std::string At(const Line& line) const {
    return name_ + ":" + std::to_string(line.number) + ": ";
  }

  bool Number(const Line& line, size_t index, const char* what, double* out,
              std::string* error) const {
    const std::string& token = line.tokens[index];
    char* end = nullptr;
    errno = 0;
    *out = std::strtod(token.c_str(), &end);
    if (end == token.c_str() || *end != '\0' || !std::isfinite(*out)) {
      *error = At(line) + what + ": '" + token + "' is not a finite number";
      return false;
    }
    return true;
  }

  bool Whole(const Line& line, size_t index, const char* what, long long* out,
             std::string* error) const {
    const std::string& token = line.tokens[index];
    char* end = nullptr;
    errno = 0;
    *out = std::strtoll(token.c_str(), &end, 10);
    if (end == token.c_str() || *end != '\0' || errno == ERANGE) {
      *error = At(line) + what + ": '" + token + "' is not a whole number";
      return false;
    }
    return true;
  }

  bool Count(const Line& line, size_t index, const char* what, long long* out,
             std::string* error) const {
    if (!Whole(line, index, what, out, error)) return false;
    if (*out < 0 || *out > 100000000) {
      *error = At(line) + what + ": " + line.tokens[index] + " is out of range";
      return false;
    }
    return true;
  }

 private:
  std::string name_;
  std::vector<Line> lines_;
  size_t next_ = 0;
};

// The largest domain a region with a maximum area may name.
constexpr long long kLargestSizedDomain = 1000000;

struct Marker {  // a hole or a region point
  double x = 0, y = 0;
  double attribute = 0, max_area = -1;
  int line = 0;
};

// Reads the vertex section: a header "count dimension attributes markers"
// and the vertex records. Sets *base to the number of the first vertex.
bool ReadVertices(Records& records, std::vector<GraphVertex>* vertices, long long* base,
                  std::string* error) {
  const Line* header;
  if (!records.Next("the vertex header (count, dimension, attributes, markers)", 1, &header,
                    error)) {
    return false;
  }
  long long count, dimension = 2;
  if (!records.Count(*header, 0, "vertex count", &count, error)) return false;
  if (header->tokens.size() > 1 &&
      !records.Whole(*header, 1, "dimension", &dimension, error)) {
    return false;
  }
  if (dimension != 2) {
    *error = records.At(*header) + "dimension " + std::to_string(dimension) +
             ": only 2-D .poly files (Triangle's) can be read";
    return false;
  }
  for (long long i = 0; i < count; ++i) {
    const Line* line;
    if (!records.Next("a vertex (number, x, y)", 3, &line, error)) return false;
    long long number;
    if (!records.Whole(*line, 0, "vertex number", &number, error)) return false;
    if (i == 0) {
      if (number != 0 && number != 1) {
        *error = records.At(*line) + "vertices must be numbered from 0 or 1, not " +
                 std::to_string(number);
        return false;
      }
      *base = number;
    }
    if (number != *base + i) {
      *error = records.At(*line) + "vertex number " + std::to_string(number) +
               " is out of sequence; expected " + std::to_string(*base + i);
      return false;
    }
    GraphVertex vertex;
    vertex.line = line->number;
    if (!records.Number(*line, 1, "x", &vertex.x, error) ||
        !records.Number(*line, 2, "y", &vertex.y, error)) {
      return false;
    }
    vertices->push_back(vertex);
  }
  return true;
}

// "NAME:LINE: ", the start of every message about a line.
std::string At(const std::string& name, int line) {
  return name + ":" + std::to_string(line) + ": ";
}

std::string Numbered(const char* what, long long number, int line) {
  return std::string(what) + " " + std::to_string(number) + " (line " + std::to_string(line) +
         ")";
}

bool ReadMarkers(Records& records, const char* what, bool region, std::vector<Marker>* markers,
                 std::string* error) {
  const Line* header;
  if (!records.Next(region ? "the region count" : "the hole count", 1, &header, error)) {
    return false;
  }
  long long count;
  if (!records.Count(*header, 0, region ? "region count" : "hole count", &count, error)) {
    return false;
  }
  for (long long i = 0; i < count; ++i) {
    const Line* line;
    if (!records.Next(what, region ? 4 : 3, &line, error)) return false;
    Marker marker;
    marker.line = line->number;
    if (!records.Number(*line, 1, "x", &marker.x, error) ||
        !records.Number(*line, 2, "y", &marker.y, error)) {
      return false;
    }
    if (region) {
      if (!records.Number(*line, 3, "regional attribute", &marker.attribute, error)) return false;
      if (marker.attribute < 0 || marker.attribute > 2147483647.0 ||
          marker.attribute != std::floor(marker.attribute)) {
        *error = records.At(*line) + "regional attribute " + line->tokens[3] +
                 " is not a whole number from 0 up; meshctl uses it as the domain number";
        return false;
      }
      if (line->tokens.size() > 4 &&
          !records.Number(*line, 4, "maximum area", &marker.max_area, error)) {
        return false;
      }
      // A request lists target sizes by domain number, every number below
      // the region's too: a large attribute with an area would ask for
      // gigabytes of sizes from a line of text.
      if (marker.max_area > 0 && marker.attribute > kLargestSizedDomain) {
        *error = records.At(*line) + "regional attribute " + line->tokens[3] +
                 " comes with a maximum area, but target sizes are listed by domain number; "
                 "such a region's attribute must be at most " +
                 std::to_string(kLargestSizedDomain);
        return false;
      }
    }
    markers->push_back(marker);
  }
  return true;
}

// ---------------------------------------------------------------------------
// The steps of ParsePoly: read the sections, check the graph, give each area
// its domain, build the request.

// What the file says, with vertices and segments numbered from 0.
struct PolyContents {
  std::vector<GraphVertex> vertices;
  long long base = 0;  // the number the file gives its first vertex
  std::vector<GraphSegment> segments;
  std::vector<Marker> holes, regions;
};

// The vertex section, or the .node file's when the section lists none.
bool ReadPolyVertices(Records& records, const std::string& name,
                      const NodeFileReader& read_node_file, PolyContents* poly,
                      std::string* error) {
  if (!ReadVertices(records, &poly->vertices, &poly->base, error)) return false;
  if (!poly->vertices.empty()) return true;
  std::string node_name, node_text;
  if (!read_node_file(&node_name, &node_text)) {
    *error = name + ": lists no vertices, and its .node file cannot be read";
    return false;
  }
  Records node_records(node_name, node_text);
  if (!ReadVertices(node_records, &poly->vertices, &poly->base, error)) return false;
  if (poly->vertices.empty()) {
    *error = node_name + ": lists no vertices";
    return false;
  }
  return true;
}

// The segment section: a header "count markers" and the segment records.
bool ReadSegments(Records& records, PolyContents* poly, std::string* error) {
  const long long base = poly->base;
  const long long vertex_count = static_cast<long long>(poly->vertices.size());
  const Line* header;
  if (!records.Next("the segment header (count, markers)", 1, &header, error)) return false;
  long long segment_count;
  if (!records.Count(*header, 0, "segment count", &segment_count, error)) return false;
  if (segment_count == 0) {
    *error = records.At(*header) +
             "no segments; the worker meshes areas bounded by segments, so the outline must be "
             "given as segments";
    return false;
  }
  for (long long i = 0; i < segment_count; ++i) {
    const Line* line;
    if (!records.Next("a segment (number, endpoint, endpoint)", 3, &line, error)) return false;
    long long number, ends[2];
    if (!records.Whole(*line, 0, "segment number", &number, error)) return false;
    if (number != base + i) {
      *error = records.At(*line) + "segment number " + std::to_string(number) +
               " is out of sequence; expected " + std::to_string(base + i);
      return false;
    }
    for (int e = 0; e < 2; ++e) {
      if (!records.Whole(*line, 1 + e, "endpoint", &ends[e], error)) return false;
      if (ends[e] < base || ends[e] >= base + vertex_count) {
        *error = records.At(*line) + "endpoint " + std::to_string(ends[e]) +
                 " names no vertex (they are numbered " + std::to_string(base) + " to " +
                 std::to_string(base + vertex_count - 1) + ")";
        return false;
      }
    }
    GraphSegment segment;
    segment.a = static_cast<int>(ends[0] - base);
    segment.b = static_cast<int>(ends[1] - base);
    segment.line = line->number;
    poly->segments.push_back(segment);
  }
  return true;
}

// The hole section, and the region section when the file goes on.
bool ReadHolesAndRegions(Records& records, PolyContents* poly, std::string* error) {
  if (!ReadMarkers(records, "a hole (number, x, y)", false, &poly->holes, error)) return false;
  return records.AtEnd() ||
         ReadMarkers(records, "a region (number, x, y, attribute[, maximum area])", true,
                     &poly->regions, error);
}

// The domain of each area the segments cut the plane into.
class AreaDomains {
 public:
  // Outside and holes are 0; an area a region names has the region's
  // attribute; every other area, and one named with attribute 0, is
  // unnamed_domain.
  int32_t Of(int area) const {
    if (area == PlanarFaces::kOutside || hole_area_.count(area) > 0) return 0;
    const auto it = region_of_area_.find(area);
    if (it == region_of_area_.end() || it->second.attribute == 0) {
      return static_cast<int32_t>(unnamed_domain_);
    }
    return static_cast<int32_t>(it->second.attribute);
  }

  long long unnamed_domain() const { return unnamed_domain_; }
  // The smallest positive maximum area the regions give, by attribute.
  const std::map<long long, double>& smallest_area() const { return smallest_area_; }

  // Marks the areas holding hole points as holes, noting those outside.
  bool MarkHoles(const std::string& name, const PolyContents& poly, const PlanarFaces& faces,
                 std::vector<std::string>* notes, std::string* error);
  // Names the areas holding region points, noting those outside or in a
  // hole, and numbers the unnamed domain. Call after MarkHoles.
  bool NameRegions(const std::string& name, const PolyContents& poly, const PlanarFaces& faces,
                   std::vector<std::string>* notes, std::string* error);

 private:
  struct RegionOfArea {
    double attribute;
    size_t index;
  };

  std::map<int, bool> hole_area_;
  std::map<int, RegionOfArea> region_of_area_;
  long long unnamed_domain_ = 1;
  std::map<long long, double> smallest_area_;
};

bool OnAnySegment(const PolyContents& poly, const Marker& m) {
  for (const GraphSegment& s : poly.segments) {
    const GraphVertex& a = poly.vertices[s.a];
    const GraphVertex& b = poly.vertices[s.b];
    if (OnSegment(PlanePoint{a.x, a.y}, PlanePoint{b.x, b.y}, PlanePoint{m.x, m.y})) return true;
  }
  return false;
}

bool AreaDomains::MarkHoles(const std::string& name, const PolyContents& poly,
                            const PlanarFaces& faces, std::vector<std::string>* notes,
                            std::string* error) {
  const long long base = poly.base;
  const std::vector<Marker>& holes = poly.holes;
  for (size_t i = 0; i < holes.size(); ++i) {
    if (OnAnySegment(poly, holes[i])) {
      *error = At(name, holes[i].line) + Numbered("hole", base + i, holes[i].line) +
               " lies on a segment; it must lie inside the area it removes";
      return false;
    }
    const int area = faces.FaceOf(holes[i].x, holes[i].y);
    if (area == PlanarFaces::kOutside) {
      notes->push_back(Numbered("hole", base + i, holes[i].line) +
                       " lies outside the outline; ignored");
    }
    hole_area_[area] = true;
  }
  return true;
}

bool AreaDomains::NameRegions(const std::string& name, const PolyContents& poly,
                              const PlanarFaces& faces, std::vector<std::string>* notes,
                              std::string* error) {
  const long long base = poly.base;
  const std::vector<Marker>& regions = poly.regions;
  long long highest = 0;
  for (size_t i = 0; i < regions.size(); ++i) {
    const Marker& region = regions[i];
    if (OnAnySegment(poly, region)) {
      *error = At(name, region.line) + Numbered("region", base + i, region.line) +
               " lies on a segment; it must lie inside the area it names";
      return false;
    }
    const int area = faces.FaceOf(region.x, region.y);
    if (area == PlanarFaces::kOutside || hole_area_.count(area) > 0) {
      notes->push_back(Numbered("region", base + i, region.line) +
                       (area == PlanarFaces::kOutside ? " lies outside the outline"
                                                 : " lies in a hole") +
                       "; ignored");
      continue;
    }
    const auto inserted = region_of_area_.emplace(area, RegionOfArea{region.attribute, i});
    if (!inserted.second && inserted.first->second.attribute != region.attribute) {
      const size_t other = inserted.first->second.index;
      *error = At(name, region.line) + Numbered("region", base + i, region.line) + " and " +
               Numbered("region", base + other, regions[other].line) +
               " lie in the same area but give it different attributes";
      return false;
    }
    const long long attribute = static_cast<long long>(region.attribute);
    highest = std::max(highest, attribute);
    if (region.max_area > 0) {
      auto it = smallest_area_.find(attribute);
      if (it == smallest_area_.end() || region.max_area < it->second) {
        smallest_area_[attribute] = region.max_area;
      }
    }
  }
  unnamed_domain_ = highest + 1;
  if (unnamed_domain_ > 2147483647LL) {
    *error = name + ": the highest regional attribute leaves no domain number for the areas "
                    "without one";
    return false;
  }
  return true;
}

// The points, the segments with the domains on their sides (turned so that
// a domain lies on the left of one it shares with the outside), the lone
// vertices inside a domain as interior-only points, and the regions' target
// sizes.
bool BuildRequest(const std::string& name, const PolyContents& poly, const PlanarFaces& faces,
                  const AreaDomains& domains, MeshRequest* request, std::string* error) {
  const long long base = poly.base;
  const std::vector<GraphVertex>& vertices = poly.vertices;
  const std::vector<GraphSegment>& segments = poly.segments;
  *request = MeshRequest();
  for (const GraphVertex& v : vertices) request->points.push_back(Point3{v.x, v.y, 0.0});
  request->plane_normal = Point3{0.0, 0.0, 1.0};
  for (size_t i = 0; i < segments.size(); ++i) {
    BoundarySegment out;
    out.point_a = segments[i].a;
    out.point_b = segments[i].b;
    out.left_domain = domains.Of(faces.FaceLeftOf(2 * i));
    out.right_domain = domains.Of(faces.FaceLeftOf(2 * i + 1));
    if (out.left_domain == 0 && out.right_domain == 0) {
      *error = At(name, segments[i].line) + Numbered("segment", base + i, segments[i].line) +
               " has the outside or a hole on both sides; remove it";
      return false;
    }
    if (out.left_domain == 0) {
      std::swap(out.point_a, out.point_b);
      std::swap(out.left_domain, out.right_domain);
    }
    request->segments.push_back(out);
  }
  std::vector<bool> on_segment(vertices.size(), false);
  for (const GraphSegment& s : segments) on_segment[s.a] = on_segment[s.b] = true;
  for (size_t p = 0; p < vertices.size(); ++p) {
    if (on_segment[p]) continue;
    if (domains.Of(faces.FaceOf(vertices[p].x, vertices[p].y)) == 0) {
      *error = At(name, vertices[p].line) + Numbered("vertex", base + p, vertices[p].line) +
               " is on no segment and lies outside every domain; the worker keeps every point, "
               "so remove it";
      return false;
    }
    request->interior_only.push_back(static_cast<int32_t>(p));
  }
  for (const auto& entry : domains.smallest_area()) {
    const long long domain = entry.first == 0 ? domains.unnamed_domain() : entry.first;
    if (request->domain_target_sizes.size() < static_cast<size_t>(domain)) {
      request->domain_target_sizes.resize(static_cast<size_t>(domain), 0.0);
    }
    double& size = request->domain_target_sizes[static_cast<size_t>(domain) - 1];
    const double side = std::sqrt(4.0 * entry.second / std::sqrt(3.0));
    size = size > 0 ? std::min(size, side) : side;
  }
  return true;
}

}  // namespace

bool ParsePoly(const std::string& name, const std::string& text,
               const NodeFileReader& read_node_file, PolyResult* result, std::string* error) {
  Records records(name, text);
  PolyContents poly;
  if (!ReadPolyVertices(records, name, read_node_file, &poly, error) ||
      !ReadSegments(records, &poly, error) || !ReadHolesAndRegions(records, &poly, error) ||
      !CheckGraph(name, poly.vertices, poly.segments, poly.base, error)) {
    return false;
  }
  const PlanarFaces faces(poly.vertices, poly.segments);
  AreaDomains domains;
  return domains.MarkHoles(name, poly, faces, &result->notes, error) &&
         domains.NameRegions(name, poly, faces, &result->notes, error) &&
         BuildRequest(name, poly, faces, domains, &result->request, error);
}

bool ReadPolyFile(const std::string& path, PolyResult* result, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot be read";
    return false;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const NodeFileReader read_node = [&path](std::string* name, std::string* node_text) {
    const size_t dot = path.rfind('.');
    *name = (dot == std::string::npos ? path : path.substr(0, dot)) + ".node";
    std::ifstream node(*name, std::ios::binary);
    if (!node) return false;
    node_text->assign(std::istreambuf_iterator<char>(node), std::istreambuf_iterator<char>());
    return true;
  };
  return ParsePoly(path, text, read_node, result, error);
}

}  // namespace mesh

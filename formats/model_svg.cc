#include "formats/model_svg.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <vector>

namespace mesh {

namespace {

struct Vec {
  double x, y, z;
};

Vec Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
double Dot(const Vec& a, const Vec& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
Vec Cross(const Vec& a, const Vec& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec Unit(const Vec& v) {
  const double length = std::sqrt(Dot(v, v));
  if (length == 0) return {0, 0, 0};
  return {v.x / length, v.y / length, v.z / length};
}

struct Rgb {
  int r, g, b;
};

// Colours people expect of a building model: red roofs, pale walls, grey
// ground; anything else from a palette that tells neighbours apart.
Rgb SemanticColour(const std::string& name, size_t index) {
  static const std::map<std::string, Rgb> known = {
      {"RoofSurface", {196, 78, 62}},       {"WallSurface", {222, 210, 186}},
      {"GroundSurface", {120, 120, 120}},   {"ClosureSurface", {150, 190, 220}},
      {"OuterCeilingSurface", {200, 160, 120}}, {"OuterFloorSurface", {170, 150, 130}},
      {"Window", {110, 160, 210}},          {"Door", {140, 100, 70}},
  };
  auto it = known.find(name);
  if (it != known.end()) return it->second;
  static const Rgb palette[] = {{102, 166, 30}, {117, 112, 179}, {230, 171, 2},
                                {27, 158, 119}, {231, 41, 138},  {166, 118, 29}};
  return palette[index % (sizeof palette / sizeof palette[0])];
}

std::string Hex(const Rgb& c, double shade) {
  auto channel = [shade](int v) { return std::clamp(static_cast<int>(std::lround(v * shade)), 0, 255); };
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", channel(c.r), channel(c.g), channel(c.b));
  return text;
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

struct Painted {
  double depth;
  int32_t face;
  std::vector<int32_t> corners;
};

}  // namespace

std::string ModelMeshToSvg(const Model& model, const ModelMesh& mesh, const std::string& title) {
  // Looking down at 35 degrees from the south-west, the usual view of a
  // city model: walls facing two ways and the roofs all show.
  const Vec view = Unit({1, 1, -1});
  const Vec right = Unit(Cross(view, {0, 0, 1}));
  const Vec up = Cross(right, view);
  const Vec light = Unit({-0.4, -0.6, 1});

  // City coordinates are large (UTM, national grids): work relative to the
  // middle so the projection keeps its digits.
  Point3 middle;
  if (!mesh.vertices.empty()) {
    Point3 low = mesh.vertices[0], high = mesh.vertices[0];
    for (const Point3& p : mesh.vertices) {
      low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
      high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
    }
    middle = {(low.x + high.x) / 2, (low.y + high.y) / 2, (low.z + high.z) / 2};
  }
  std::vector<double> sx(mesh.vertices.size()), sy(mesh.vertices.size()), depth(mesh.vertices.size());
  double min_x = HUGE_VAL, max_x = -HUGE_VAL, min_y = HUGE_VAL, max_y = -HUGE_VAL;
  for (size_t i = 0; i < mesh.vertices.size(); ++i) {
    const Vec p = Sub(mesh.vertices[i], middle);
    sx[i] = Dot(p, right);
    sy[i] = -Dot(p, up);
    depth[i] = Dot(p, view);
    min_x = std::min(min_x, sx[i]);
    max_x = std::max(max_x, sx[i]);
    min_y = std::min(min_y, sy[i]);
    max_y = std::max(max_y, sy[i]);
  }
  if (mesh.vertices.empty()) min_x = max_x = min_y = max_y = 0;

  std::vector<Painted> elements;
  elements.reserve(mesh.quads.size() + mesh.triangles.size());
  auto add = [&](const int32_t* corners, size_t count, int32_t face) {
    Painted painted{0, face, std::vector<int32_t>(corners, corners + count)};
    for (int32_t v : painted.corners) painted.depth += depth[static_cast<size_t>(v)];
    painted.depth /= static_cast<double>(count);
    elements.push_back(std::move(painted));
  };
  for (size_t q = 0; q < mesh.quads.size(); ++q) add(mesh.quads[q].data(), 4, mesh.quad_faces[q]);
  for (size_t t = 0; t < mesh.triangles.size(); ++t)
    add(mesh.triangles[t].data(), 3, mesh.triangle_faces[t]);
  std::stable_sort(elements.begin(), elements.end(),
                   [](const Painted& a, const Painted& b) { return a.depth > b.depth; });

  const double width = 1000, margin = 20;
  const double span_x = std::max(max_x - min_x, 1e-9), span_y = std::max(max_y - min_y, 1e-9);
  // Tall views (a tower, a street seen end on) are fitted by height so the
  // picture stays on a screen.
  const double most_height = 1000;
  const double scale = std::min((width - 2 * margin) / span_x, (most_height - 2 * margin) / span_y);
  const double drawing_height = span_y * scale;
  std::map<int32_t, size_t> counts;  // semantic -> elements
  for (const Painted& e : elements) counts[model.faces[static_cast<size_t>(e.face)].semantic]++;
  const double legend_height = 24.0 * static_cast<double>(counts.size()) + 10;
  const double height = drawing_height + 2 * margin + legend_height;

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Number(width) + "\" height=\"" +
         Number(height) + "\" viewBox=\"0 0 " + Number(width) + " " + Number(height) + "\">\n";
  svg += "<title>" + Escape(title) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n<g class=\"elements\">\n";
  for (const Painted& e : elements) {
    const ModelFace& face = model.faces[static_cast<size_t>(e.face)];
    const std::string name =
        face.semantic >= 0 ? model.semantics[static_cast<size_t>(face.semantic)] : std::string();
    const Rgb colour = SemanticColour(name, static_cast<size_t>(face.semantic + 1));
    Vec normal{0, 0, 0};
    const Point3& first = mesh.vertices[static_cast<size_t>(e.corners[0])];
    for (size_t k = 1; k + 1 < e.corners.size(); ++k) {
      const Vec c = Cross(Sub(mesh.vertices[static_cast<size_t>(e.corners[k])], first),
                          Sub(mesh.vertices[static_cast<size_t>(e.corners[k + 1])], first));
      normal = {normal.x + c.x, normal.y + c.y, normal.z + c.z};
    }
    const double shade = 0.6 + 0.4 * std::fabs(Dot(Unit(normal), light));
    svg += "<polygon points=\"";
    for (size_t k = 0; k < e.corners.size(); ++k) {
      const size_t v = static_cast<size_t>(e.corners[k]);
      if (k > 0) svg += ' ';
      svg += Number(margin + (sx[v] - min_x) * scale) + "," + Number(margin + (sy[v] - min_y) * scale);
    }
    svg += "\" fill=\"" + Hex(colour, shade) + "\" stroke=\"" + Hex(colour, shade * 0.6) +
           "\" stroke-width=\"0.3\"/>\n";
  }
  svg += "</g>\n<g class=\"legend\" font-family=\"sans-serif\" font-size=\"14\">\n";
  double legend_y = drawing_height + 2 * margin;
  for (const auto& [semantic, count] : counts) {
    const std::string name = semantic >= 0 ? model.semantics[static_cast<size_t>(semantic)]
                                           : std::string("(no semantic type)");
    svg += "<rect x=\"" + Number(margin) + "\" y=\"" + Number(legend_y) +
           "\" width=\"16\" height=\"16\" fill=\"" +
           Hex(SemanticColour(semantic >= 0 ? name : std::string(), static_cast<size_t>(semantic + 1)), 1) +
           "\"/>\n<text x=\"" + Number(margin + 24) + "\" y=\"" + Number(legend_y + 13) + "\">" +
           Escape(name) + ": " + std::to_string(count) + " elements</text>\n";
    legend_y += 24;
  }
  svg += "</g>\n</svg>\n";
  return svg;
}

}  // namespace mesh

#include "formats/mesh_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

#include "formats/mesh_quality.h"
#include "planar/plane_frame.h"
#include "planar/polygon_geometry.h"

namespace mesh {

namespace {

std::string Format(const char* format, double value) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, format, value);
  return buffer;
}

// Shortest text that reads back as the same double.
std::string Exact(double value) { return Format("%.17g", value); }

std::string Pixels(double value) { return Format("%.2f", value); }

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::set<int32_t> Domains(const PlanarComplexMesh& mesh) {
  std::set<int32_t> domains(mesh.quad_domains.begin(), mesh.quad_domains.end());
  domains.insert(mesh.triangle_domains.begin(), mesh.triangle_domains.end());
  return domains;
}

Point3 Cross(const Point3& a, const Point3& b) {
  return Point3{a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

double Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

Point3 Normalised(const Point3& a) {
  const double length = std::sqrt(Dot(a, a));
  return Point3{a.x / length, a.y / length, a.z / length};
}

// The plane is seen from the side the worker sees it from: its normal is the
// one BuildFrame gives with the worker's choice of hint (the request's
// plane_normal, else the area vector of the outer segments), so domains lie
// left of their segments in the picture as they do for the worker. The
// worker's in-plane axes follow the longest edge, which would turn the
// picture at random; u follows the caller's x axis instead (y for a plane
// square to x), so that drawings in the x-y plane come out upright.
PlanarFrame PictureFrame(const MeshRequest& request, const PlanarComplexMesh& mesh) {
  Point3 hint = request.plane_normal;
  if (hint.x == 0 && hint.y == 0 && hint.z == 0) {
    std::vector<size_t> outer;
    for (size_t i = 0; i < request.segments.size(); ++i) {
      if (request.segments[i].right_domain == 0) outer.push_back(i);
    }
    AddSegmentAreaVector(request.points, request.segments, outer, Point3(), &hint);
  }
  const bool has_hint = hint.x != 0 || hint.y != 0 || hint.z != 0;
  PlanarFrame frame;
  if (!BuildFrame(request.points, has_hint ? &hint : nullptr, &frame) &&
      !BuildFrame(mesh.vertices, nullptr, &frame)) {
    // Nothing to orient by: look down the z axis.
    frame.u_axis = Point3{1, 0, 0};
    frame.v_axis = Point3{0, 1, 0};
    return frame;
  }
  const Point3 normal = Normalised(Cross(frame.u_axis, frame.v_axis));
  Point3 u{1, 0, 0};
  if (std::fabs(Dot(u, normal)) > 0.99) u = Point3{0, 1, 0};
  const double along = Dot(u, normal);
  u = Normalised(Point3{u.x - along * normal.x, u.y - along * normal.y, u.z - along * normal.z});
  frame.u_axis = u;
  frame.v_axis = Cross(normal, u);
  return frame;
}

const char* const kPalette[] = {"#8ecae6", "#ffb703", "#90be6d", "#f28482",
                                "#cdb4db", "#f6bd60", "#84a59d", "#a0c4ff"};

}  // namespace

std::string MeshSummary(const PlanarComplexMesh& mesh) {
  const size_t domains = Domains(mesh).size();
  return std::to_string(mesh.vertices.size()) + " vertices, " +
         std::to_string(mesh.quads.size()) + " quads, " +
         std::to_string(mesh.triangles.size()) + " triangles in " + std::to_string(domains) +
         (domains == 1 ? " domain" : " domains");
}

namespace {

// How the elements are filled: each element (quads first, then triangles,
// in the record's order) belongs to one group, drawn as one path, with one
// legend row per group.
struct SvgGroup {
  std::string class_name;
  std::string fill;
  std::string legend;
};

struct SvgPaint {
  std::vector<size_t> element_group;
  std::vector<SvgGroup> groups;
};

std::string DrawSvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                    const std::string& title, const SvgPaint& paint) {
  const PlanarFrame frame = PictureFrame(request, mesh);
  std::vector<PlanePoint> vertices;
  for (const Point3& v : mesh.vertices) vertices.push_back(frame.ToPlane(v));
  std::vector<PlanePoint> points;
  for (const Point3& p : request.points) points.push_back(frame.ToPlane(p));

  double low_u = HUGE_VAL, low_v = HUGE_VAL, high_u = -HUGE_VAL, high_v = -HUGE_VAL;
  for (const std::vector<PlanePoint>* set : {&vertices, &points}) {
    for (const PlanePoint& p : *set) {
      low_u = std::min(low_u, p.u);
      high_u = std::max(high_u, p.u);
      low_v = std::min(low_v, p.v);
      high_v = std::max(high_v, p.v);
    }
  }
  if (!(low_u <= high_u)) low_u = high_u = low_v = high_v = 0;
  const double margin = 24, drawing = 760;
  const double extent = std::max({high_u - low_u, high_v - low_v, 1e-300});
  const double scale = drawing / extent;
  const double width = (high_u - low_u) * scale + 2 * margin;
  const double picture_height = (high_v - low_v) * scale + 2 * margin;
  const double legend_height = 24.0 * static_cast<double>(paint.groups.size()) + 8;
  const double height = picture_height + legend_height;
  auto x = [&](const PlanePoint& p) { return Pixels(margin + (p.u - low_u) * scale); };
  // SVG's y grows downwards; v grows upwards.
  auto y = [&](const PlanePoint& p) { return Pixels(margin + (high_v - p.v) * scale); };

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Pixels(std::max(width, 260.0)) +
         "\" height=\"" + Pixels(height) + "\" viewBox=\"0 0 " + Pixels(std::max(width, 260.0)) +
         " " + Pixels(height) + "\">\n";
  svg += "<title>" + Escape(title) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

  // One path per group, one closed subpath per element.
  std::vector<std::string> element_paths(paint.groups.size());
  size_t element = 0;
  auto add_element = [&](const int32_t* corners, size_t count) {
    std::string& d = element_paths[paint.element_group[element++]];
    for (size_t i = 0; i < count; ++i) {
      const PlanePoint& p = vertices[static_cast<size_t>(corners[i])];
      d += (i == 0 ? "M" : "L") + x(p) + " " + y(p);
    }
    d += "Z";
  };
  for (const auto& q : mesh.quads) add_element(q.data(), 4);
  for (const auto& t : mesh.triangles) add_element(t.data(), 3);
  for (size_t g = 0; g < paint.groups.size(); ++g) {
    if (element_paths[g].empty()) continue;
    svg += "<path class=\"" + paint.groups[g].class_name + "\" fill=\"" + paint.groups[g].fill +
           "\" stroke=\"#3a3a3a\" stroke-width=\"0.6\" stroke-linejoin=\"round\" d=\"" +
           element_paths[g] + "\"/>\n";
  }

  std::string chains;
  for (const std::vector<int32_t>& chain : mesh.segment_chains) {
    for (size_t i = 0; i < chain.size(); ++i) {
      const PlanePoint& p = vertices[static_cast<size_t>(chain[i])];
      chains += (i == 0 ? "M" : "L") + x(p) + " " + y(p);
    }
  }
  if (!chains.empty()) {
    svg += "<path class=\"segments\" fill=\"none\" stroke=\"#111111\" stroke-width=\"2.5\" "
           "stroke-linecap=\"round\" stroke-linejoin=\"round\" d=\"" +
           chains + "\"/>\n";
  }

  std::set<int32_t> interior(request.interior_only.begin(), request.interior_only.end());
  svg += "<g class=\"points\">\n";
  for (size_t i = 0; i < points.size(); ++i) {
    const bool hollow = interior.count(static_cast<int32_t>(i)) > 0;
    svg += "<circle cx=\"" + x(points[i]) + "\" cy=\"" + y(points[i]) + "\" r=\"3.2\" fill=\"" +
           (hollow ? "white" : "#c1121f") + "\" stroke=\"#c1121f\" stroke-width=\"1.5\"/>\n";
  }
  svg += "</g>\n";

  double legend_y = picture_height + 4;
  for (const SvgGroup& group : paint.groups) {
    svg += "<rect x=\"" + Pixels(margin) + "\" y=\"" + Pixels(legend_y) +
           "\" width=\"16\" height=\"16\" fill=\"" + group.fill +
           "\" stroke=\"#3a3a3a\" stroke-width=\"0.6\"/>\n";
    svg += "<text x=\"" + Pixels(margin + 24) + "\" y=\"" + Pixels(legend_y + 13) +
           "\" font-family=\"sans-serif\" font-size=\"13\">" + Escape(group.legend) +
           "</text>\n";
    legend_y += 24;
  }
  svg += "</svg>\n";
  return svg;
}

// Red through yellow to green, for qualities 0 to 1.
std::string QualityColour(double quality) {
  const double q = std::min(1.0, std::max(0.0, quality));
  const double red = q < 0.5 ? 215 : 215 - (q - 0.5) * 2 * (215 - 26);
  const double green = q < 0.5 ? 48 + q * 2 * (200 - 48) : 200 - (q - 0.5) * 2 * (200 - 150);
  const double blue = q < 0.5 ? 39 + q * 2 * (60 - 39) : 60 + (q - 0.5) * 2 * (80 - 60);
  char text[8];
  std::snprintf(text, sizeof text, "#%02x%02x%02x", static_cast<unsigned>(std::lround(red)),
                static_cast<unsigned>(std::lround(green)), static_cast<unsigned>(std::lround(blue)));
  return text;
}

}  // namespace

std::string MeshToSvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                      const std::string& title) {
  SvgPaint paint;
  std::map<int32_t, size_t> group_of;
  for (int32_t d : Domains(mesh)) {
    const size_t quads = static_cast<size_t>(
        std::count(mesh.quad_domains.begin(), mesh.quad_domains.end(), d));
    const size_t triangles = static_cast<size_t>(
        std::count(mesh.triangle_domains.begin(), mesh.triangle_domains.end(), d));
    group_of[d] = paint.groups.size();
    paint.groups.push_back(SvgGroup{
        "domain-" + std::to_string(d),
        kPalette[paint.groups.size() % (sizeof kPalette / sizeof *kPalette)],
        "domain " + std::to_string(d) + ": " + std::to_string(quads) + " quads, " +
            std::to_string(triangles) + " triangles"});
  }
  for (int32_t d : mesh.quad_domains) paint.element_group.push_back(group_of[d]);
  for (int32_t d : mesh.triangle_domains) paint.element_group.push_back(group_of[d]);
  return DrawSvg(request, mesh, title, paint);
}

std::string MeshToQualitySvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                             const std::string& title) {
  SvgPaint paint;
  std::array<size_t, kQualityBins> counts{};
  // The legend runs from the best tenth down, so that the few bad elements
  // a reader looks for are counted at the bottom.
  for (const ElementShape& shape : ElementShapes(mesh)) {
    const size_t bin = QualityBin(shape.quality);
    paint.element_group.push_back(kQualityBins - 1 - bin);
    ++counts[bin];
  }
  for (size_t bin = kQualityBins; bin-- > 0;) {
    const double low = static_cast<double>(bin) / kQualityBins;
    char legend[96];
    std::snprintf(legend, sizeof legend, "quality %.1f to %.1f: %zu elements", low,
                  low + 1.0 / kQualityBins, counts[bin]);
    paint.groups.push_back(SvgGroup{"quality-" + std::to_string(bin),
                                    QualityColour(low + 0.5 / kQualityBins), legend});
  }
  return DrawSvg(request, mesh, title, paint);
}

std::string MeshToVtu(const PlanarComplexMesh& mesh) {
  const size_t surface_cells = mesh.quads.size() + mesh.triangles.size();
  size_t line_cells = 0;
  for (const std::vector<int32_t>& chain : mesh.segment_chains) {
    if (chain.size() > 1) line_cells += chain.size() - 1;
  }
  const size_t cells = surface_cells + line_cells;
  std::string vtu = "<?xml version=\"1.0\"?>\n";
  vtu += "<VTKFile type=\"UnstructuredGrid\" version=\"1.0\" byte_order=\"LittleEndian\" "
         "header_type=\"UInt64\">\n";
  vtu += "  <UnstructuredGrid>\n";
  vtu += "    <Piece NumberOfPoints=\"" + std::to_string(mesh.vertices.size()) +
         "\" NumberOfCells=\"" + std::to_string(cells) + "\">\n";
  vtu += "      <Points>\n";
  vtu += "        <DataArray type=\"Float64\" NumberOfComponents=\"3\" format=\"ascii\">\n";
  for (const Point3& v : mesh.vertices) {
    vtu += "          " + Exact(v.x) + " " + Exact(v.y) + " " + Exact(v.z) + "\n";
  }
  vtu += "        </DataArray>\n      </Points>\n      <Cells>\n";
  vtu += "        <DataArray type=\"Int64\" Name=\"connectivity\" format=\"ascii\">\n";
  for (const auto& q : mesh.quads) {
    vtu += "          " + std::to_string(q[0]) + " " + std::to_string(q[1]) + " " +
           std::to_string(q[2]) + " " + std::to_string(q[3]) + "\n";
  }
  for (const auto& t : mesh.triangles) {
    vtu += "          " + std::to_string(t[0]) + " " + std::to_string(t[1]) + " " +
           std::to_string(t[2]) + "\n";
  }
  for (const std::vector<int32_t>& chain : mesh.segment_chains) {
    for (size_t i = 1; i < chain.size(); ++i) {
      vtu += "          " + std::to_string(chain[i - 1]) + " " + std::to_string(chain[i]) + "\n";
    }
  }
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
  size_t offset = 0;
  for (size_t i = 0; i < cells; ++i) {
    offset += i < mesh.quads.size() ? 4 : i < surface_cells ? 3 : 2;
    vtu += "          " + std::to_string(offset) + "\n";
  }
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
  // VTK_QUAD is 9, VTK_TRIANGLE 5, VTK_LINE 3.
  for (size_t i = 0; i < cells; ++i) {
    vtu += i < mesh.quads.size() ? "          9\n" : i < surface_cells ? "          5\n"
                                                                      : "          3\n";
  }
  vtu += "        </DataArray>\n      </Cells>\n";
  // Every array covers every cell, so each kind marks the other's cells -1.
  vtu += "      <CellData Scalars=\"domain\">\n";
  vtu += "        <DataArray type=\"Int32\" Name=\"domain\" format=\"ascii\">\n";
  for (int32_t d : mesh.quad_domains) vtu += "          " + std::to_string(d) + "\n";
  for (int32_t d : mesh.triangle_domains) vtu += "          " + std::to_string(d) + "\n";
  for (size_t i = 0; i < line_cells; ++i) vtu += "          -1\n";
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"Int32\" Name=\"segment\" format=\"ascii\">\n";
  for (size_t i = 0; i < surface_cells; ++i) vtu += "          -1\n";
  for (size_t s = 0; s < mesh.segment_chains.size(); ++s) {
    for (size_t i = 1; i < mesh.segment_chains[s].size(); ++i) {
      vtu += "          " + std::to_string(s) + "\n";
    }
  }
  vtu += "        </DataArray>\n      </CellData>\n";
  vtu += "    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
  return vtu;
}

std::string SegmentGroupName(size_t index, const BoundarySegment& segment) {
  return "segment " + std::to_string(index) + " (left domain " +
         std::to_string(segment.left_domain) + ", right domain " +
         std::to_string(segment.right_domain) + ")";
}

std::string MeshToMsh(const MeshRequest& request, const PlanarComplexMesh& mesh) {
  const std::set<int32_t> domains = Domains(mesh);
  // Entity tags must be positive and unique; domains keep their own numbers
  // as physical tags.
  std::map<int32_t, int> entity;
  for (int32_t d : domains) entity.emplace(d, static_cast<int>(entity.size()) + 1);
  // One curve per segment that has a chain, its entity and physical tag the
  // segment index + 1 (dimensions number their groups apart).
  std::vector<size_t> curves;
  for (size_t s = 0; s < mesh.segment_chains.size() && s < request.segments.size(); ++s) {
    if (mesh.segment_chains[s].size() > 1) curves.push_back(s);
  }

  std::string msh = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
  msh += "$PhysicalNames\n" + std::to_string(curves.size() + domains.size()) + "\n";
  for (size_t s : curves) {
    msh += "1 " + std::to_string(s + 1) + " \"" + SegmentGroupName(s, request.segments[s]) +
           "\"\n";
  }
  for (int32_t d : domains) msh += "2 " + std::to_string(d) + " \"domain " + std::to_string(d) + "\"\n";
  msh += "$EndPhysicalNames\n";

  // Each entity's box covers the vertices of its elements.
  auto widen = [&](std::array<double, 6>* box, bool* empty, int32_t vertex) {
    const Point3& p = mesh.vertices[static_cast<size_t>(vertex)];
    if (*empty) *box = {p.x, p.y, p.z, p.x, p.y, p.z};
    *empty = false;
    *box = {std::min((*box)[0], p.x), std::min((*box)[1], p.y), std::min((*box)[2], p.z),
            std::max((*box)[3], p.x), std::max((*box)[4], p.y), std::max((*box)[5], p.z)};
  };
  auto box_text = [](const std::array<double, 6>& box) {
    std::string text;
    for (double c : box) text += " " + Exact(c);
    return text;
  };
  std::map<int32_t, std::array<double, 6>> boxes;
  auto widen_domain = [&](int32_t d, int32_t vertex) {
    bool empty = boxes.count(d) == 0;
    widen(&boxes[d], &empty, vertex);
  };
  for (size_t q = 0; q < mesh.quads.size(); ++q) {
    for (int32_t v : mesh.quads[q]) widen_domain(mesh.quad_domains[q], v);
  }
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    for (int32_t v : mesh.triangles[t]) widen_domain(mesh.triangle_domains[t], v);
  }
  msh += "$Entities\n0 " + std::to_string(curves.size()) + " " + std::to_string(domains.size()) +
         " 0\n";
  for (size_t s : curves) {
    std::array<double, 6> box{};
    bool empty = true;
    for (int32_t v : mesh.segment_chains[s]) widen(&box, &empty, v);
    msh += std::to_string(s + 1) + box_text(box) + " 1 " + std::to_string(s + 1) + " 0\n";
  }
  for (int32_t d : domains) {
    msh += std::to_string(entity[d]) + box_text(boxes[d]) + " 1 " + std::to_string(d) + " 0\n";
  }
  msh += "$EndEntities\n";

  // All nodes in one block: a node shared by two domains belongs to neither
  // more than the other, and Gmsh accepts nodes classified on any entity.
  const size_t v_count = mesh.vertices.size();
  const int first_entity = domains.empty() ? 1 : entity.begin()->second;
  msh += "$Nodes\n1 " + std::to_string(v_count) + " 1 " + std::to_string(v_count) + "\n";
  msh += "2 " + std::to_string(first_entity) + " 0 " + std::to_string(v_count) + "\n";
  for (size_t i = 1; i <= v_count; ++i) msh += std::to_string(i) + "\n";
  for (const Point3& v : mesh.vertices) msh += Exact(v.x) + " " + Exact(v.y) + " " + Exact(v.z) + "\n";
  msh += "$EndNodes\n";

  // Blocks by domain and type; element tags keep the record's order, and
  // the segments' lines follow, segment by segment along each chain.
  struct Block {
    int dimension;
    int entity;
    int type;  // 3: 4-node quad, 2: 3-node triangle, 1: 2-node line
    std::string lines;
    size_t count = 0;
  };
  std::vector<Block> blocks;
  std::map<std::pair<int32_t, int>, size_t> block_of;
  size_t tag = 0;
  auto add = [&](int32_t domain, int type, const int32_t* corners, size_t n) {
    auto found = block_of.emplace(std::make_pair(domain, type), blocks.size());
    if (found.second) blocks.push_back(Block{2, entity[domain], type, "", 0});
    Block& block = blocks[found.first->second];
    block.lines += std::to_string(++tag);
    for (size_t i = 0; i < n; ++i) block.lines += " " + std::to_string(corners[i] + 1);
    block.lines += "\n";
    ++block.count;
  };
  for (size_t q = 0; q < mesh.quads.size(); ++q) add(mesh.quad_domains[q], 3, mesh.quads[q].data(), 4);
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    add(mesh.triangle_domains[t], 2, mesh.triangles[t].data(), 3);
  }
  for (size_t s : curves) {
    Block block{1, static_cast<int>(s + 1), 1, "", 0};
    const std::vector<int32_t>& chain = mesh.segment_chains[s];
    for (size_t i = 1; i < chain.size(); ++i) {
      block.lines += std::to_string(++tag) + " " + std::to_string(chain[i - 1] + 1) + " " +
                     std::to_string(chain[i] + 1) + "\n";
      ++block.count;
    }
    blocks.push_back(std::move(block));
  }
  msh += "$Elements\n" + std::to_string(blocks.size()) + " " + std::to_string(tag) + " " +
         (tag > 0 ? "1" : "0") + " " + std::to_string(tag) + "\n";
  for (const Block& block : blocks) {
    msh += std::to_string(block.dimension) + " " + std::to_string(block.entity) + " " +
           std::to_string(block.type) + " " + std::to_string(block.count) + "\n" + block.lines;
  }
  msh += "$EndElements\n";
  return msh;
}

}  // namespace mesh

#include "cli/mesh_export.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <vector>

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

std::string MeshToSvg(const MeshRequest& request, const PlanarComplexMesh& mesh,
                      const std::string& title) {
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
  const std::set<int32_t> domains = Domains(mesh);
  const double legend_height = 24.0 * static_cast<double>(domains.size()) + 8;
  const double height = picture_height + legend_height;
  auto x = [&](const PlanePoint& p) { return Pixels(margin + (p.u - low_u) * scale); };
  // SVG's y grows downwards; v grows upwards.
  auto y = [&](const PlanePoint& p) { return Pixels(margin + (high_v - p.v) * scale); };

  std::map<int32_t, std::string> colour;
  size_t next = 0;
  for (int32_t d : domains) colour[d] = kPalette[next++ % (sizeof kPalette / sizeof *kPalette)];

  std::string svg = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  svg += "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" + Pixels(std::max(width, 260.0)) +
         "\" height=\"" + Pixels(height) + "\" viewBox=\"0 0 " + Pixels(std::max(width, 260.0)) +
         " " + Pixels(height) + "\">\n";
  svg += "<title>" + Escape(title) + "</title>\n";
  svg += "<rect width=\"100%\" height=\"100%\" fill=\"white\"/>\n";

  // One path per domain, one closed subpath per element.
  std::map<int32_t, std::string> element_paths;
  auto add_element = [&](int32_t domain, const int32_t* corners, size_t count) {
    std::string& d = element_paths[domain];
    for (size_t i = 0; i < count; ++i) {
      const PlanePoint& p = vertices[static_cast<size_t>(corners[i])];
      d += (i == 0 ? "M" : "L") + x(p) + " " + y(p);
    }
    d += "Z";
  };
  for (size_t q = 0; q < mesh.quads.size(); ++q) add_element(mesh.quad_domains[q], mesh.quads[q].data(), 4);
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    add_element(mesh.triangle_domains[t], mesh.triangles[t].data(), 3);
  }
  for (const auto& entry : element_paths) {
    svg += "<path class=\"domain-" + std::to_string(entry.first) + "\" fill=\"" +
           colour[entry.first] +
           "\" stroke=\"#3a3a3a\" stroke-width=\"0.6\" stroke-linejoin=\"round\" d=\"" +
           entry.second + "\"/>\n";
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
  for (int32_t d : domains) {
    const size_t quads = static_cast<size_t>(
        std::count(mesh.quad_domains.begin(), mesh.quad_domains.end(), d));
    const size_t triangles = static_cast<size_t>(
        std::count(mesh.triangle_domains.begin(), mesh.triangle_domains.end(), d));
    svg += "<rect x=\"" + Pixels(margin) + "\" y=\"" + Pixels(legend_y) +
           "\" width=\"16\" height=\"16\" fill=\"" + colour[d] +
           "\" stroke=\"#3a3a3a\" stroke-width=\"0.6\"/>\n";
    svg += "<text x=\"" + Pixels(margin + 24) + "\" y=\"" + Pixels(legend_y + 13) +
           "\" font-family=\"sans-serif\" font-size=\"13\">domain " + std::to_string(d) + ": " +
           std::to_string(quads) + " quads, " + std::to_string(triangles) + " triangles</text>\n";
    legend_y += 24;
  }
  svg += "</svg>\n";
  return svg;
}

std::string MeshToVtu(const PlanarComplexMesh& mesh) {
  const size_t cells = mesh.quads.size() + mesh.triangles.size();
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
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"Int64\" Name=\"offsets\" format=\"ascii\">\n";
  size_t offset = 0;
  for (size_t i = 0; i < cells; ++i) {
    offset += i < mesh.quads.size() ? 4 : 3;
    vtu += "          " + std::to_string(offset) + "\n";
  }
  vtu += "        </DataArray>\n";
  vtu += "        <DataArray type=\"UInt8\" Name=\"types\" format=\"ascii\">\n";
  // VTK_QUAD is 9, VTK_TRIANGLE 5.
  for (size_t i = 0; i < cells; ++i) vtu += i < mesh.quads.size() ? "          9\n" : "          5\n";
  vtu += "        </DataArray>\n      </Cells>\n";
  vtu += "      <CellData Scalars=\"domain\">\n";
  vtu += "        <DataArray type=\"Int32\" Name=\"domain\" format=\"ascii\">\n";
  for (int32_t d : mesh.quad_domains) vtu += "          " + std::to_string(d) + "\n";
  for (int32_t d : mesh.triangle_domains) vtu += "          " + std::to_string(d) + "\n";
  vtu += "        </DataArray>\n      </CellData>\n";
  vtu += "    </Piece>\n  </UnstructuredGrid>\n</VTKFile>\n";
  return vtu;
}

std::string MeshToMsh(const PlanarComplexMesh& mesh) {
  const std::set<int32_t> domains = Domains(mesh);
  // Entity tags must be positive and unique; domains keep their own numbers
  // as physical tags.
  std::map<int32_t, int> entity;
  for (int32_t d : domains) entity.emplace(d, static_cast<int>(entity.size()) + 1);

  std::string msh = "$MeshFormat\n4.1 0 8\n$EndMeshFormat\n";
  msh += "$PhysicalNames\n" + std::to_string(domains.size()) + "\n";
  for (int32_t d : domains) msh += "2 " + std::to_string(d) + " \"domain " + std::to_string(d) + "\"\n";
  msh += "$EndPhysicalNames\n";

  // Each surface's box covers the vertices of its elements.
  std::map<int32_t, std::array<double, 6>> boxes;
  auto widen = [&](int32_t d, int32_t vertex) {
    const Point3& p = mesh.vertices[static_cast<size_t>(vertex)];
    auto inserted = boxes.emplace(d, std::array<double, 6>{p.x, p.y, p.z, p.x, p.y, p.z});
    std::array<double, 6>& box = inserted.first->second;
    box = {std::min(box[0], p.x), std::min(box[1], p.y), std::min(box[2], p.z),
           std::max(box[3], p.x), std::max(box[4], p.y), std::max(box[5], p.z)};
  };
  for (size_t q = 0; q < mesh.quads.size(); ++q) {
    for (int32_t v : mesh.quads[q]) widen(mesh.quad_domains[q], v);
  }
  for (size_t t = 0; t < mesh.triangles.size(); ++t) {
    for (int32_t v : mesh.triangles[t]) widen(mesh.triangle_domains[t], v);
  }
  msh += "$Entities\n0 0 " + std::to_string(domains.size()) + " 0\n";
  for (int32_t d : domains) {
    const std::array<double, 6>& box = boxes[d];
    msh += std::to_string(entity[d]);
    for (double c : box) msh += " " + Exact(c);
    msh += " 1 " + std::to_string(d) + " 0\n";
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

  // Blocks by domain and type; element tags keep the record's order.
  struct Block {
    int32_t domain;
    int type;  // 3: 4-node quad, 2: 3-node triangle
    std::string lines;
    size_t count = 0;
  };
  std::vector<Block> blocks;
  std::map<std::pair<int32_t, int>, size_t> block_of;
  size_t tag = 0;
  auto add = [&](int32_t domain, int type, const int32_t* corners, size_t n) {
    auto found = block_of.emplace(std::make_pair(domain, type), blocks.size());
    if (found.second) blocks.push_back(Block{domain, type, "", 0});
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
  msh += "$Elements\n" + std::to_string(blocks.size()) + " " + std::to_string(tag) + " " +
         (tag > 0 ? "1" : "0") + " " + std::to_string(tag) + "\n";
  for (const Block& block : blocks) {
    msh += "2 " + std::to_string(entity[block.domain]) + " " + std::to_string(block.type) + " " +
           std::to_string(block.count) + "\n" + block.lines;
  }
  msh += "$EndElements\n";
  return msh;
}

}  // namespace mesh

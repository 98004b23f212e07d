#include "extract/interior_insertion.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <utility>

#include "extract/node_mapping.h"

namespace mesh {

namespace {

double Cross(double xu, double xv, double yu, double yv) { return xu * yv - xv * yu; }

// The point of the closed segment e1-e2 nearest to p.
PlanePoint FootOnSegment(const PlanePoint& p, const PlanePoint& e1, const PlanePoint& e2) {
  const double du = e2.u - e1.u;
  const double dv = e2.v - e1.v;
  const double length_squared = du * du + dv * dv;
  PlanePoint foot = e1;
  if (length_squared > 0.0) {
    double t = ((p.u - e1.u) * du + (p.v - e1.v) * dv) / length_squared;
    t = std::min(1.0, std::max(0.0, t));
    foot.u = e1.u + t * du;
    foot.v = e1.v + t * dv;
  }
  return foot;
}

}  // namespace

double SegmentDistanceSquared(const PlanePoint& p, const PlanePoint& e1,
                              const PlanePoint& e2) {
  const PlanePoint foot = FootOnSegment(p, e1, e2);
  const double ou = p.u - foot.u;
  const double ov = p.v - foot.v;
  return ou * ou + ov * ov;
}

PlanePoint SplitVertexPosition(const PlanePoint& p, const PlanePoint& g, const PlanePoint& h,
                               const std::vector<int32_t>& domains_with_edge) {
  const bool inside_one_domain =
      domains_with_edge.size() == 2 && domains_with_edge[0] == domains_with_edge[1];
  return inside_one_domain ? p : FootOnSegment(p, g, h);
}

namespace {

void AppendTriangle(int32_t a, int32_t b, int32_t c, int32_t domain,
                    PlanarComplexMesh* record) {
  record->triangles.push_back({a, b, c});
  record->triangle_domains.push_back(domain);
}

}  // namespace

CaptureTolerances InteriorCaptureTolerances(double smallest_target_size) {
  CaptureTolerances tolerances;
  tolerances.node = std::max(0.005, 0.05 * smallest_target_size);
  tolerances.edge = std::max(0.002, 0.02 * smallest_target_size);
  return tolerances;
}

int32_t AppendVertex(const PlanePoint& p, const PlanarFrame& frame,
                     std::vector<PlanePoint>* mesh_nodes, PlanarComplexMesh* record) {
  const int32_t index = static_cast<int32_t>(mesh_nodes->size());
  mesh_nodes->push_back(p);
  record->vertices.push_back(frame.FromPlane(p));
  return index;
}

bool TriangleContains(const PlanePoint& p1, const PlanePoint& p2, const PlanePoint& p3,
                      const PlanePoint& p) {
  const double r = Cross(p2.u - p1.u, p2.v - p1.v, p3.u - p1.u, p3.v - p1.v);
  if (r == 0.0) return false;
  const double epsilon = std::abs(r) * 1e-9;
  const double e1 = Cross(p2.u - p1.u, p2.v - p1.v, p.u - p1.u, p.v - p1.v);
  const double e2 = Cross(p3.u - p2.u, p3.v - p2.v, p.u - p2.u, p.v - p2.v);
  const double e3 = Cross(p1.u - p3.u, p1.v - p3.v, p.u - p3.u, p.v - p3.v);
  if (r > 0.0) return e1 >= -epsilon && e2 >= -epsilon && e3 >= -epsilon;
  return e1 <= epsilon && e2 <= epsilon && e3 <= epsilon;
}

namespace {

// A triangle whose doubled area is this small against its extent squared is
// left out of the cells: for it, rounding in TriangleContains might accept a
// point beyond its bounding box and the ring of cells around it.
bool NearlyFlat(const PlanePoint& p1, const PlanePoint& p2, const PlanePoint& p3) {
  const double r = Cross(p2.u - p1.u, p2.v - p1.v, p3.u - p1.u, p3.v - p1.v);
  const double width = std::max({p1.u, p2.u, p3.u}) - std::min({p1.u, p2.u, p3.u});
  const double height = std::max({p1.v, p2.v, p3.v}) - std::min({p1.v, p2.v, p3.v});
  const double extent = std::max(width, height);
  return !(std::abs(r) > 1e-6 * extent * extent);
}

// Where an element is filed: the cells of its bounding box, and whether
// every search must see it instead.
struct Filing {
  CellRange cells;
  bool everywhere = false;
};

template <size_t kCorners>
Filing FilingOf(const CellLayout& layout, const std::vector<PlanePoint>& nodes,
                const std::array<int32_t, kCorners>& c) {
  double u_lo = nodes[c[0]].u, u_hi = u_lo, v_lo = nodes[c[0]].v, v_hi = v_lo;
  for (size_t j = 1; j < kCorners; ++j) {
    u_lo = std::min(u_lo, nodes[c[j]].u);
    u_hi = std::max(u_hi, nodes[c[j]].u);
    v_lo = std::min(v_lo, nodes[c[j]].v);
    v_hi = std::max(v_hi, nodes[c[j]].v);
  }
  Filing filing;
  filing.cells = layout.Span(u_lo, v_lo, u_hi, v_hi);
  // The halves Insert tests a quad by.
  filing.everywhere =
      NearlyFlat(nodes[c[0]], nodes[c[1]], nodes[c[2]]) ||
      (kCorners == 4 && NearlyFlat(nodes[c[0]], nodes[c[2]], nodes[c[kCorners - 1]]));
  return filing;
}

template <typename Visit>
void ForEachCell(const CellLayout& layout, const CellRange& range, Visit&& visit) {
  for (int32_t row = range.row_first; row <= range.row_last; ++row) {
    for (int32_t column = range.column_first; column <= range.column_last; ++column) {
      visit(layout.CellIndex(column, row));
    }
  }
}

}  // namespace

InteriorPointInserter::InteriorPointInserter(const PointGrid& node_grid, const PlanarFrame& frame,
                                             double smallest_target_size,
                                             std::vector<PlanePoint>* mesh_nodes,
                                             PlanarComplexMesh* record)
    : node_grid_(node_grid),
      frame_(frame),
      tolerances_(InteriorCaptureTolerances(smallest_target_size)),
      mesh_nodes_(mesh_nodes),
      record_(record),
      quad_removed_(record->quads.size(), 0),
      triangle_removed_(record->triangles.size(), 0) {
  const CellLayout& layout = node_grid_.layout();
  const std::vector<PlanePoint>& nodes = *mesh_nodes_;
  std::vector<Filing> quad_filings, triangle_filings;
  quad_filings.reserve(record_->quads.size());
  triangle_filings.reserve(record_->triangles.size());
  for (const auto& c : record_->quads) quad_filings.push_back(FilingOf(layout, nodes, c));
  for (const auto& c : record_->triangles) triangle_filings.push_back(FilingOf(layout, nodes, c));

  // Filed as PointGrid files points: count per cell, then fill in
  // ascending reference order.
  cell_start_.assign(layout.CellCount() + 1, 0);
  auto count = [&](const Filing& f) {
    if (f.everywhere) return;
    ForEachCell(layout, f.cells, [&](size_t cell) { ++cell_start_[cell + 1]; });
  };
  for (const Filing& f : quad_filings) count(f);
  for (const Filing& f : triangle_filings) count(f);
  for (size_t c = 0; c < layout.CellCount(); ++c) cell_start_[c + 1] += cell_start_[c];
  filed_.resize(cell_start_.back());
  std::vector<size_t> next(cell_start_.begin(), cell_start_.end() - 1);
  auto fill = [&](const Filing& f, int32_t ref) {
    if (f.everywhere) {
      everywhere_.push_back(ref);
      return;
    }
    ForEachCell(layout, f.cells, [&](size_t cell) { filed_[next[cell]++] = ref; });
  };
  for (size_t i = 0; i < quad_filings.size(); ++i) fill(quad_filings[i], QuadRef(i));
  for (size_t i = 0; i < triangle_filings.size(); ++i) fill(triangle_filings[i], TriangleRef(i));
  filed_later_.resize(layout.CellCount());
}

void InteriorPointInserter::AppendTriangle(int32_t a, int32_t b, int32_t c, int32_t domain) {
  mesh::AppendTriangle(a, b, c, domain, record_);
  triangle_removed_.push_back(0);
  const size_t index = record_->triangles.size() - 1;
  const Filing filing = FilingOf(node_grid_.layout(), *mesh_nodes_, record_->triangles[index]);
  if (filing.everywhere) {
    everywhere_.push_back(TriangleRef(index));
  } else {
    ForEachCell(node_grid_.layout(), filing.cells,
                [&](size_t cell) { filed_later_[cell].push_back(TriangleRef(index)); });
  }
}

std::vector<int32_t> InteriorPointInserter::ElementsNear(double u_lo, double v_lo, double u_hi,
                                                         double v_hi,
                                                         const PlanePoint& around) const {
  const CellLayout& layout = node_grid_.layout();
  const double slack = layout.Slack(around);
  std::vector<int32_t> refs(everywhere_);
  ForEachCell(layout, layout.Cover(u_lo - slack, v_lo - slack, u_hi + slack, v_hi + slack),
              [&](size_t cell) {
                refs.insert(refs.end(),
                            filed_.begin() + static_cast<std::ptrdiff_t>(cell_start_[cell]),
                            filed_.begin() + static_cast<std::ptrdiff_t>(cell_start_[cell + 1]));
                refs.insert(refs.end(), filed_later_[cell].begin(), filed_later_[cell].end());
              });
  std::sort(refs.begin(), refs.end());
  refs.erase(std::unique(refs.begin(), refs.end()), refs.end());
  refs.erase(std::remove_if(refs.begin(), refs.end(),
                            [this](int32_t ref) {
                              return ref % 2 == 0 ? quad_removed_[ref / 2] != 0
                                                  : triangle_removed_[ref / 2] != 0;
                            }),
             refs.end());
  return refs;
}

int32_t InteriorPointInserter::SplitEdge(const PlanePoint& p, int32_t g, int32_t h) {
  // Every element with the edge has g as a corner, so its box holds g.
  const PlanePoint at_g = (*mesh_nodes_)[g];
  const std::vector<int32_t> near = ElementsNear(at_g.u, at_g.v, at_g.u, at_g.v, at_g);
  std::vector<std::pair<size_t, size_t>> quads, triangles;
  auto position_of_edge = [g, h](const auto& corners) -> int {
    const size_t n = corners.size();
    for (size_t j = 0; j < n; ++j) {
      const int32_t x = corners[j];
      const int32_t y = corners[(j + 1) % n];
      if ((x == g && y == h) || (x == h && y == g)) return static_cast<int>(j);
    }
    return -1;
  };
  for (int32_t ref : near) {
    const size_t index = static_cast<size_t>(ref / 2);
    const int j = ref % 2 == 0 ? position_of_edge(record_->quads[index])
                               : position_of_edge(record_->triangles[index]);
    if (j < 0) continue;
    (ref % 2 == 0 ? quads : triangles).emplace_back(index, static_cast<size_t>(j));
  }
  std::vector<int32_t> domains;
  for (const auto& quad : quads) domains.push_back(record_->quad_domains[quad.first]);
  for (const auto& triangle : triangles) {
    domains.push_back(record_->triangle_domains[triangle.first]);
  }
  const PlanePoint at = SplitVertexPosition(p, (*mesh_nodes_)[g], (*mesh_nodes_)[h], domains);
  const int32_t n = AppendVertex(at, frame_, mesh_nodes_, record_);
  for (const auto& [index, j] : quads) {
    const std::array<int32_t, 4> c = record_->quads[index];
    const int32_t domain = record_->quad_domains[index];
    AppendTriangle(n, c[(j + 1) % 4], c[(j + 2) % 4], domain);
    AppendTriangle(n, c[(j + 2) % 4], c[(j + 3) % 4], domain);
    AppendTriangle(n, c[(j + 3) % 4], c[j], domain);
    quad_removed_[index] = 1;
  }
  for (const auto& [index, j] : triangles) {
    const std::array<int32_t, 3> c = record_->triangles[index];
    const int32_t domain = record_->triangle_domains[index];
    AppendTriangle(n, c[(j + 1) % 3], c[(j + 2) % 3], domain);
    AppendTriangle(n, c[(j + 2) % 3], c[j], domain);
    triangle_removed_[index] = 1;
  }
  return n;
}

int32_t InteriorPointInserter::Insert(const PlanePoint& p) {
  const std::vector<PlanePoint>& nodes = *mesh_nodes_;

  // The mesher's nodes through the grid; the few vertices added since, one
  // by one.
  NearestNode nearest = FindNearestNodeWithin(node_grid_, nodes, p, tolerances_.node);
  for (size_t k = node_grid_.count(); k < nodes.size(); ++k) {
    const double d2 = NodeDistanceSquared(nodes[k], p);
    if (d2 < nearest.distance_squared) {
      nearest.distance_squared = d2;
      nearest.index = static_cast<int32_t>(k);
    }
  }
  if (nearest.index >= 0 && nearest.distance_squared <= tolerances_.node * tolerances_.node) {
    return nearest.index;
  }

  // An edge within the capture distance belongs to an element whose box
  // comes that close. Quads before triangles, each in order, as the scan.
  const double reach = tolerances_.edge * (1 + 1e-9) + node_grid_.layout().Slack(p);
  const std::vector<int32_t> near_edge =
      ElementsNear(p.u - reach, p.v - reach, p.u + reach, p.v + reach, p);
  double best_distance_squared = std::numeric_limits<double>::max();
  int32_t g = -1, h = -1;
  for (int kind = 0; kind < 2; ++kind) {
    for (int32_t ref : near_edge) {
      if (ref % 2 != kind) continue;
      const size_t index = static_cast<size_t>(ref / 2);
      const int32_t* corners =
          kind == 0 ? record_->quads[index].data() : record_->triangles[index].data();
      const int corner_count = kind == 0 ? 4 : 3;
      for (int j = 0; j < corner_count; ++j) {
        const int32_t e1 = corners[j];
        const int32_t e2 = corners[(j + 1) % corner_count];
        const double d2 = SegmentDistanceSquared(p, nodes[e1], nodes[e2]);
        if (d2 < best_distance_squared) {
          best_distance_squared = d2;
          g = e1;
          h = e2;
        }
      }
    }
  }
  if (g >= 0 && best_distance_squared <= tolerances_.edge * tolerances_.edge) {
    return SplitEdge(p, g, h);
  }

  // An element that contains p has it within its box, up to a hair.
  const std::vector<int32_t> around = ElementsNear(p.u, p.v, p.u, p.v, p);
  for (int32_t ref : around) {
    if (ref % 2 != 0) continue;
    const size_t q = static_cast<size_t>(ref / 2);
    const std::array<int32_t, 4> c = record_->quads[q];
    if (!TriangleContains(nodes[c[0]], nodes[c[1]], nodes[c[2]], p) &&
        !TriangleContains(nodes[c[0]], nodes[c[2]], nodes[c[3]], p)) {
      continue;
    }
    const int32_t domain = record_->quad_domains[q];
    const int32_t n = AppendVertex(p, frame_, mesh_nodes_, record_);
    for (size_t j = 0; j < 4; ++j) AppendTriangle(c[j], c[(j + 1) % 4], n, domain);
    quad_removed_[q] = 1;
    return n;
  }
  for (int32_t ref : around) {
    if (ref % 2 != 1) continue;
    const size_t t = static_cast<size_t>(ref / 2);
    const std::array<int32_t, 3> c = record_->triangles[t];
    if (!TriangleContains(nodes[c[0]], nodes[c[1]], nodes[c[2]], p)) continue;
    const int32_t domain = record_->triangle_domains[t];
    const int32_t n = AppendVertex(p, frame_, mesh_nodes_, record_);
    for (size_t j = 0; j < 3; ++j) AppendTriangle(c[j], c[(j + 1) % 3], n, domain);
    triangle_removed_[t] = 1;
    return n;
  }
  return -1;
}

namespace {

template <typename Element>
void RemoveMarked(const std::vector<char>& removed, std::vector<Element>* elements,
                  std::vector<int32_t>* domains) {
  size_t kept = 0;
  for (size_t i = 0; i < elements->size(); ++i) {
    if (removed[i]) continue;
    (*elements)[kept] = (*elements)[i];
    (*domains)[kept] = (*domains)[i];
    ++kept;
  }
  elements->resize(kept);
  domains->resize(kept);
}

}  // namespace

void InteriorPointInserter::Finish() {
  RemoveMarked(quad_removed_, &record_->quads, &record_->quad_domains);
  RemoveMarked(triangle_removed_, &record_->triangles, &record_->triangle_domains);
}

}  // namespace mesh

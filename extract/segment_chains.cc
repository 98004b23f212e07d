#include "extract/segment_chains.h"

#include <algorithm>
#include <cmath>

#include "common/diagnostic.h"

namespace mesh {

namespace {

struct ChainCandidate {
  double t;
  int32_t node;
};

// The nodes of `grid` that can pass the chain test of segment a-b, in
// ascending order. A node passes only if it lies within the band of a point
// of the segment stretched by the margin at both ends, so only the cells
// along that stretched segment, widened by the band, are visited: walking
// along the segment's longer axis one row (or column) of cells at a time,
// and across it only as far as the segment reaches within that row. Every
// bound is widened a little past rounding, and Cover adds a cell all round.
std::vector<int32_t> ChainCandidates(const PointGrid& grid, const PlanePoint& a,
                                     const PlanePoint& b, double margin, double band) {
  const CellLayout& layout = grid.layout();
  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  const double stretch = margin * (1 + 1e-6) + 1e-12;
  const PlanePoint start{a.u - stretch * du, a.v - stretch * dv};
  const PlanePoint end{b.u + stretch * du, b.v + stretch * dv};
  const double reach = band * (1 + 1e-6) + layout.Slack(start) + layout.Slack(end);

  std::vector<int32_t> candidates;
  auto keep = [&candidates](int32_t k) { candidates.push_back(k); };
  const CellRange box =
      layout.Cover(std::min(start.u, end.u) - reach, std::min(start.v, end.v) - reach,
                   std::max(start.u, end.u) + reach, std::max(start.v, end.v) + reach);
  // Along the longer axis, so that the clipped range across it never
  // magnifies rounding.
  const bool along_v = std::abs(dv) > std::abs(du);
  const int32_t first = along_v ? box.row_first : box.column_first;
  const int32_t last = along_v ? box.row_last : box.column_last;
  const double cell = along_v ? layout.CellHeight() : layout.CellWidth();
  // Coordinates along (x) and across (y) the walk.
  const double x0 = along_v ? start.v : start.u, x1 = along_v ? end.v : end.u;
  const double y0 = along_v ? start.u : start.v, y1 = along_v ? end.u : end.v;
  for (int32_t line = first; line <= last; ++line) {
    const double line_start = along_v ? layout.RowStart(line) : layout.ColumnStart(line);
    const double lo = line_start - reach - cell;
    const double hi = line_start + 2 * cell + reach;
    // The part of the stretched segment whose along-coordinate lies in
    // [lo, hi]; x1 != x0 here, since the walk runs along the longer axis.
    double s0 = (lo - x0) / (x1 - x0);
    double s1 = (hi - x0) / (x1 - x0);
    if (s0 > s1) std::swap(s0, s1);
    s0 = std::max(s0, 0.0);
    s1 = std::min(s1, 1.0);
    if (!(s0 <= s1)) continue;
    const double ya = y0 + s0 * (y1 - y0);
    const double yb = y0 + s1 * (y1 - y0);
    const double y_lo = std::min(ya, yb) - reach;
    const double y_hi = std::max(ya, yb) + reach;
    if (along_v) {
      const CellRange across = layout.Cover(y_lo, 0, y_hi, 0);
      grid.ForEachInRow(line, std::max(across.column_first, box.column_first),
                        std::min(across.column_last, box.column_last), keep);
    } else {
      const CellRange across = layout.Cover(0, y_lo, 0, y_hi);
      for (int32_t row = std::max(across.row_first, box.row_first);
           row <= std::min(across.row_last, box.row_last); ++row) {
        grid.ForEachInRow(row, line, line, keep);
      }
    }
  }
  std::sort(candidates.begin(), candidates.end());
  return candidates;
}

}  // namespace

double ChainBand(double target_size) { return std::max(1e-6, 0.001 * target_size); }

std::vector<int32_t> NodesAlongSegment(const PlanePoint& a, const PlanePoint& b,
                                       const ChainInputs& inputs) {
  const std::vector<PlanePoint>& nodes = *inputs.mesh_nodes;
  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  const double length_squared = du * du + dv * dv;
  const double margin = inputs.snap_tolerance / std::sqrt(length_squared);
  const double band_squared = inputs.chain_band * inputs.chain_band;

  std::vector<ChainCandidate> candidates;
  auto consider = [&](size_t k) {
    const double pu = nodes[k].u - a.u;
    const double pv = nodes[k].v - a.v;
    const double t = (pu * du + pv * dv) / length_squared;
    if (t < -margin || t > 1.0 + margin) return;
    // Off the line, measured at the unclamped position.
    const double ou = pu - t * du;
    const double ov = pv - t * dv;
    if (ou * ou + ov * ov > band_squared) return;
    candidates.push_back({std::min(1.0, std::max(0.0, t)), static_cast<int32_t>(k)});
  };
  const size_t count = std::min(nodes.size(), static_cast<size_t>(std::max(inputs.node_count, 0)));
  // A segment of no length takes every node (its t is not a number), which
  // only the scan reproduces.
  if (inputs.node_grid != nullptr && inputs.node_grid->count() == count &&
      std::isfinite(margin)) {
    // Visited in ascending order like the scan, so the stable sort below
    // breaks ties the same way.
    for (int32_t k : ChainCandidates(*inputs.node_grid, a, b, margin, inputs.chain_band)) {
      consider(static_cast<size_t>(k));
    }
  } else {
    for (size_t k = 0; k < count; ++k) consider(k);
  }
  // Stable, so nodes clamped onto the same end come out in index order every
  // time: callers that cache or compare answers need identical chains.
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const ChainCandidate& x, const ChainCandidate& y) { return x.t < y.t; });

  std::vector<int32_t> chain;
  chain.reserve(candidates.size());
  for (const ChainCandidate& c : candidates) chain.push_back(c.node);
  return chain;
}

bool BuildSegmentChain(size_t s, const ChainInputs& inputs, std::vector<int32_t>* chain) {
  const BoundarySegment& segment = (*inputs.segments)[s];
  const PlanePoint& a = (*inputs.plane_points)[segment.point_a];
  const PlanePoint& b = (*inputs.plane_points)[segment.point_b];
  const int32_t vertex_a = (*inputs.point_vertex)[segment.point_a];
  const int32_t vertex_b = (*inputs.point_vertex)[segment.point_b];

  const double du = b.u - a.u;
  const double dv = b.v - a.v;
  // A segment that projects to (almost) nothing has no direction to order
  // nodes by; its ends are all there is to it.
  if (du * du + dv * dv < inputs.snap_tolerance * inputs.snap_tolerance) {
    *chain = {vertex_a, vertex_b};
    return true;
  }

  *chain = NodesAlongSegment(a, b, inputs);
  const int32_t front = chain->empty() ? -1 : chain->front();
  const int32_t back = chain->empty() ? -1 : chain->back();
  if (chain->empty() || front != vertex_a || back != vertex_b) {
    EmitDiagnostic("[meshing] ExtractToPlanarComplexMesh: segment %zu chain endpoints mismatch "
                   "(got front=%d back=%d, expected %d \xE2\x86\x94 %d); returning empty",
                   s, front, back, vertex_a, vertex_b);
    return false;
  }
  return true;
}

bool BuildSegmentChains(const ChainInputs& inputs, std::vector<std::vector<int32_t>>* chains) {
  chains->assign(inputs.segments->size(), std::vector<int32_t>());
  for (size_t s = 0; s < inputs.segments->size(); ++s) {
    if (!BuildSegmentChain(s, inputs, &(*chains)[s])) return false;
  }
  return true;
}

}  // namespace mesh

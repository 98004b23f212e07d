// A uniform grid over the mesher's nodes, so that the extraction's searches
// (the node nearest a point, the nodes along a segment, the elements near an
// inserted point) look at a few cells instead of every node. The searches
// built on it give exactly the answers of the plain scans: they only skip
// what provably cannot change the result, and they visit what is left in
// the scans' own order.
#ifndef MESH_WORKER_EXTRACT_POINT_GRID_H_
#define MESH_WORKER_EXTRACT_POINT_GRID_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "planar/plane_frame.h"

namespace mesh {

// Inclusive ranges of cell columns and rows.
struct CellRange {
  int32_t column_first = 0;
  int32_t column_last = -1;
  int32_t row_first = 0;
  int32_t row_last = -1;
};

// The cells: the bounding box of a point set cut into columns x rows.
// Anything outside the box falls into the nearest border cell.
class CellLayout {
 public:
  CellLayout() = default;
  // About `points_per_cell` of `count` points per cell, with at most a few
  // cells per point however the points are spread.
  CellLayout(const std::vector<PlanePoint>& points, size_t count, double points_per_cell);

  int32_t columns() const { return columns_; }
  int32_t rows() const { return rows_; }
  size_t CellCount() const { return static_cast<size_t>(columns_) * rows_; }
  size_t CellIndex(int32_t column, int32_t row) const {
    return static_cast<size_t>(row) * columns_ + column;
  }
  int32_t Column(double u) const;
  int32_t Row(double v) const;
  double ColumnStart(int32_t column) const { return u_min_ + column / u_scale_; }
  double RowStart(int32_t row) const { return v_min_ + row / v_scale_; }
  double CellWidth() const { return 1.0 / u_scale_; }
  double CellHeight() const { return 1.0 / v_scale_; }

  // Every cell that holds a point of the box [u_lo, u_hi] x [v_lo, v_hi],
  // with one more cell on every side: whatever rounding put a point one
  // cell over, it is still found.
  CellRange Cover(double u_lo, double v_lo, double u_hi, double v_hi) const;
  // The cells of the box alone, without the extra ring: where to file an
  // element so that a padded Cover of any box that reaches it finds it.
  CellRange Span(double u_lo, double v_lo, double u_hi, double v_hi) const;

  // A length a little above any rounding in coordinates around `p`,
  // added to search radii so that rounding never hides a point.
  double Slack(const PlanePoint& p) const;

 private:
  double u_min_ = 0, v_min_ = 0;
  // Cells per metre along u and v (a huge number for a box of no width,
  // which puts everything in the first column).
  double u_scale_ = 1, v_scale_ = 1;
  double magnitude_ = 0;  // the largest |coordinate| of the box
  int32_t columns_ = 1, rows_ = 1;
};

// The first `count` points filed by cell, each cell's points in ascending
// index order.
class PointGrid {
 public:
  PointGrid(const std::vector<PlanePoint>& points, size_t count);

  const CellLayout& layout() const { return layout_; }
  size_t count() const { return count_; }

  // Calls visit(index) for every point filed in `range`, cell by cell.
  template <typename Visit>
  void ForEachIn(const CellRange& range, Visit&& visit) const {
    for (int32_t row = range.row_first; row <= range.row_last; ++row) {
      ForEachInRow(row, range.column_first, range.column_last, visit);
    }
  }
  template <typename Visit>
  void ForEachInRow(int32_t row, int32_t column_first, int32_t column_last, Visit&& visit) const {
    if (column_first > column_last) return;
    const size_t begin = cell_start_[layout_.CellIndex(column_first, row)];
    const size_t end = cell_start_[layout_.CellIndex(column_last, row) + 1];
    for (size_t i = begin; i < end; ++i) visit(cell_points_[i]);
  }

 private:
  CellLayout layout_;
  size_t count_;
  // cell_points_[cell_start_[c] .. cell_start_[c + 1]) are the points of
  // cell c; a row's cells are adjacent, so a run of columns is one range.
  std::vector<size_t> cell_start_;
  std::vector<int32_t> cell_points_;
};

}  // namespace mesh

#endif  // MESH_WORKER_EXTRACT_POINT_GRID_H_

#include "extract/point_grid.h"

#include <algorithm>
#include <cmath>

namespace mesh {

CellLayout::CellLayout(const std::vector<PlanePoint>& points, size_t count,
                       double points_per_cell) {
  count = std::min(count, points.size());
  if (count == 0) return;
  double u_max = points[0].u, v_max = points[0].v;
  u_min_ = u_max;
  v_min_ = v_max;
  for (size_t k = 1; k < count; ++k) {
    u_min_ = std::min(u_min_, points[k].u);
    u_max = std::max(u_max, points[k].u);
    v_min_ = std::min(v_min_, points[k].v);
    v_max = std::max(v_max, points[k].v);
  }
  magnitude_ = std::max(std::max(std::abs(u_min_), std::abs(u_max)),
                        std::max(std::abs(v_min_), std::abs(v_max)));
  const double width = u_max - u_min_;
  const double height = v_max - v_min_;
  const double cells = std::max(1.0, std::floor(static_cast<double>(count) / points_per_cell));
  double columns = 1, rows = 1;
  if (width > 0 && height > 0) {
    columns = std::min(cells, std::max(1.0, std::ceil(std::sqrt(cells * width / height))));
    rows = std::min(cells, std::max(1.0, std::ceil(cells / columns)));
  } else if (width > 0) {
    columns = cells;
  } else if (height > 0) {
    rows = cells;
  }
  columns_ = static_cast<int32_t>(columns);
  rows_ = static_cast<int32_t>(rows);
  u_scale_ = width > 0 ? columns_ / width : 1.0;
  v_scale_ = height > 0 ? rows_ / height : 1.0;
  // A box too thin to divide is one cell across.
  if (!std::isfinite(u_scale_)) {
    u_scale_ = 1.0;
    columns_ = 1;
  }
  if (!std::isfinite(v_scale_)) {
    v_scale_ = 1.0;
    rows_ = 1;
  }
}

// Monotone in u (a subtraction and a multiplication by a positive number,
// both rounded the same way), so a point at or past the start of a box
// never lands in a column before the box's first.
int32_t CellLayout::Column(double u) const {
  const double x = (u - u_min_) * u_scale_;
  if (!(x >= 0)) return 0;
  if (x >= columns_) return columns_ - 1;
  return static_cast<int32_t>(x);
}

int32_t CellLayout::Row(double v) const {
  const double y = (v - v_min_) * v_scale_;
  if (!(y >= 0)) return 0;
  if (y >= rows_) return rows_ - 1;
  return static_cast<int32_t>(y);
}

CellRange CellLayout::Cover(double u_lo, double v_lo, double u_hi, double v_hi) const {
  CellRange range = Span(u_lo, v_lo, u_hi, v_hi);
  range.column_first = std::max(range.column_first - 1, 0);
  range.column_last = std::min(range.column_last + 1, columns_ - 1);
  range.row_first = std::max(range.row_first - 1, 0);
  range.row_last = std::min(range.row_last + 1, rows_ - 1);
  return range;
}

CellRange CellLayout::Span(double u_lo, double v_lo, double u_hi, double v_hi) const {
  CellRange range;
  range.column_first = Column(u_lo);
  range.column_last = Column(u_hi);
  range.row_first = Row(v_lo);
  range.row_last = Row(v_hi);
  return range;
}

double CellLayout::Slack(const PlanePoint& p) const {
  // Rounding in a coordinate of size x is below 1.2e-16 x; this is ten
  // thousand times that, and still far below any tolerance that matters.
  return 1e-12 * (magnitude_ + std::abs(p.u) + std::abs(p.v)) + 1e-300;
}

PointGrid::PointGrid(const std::vector<PlanePoint>& points, size_t count)
    : layout_(points, count, 2.0), count_(std::min(count, points.size())) {
  std::vector<size_t> cell_of(count_);
  cell_start_.assign(layout_.CellCount() + 1, 0);
  for (size_t k = 0; k < count_; ++k) {
    cell_of[k] = layout_.CellIndex(layout_.Column(points[k].u), layout_.Row(points[k].v));
    ++cell_start_[cell_of[k] + 1];
  }
  for (size_t c = 0; c < layout_.CellCount(); ++c) cell_start_[c + 1] += cell_start_[c];
  // Filled in ascending index order, so each cell's list is ascending.
  std::vector<size_t> next(cell_start_.begin(), cell_start_.end() - 1);
  cell_points_.resize(count_);
  for (size_t k = 0; k < count_; ++k) cell_points_[next[cell_of[k]]++] = static_cast<int32_t>(k);
}

}  // namespace mesh

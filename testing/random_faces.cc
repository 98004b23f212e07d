#include "testing/random_faces.h"

#include <algorithm>
#include <cmath>
#include <random>
#include <utility>
#include <vector>

namespace mesh::test {

namespace {

constexpr double kPi = 3.14159265358979323846;

using Corners = std::vector<std::pair<double, double>>;

// Corners evenly spread in angle with a little jitter and radii close to
// each other, so no corner is sharp enough to force thin elements of its
// own.
Corners BluntStar(std::mt19937_64& random, int count, double radius, double cx, double cy) {
  std::uniform_real_distribution<double> jitter(-0.15, 0.15), scale(0.85, 1.0), turn(0, 2 * kPi);
  const double start = turn(random);
  Corners corners;
  for (int k = 0; k < count; ++k) {
    const double angle = start + 2 * kPi * (k + jitter(random)) / count;
    const double r = radius * scale(random);
    corners.push_back({cx + r * std::cos(angle), cy + r * std::sin(angle)});
  }
  return corners;
}

void AddLoop(MeshRequest* request, const Corners& corners, bool reversed) {
  const int32_t first = static_cast<int32_t>(request->points.size());
  const int32_t n = static_cast<int32_t>(corners.size());
  for (int32_t k = 0; k < n; ++k) {
    const auto& c = corners[reversed ? n - 1 - k : k];
    request->points.push_back({c.first, c.second, 0.0});
  }
  for (int32_t k = 0; k < n; ++k) {
    request->segments.push_back({first + k, first + (k + 1) % n, 1, 0});
  }
}

double DistanceToLoop(const Corners& c, double x, double y) {
  double nearest = INFINITY;
  for (size_t i = 0; i < c.size(); ++i) {
    const auto& a = c[i];
    const auto& b = c[(i + 1) % c.size()];
    const double dx = b.first - a.first, dy = b.second - a.second;
    const double t = std::clamp(((x - a.first) * dx + (y - a.second) * dy) / (dx * dx + dy * dy),
                                0.0, 1.0);
    nearest = std::min(nearest, std::hypot(x - a.first - t * dx, y - a.second - t * dy));
  }
  return nearest;
}

bool Inside(const Corners& c, double x, double y) {
  bool inside = false;
  for (size_t i = 0, j = c.size() - 1; i < c.size(); j = i++) {
    const auto& a = c[i];
    const auto& b = c[j];
    if ((a.second > y) != (b.second > y) &&
        x < (b.first - a.first) * (y - a.second) / (b.second - a.second) + a.first) {
      inside = !inside;
    }
  }
  return inside;
}

}  // namespace

MeshRequest RandomFaceWithPoints(uint64_t seed, bool prefer_quads) {
  std::mt19937_64 random(seed);
  std::uniform_int_distribution<int> outer_corners(5, 10), hole_corners(4, 8), point_count(1, 20);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  const Corners outer = BluntStar(random, outer_corners(random), 1.0, 0.0, 0.0);
  const bool with_hole = unit(random) < 0.5;
  Corners hole;
  if (with_hole) {
    hole = BluntStar(random, hole_corners(random), 0.2 + 0.15 * unit(random),
                     0.15 * (unit(random) - 0.5), 0.15 * (unit(random) - 0.5));
  }
  MeshRequest request;
  AddLoop(&request, outer, false);
  if (with_hole) AddLoop(&request, hole, true);
  request.target_size = 0.08 + 0.17 * unit(random);
  request.prefer_quads = prefer_quads;

  const double gap = request.target_size / 4;
  const int wanted = point_count(random);
  std::vector<std::pair<double, double>> points;
  for (int attempt = 0; attempt < 1000 && static_cast<int>(points.size()) < wanted; ++attempt) {
    const double x = 2 * unit(random) - 1, y = 2 * unit(random) - 1;
    if (!Inside(outer, x, y) || DistanceToLoop(outer, x, y) < gap) continue;
    if (with_hole && (Inside(hole, x, y) || DistanceToLoop(hole, x, y) < gap)) continue;
    const bool crowded = std::any_of(points.begin(), points.end(), [&](const auto& p) {
      return std::hypot(p.first - x, p.second - y) < gap;
    });
    if (crowded) continue;
    points.push_back({x, y});
  }
  for (const auto& p : points) {
    request.interior_only.push_back(static_cast<int32_t>(request.points.size()));
    request.points.push_back({p.first, p.second, 0.0});
  }
  return request;
}

MeshRequest WithoutInteriorPoints(const MeshRequest& request) {
  MeshRequest plain = request;
  // The points come after every boundary point, so dropping them leaves
  // every segment's indices as they are.
  size_t first = plain.points.size();
  for (int32_t i : plain.interior_only) first = std::min(first, static_cast<size_t>(i));
  plain.points.resize(first);
  plain.interior_only.clear();
  return plain;
}

}  // namespace mesh::test

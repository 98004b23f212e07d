#include "bench/bench_requests.h"

#include <cmath>
#include <random>
#include <utility>

#include "testing/loops.h"

namespace mesh {

using test::AddLoop;
using test::RegularPolygon;

MeshRequest SquareRequest(double side, double target_size, int segments_per_side) {
  test::Corners corners;
  const int n = segments_per_side;
  for (int i = 0; i < n; ++i) corners.push_back({side * i / n, 0});
  for (int i = 0; i < n; ++i) corners.push_back({side, side * i / n});
  for (int i = 0; i < n; ++i) corners.push_back({side * (n - i) / n, side});
  for (int i = 0; i < n; ++i) corners.push_back({0, side * (n - i) / n});
  MeshRequest request;
  AddLoop(&request, corners, 1, 0);
  request.target_size = target_size;
  return request;
}

MeshRequest SquareWithElements(int elements) {
  return SquareRequest(1.0, 1.0 / std::sqrt(static_cast<double>(elements)), 1);
}

MeshRequest PlateWithHolesRequest() {
  MeshRequest request;
  AddLoop(&request, {{0, 0}, {2, 0}, {2, 1}, {0, 1}}, 1, 0);
  for (int row = 0; row < 4; ++row) {
    for (int column = 0; column < 5; ++column) {
      // Counter-clockwise too, so the plate lies on each hole's right.
      AddLoop(&request, RegularPolygon(24, 0.07, 0.2 + 0.4 * column, 0.125 + 0.25 * row), 0, 1);
    }
  }
  request.target_size = 0.02;
  return request;
}

MeshRequest CircleRequest(int segments) {
  MeshRequest request;
  AddLoop(&request, RegularPolygon(segments, 1.0, 0, 0), 1, 0);
  request.target_size = 0.1;
  return request;
}

void AddInteriorPoints(MeshRequest* request, int count, double low, double high, uint32_t seed) {
  std::mt19937 random(seed);
  std::uniform_real_distribution<double> coordinate(low, high);
  for (int i = 0; i < count; ++i) {
    request->interior_only.push_back(static_cast<int32_t>(request->points.size()));
    const double x = coordinate(random);
    const double y = coordinate(random);
    request->points.push_back({x, y, 0});
  }
}

MeshRequest SmallFaceRequest(int i) {
  // About 0.8 m x 0.6 m at 0.12 m: some 35 elements.
  const double w = 0.8 + 0.01 * (i % 7);
  const double h = 0.6 + 0.01 * (i % 5);
  const double skew = 0.02 * (i % 3);
  MeshRequest request;
  AddLoop(&request, {{0, 0}, {w, skew}, {w + skew, h}, {0, h}}, 1, 0);
  // Tilted about the x axis and moved, as faces of a 3-D model are.
  const double angle = 0.1 * (i % 11);
  for (Point3& p : request.points) {
    const double y = p.y;
    p.y = y * std::cos(angle) + 3.0 * (i % 13);
    p.z = y * std::sin(angle) - 2.0;
    p.x += 1.5 * (i % 17);
  }
  request.target_size = 0.12;
  return request;
}

std::vector<BenchCase> MeshingCases() {
  return {
      {"small face", SmallFaceRequest(1)},
      {"square 1k", SquareWithElements(1000)},        {"square 10k", SquareWithElements(10000)},
      {"square 100k", SquareWithElements(100000)},    {"plate, 20 holes", PlateWithHolesRequest()},
      {"circle, 2000 segments", CircleRequest(2000)},
  };
}

}  // namespace mesh

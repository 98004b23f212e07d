#include "model/edge_division.h"

#include <algorithm>
#include <cmath>
#include <map>

#include "model/point_grid.h"
#include "model/vec3.h"

namespace mesh {

namespace {

template <typename Visit>
void ForEachRing(std::vector<PreparedFace>& faces, Visit visit) {
  for (PreparedFace& face : faces) {
    if (!face.skip_key.empty()) continue;
    visit(face.outer);
    for (auto& hole : face.holes) visit(hole);
  }
}

template <typename Visit>
void ForEachRingEdge(const std::vector<int32_t>& ring, Visit visit) {
  for (size_t i = 0; i < ring.size(); ++i) visit(ring[i], ring[(i + 1) % ring.size()]);
}

// More edge points than this no model could be meshed with anyway (a face
// takes a few thousand segments at most); refusing them keeps a silly target
// size from exhausting memory, or the 32-bit vertex numbers, first.
constexpr double kMostEdgePoints = 1e8;

double Pieces(double length, double size) {
  // A hair of slack, so that an edge exactly n sizes long is not cut into
  // n + 1 pieces by rounding.
  return std::max(1.0, std::ceil(length / size * (1 - 1e-9)));
}

}  // namespace

size_t SplitTJunctions(const std::vector<Point3>& points, double tolerance,
                       std::vector<PreparedFace>* faces) {
  // Ordered, so that the splits, and the vertex numbers they lead to, do not
  // depend on hashing.
  std::map<uint64_t, std::pair<int32_t, int32_t>> edges;
  std::vector<int32_t> vertices;
  ForEachRing(*faces, [&](std::vector<int32_t>& ring) {
    vertices.insert(vertices.end(), ring.begin(), ring.end());
    ForEachRingEdge(ring, [&](int32_t a, int32_t b) {
      edges.emplace(EdgeKey(a, b), std::make_pair(std::min(a, b), std::max(a, b)));
    });
  });
  if (edges.empty()) return 0;
  std::sort(vertices.begin(), vertices.end());
  vertices.erase(std::unique(vertices.begin(), vertices.end()), vertices.end());

  // Cells about as long as a typical edge keep the walk along each edge
  // short and the cells few; never under twice the tolerance, which the walk
  // needs to see every vertex within the tolerance.
  std::vector<double> lengths;
  lengths.reserve(edges.size());
  for (const auto& entry : edges) {
    lengths.push_back(std::sqrt(DistanceSquared(points[entry.second.first], points[entry.second.second])));
  }
  std::nth_element(lengths.begin(), lengths.begin() + lengths.size() / 2, lengths.end());
  PointGrid grid(std::max(2 * tolerance, lengths[lengths.size() / 2]));
  for (int32_t v : vertices) grid.Insert(points[v], v);

  std::unordered_map<uint64_t, std::vector<int32_t>> splits;
  size_t inserted = 0;
  const double tolerance_squared = tolerance * tolerance;
  for (const auto& entry : edges) {
    const int32_t low = entry.second.first;
    const int32_t high = entry.second.second;
    const Point3 a = points[low];
    const Point3 along = Sub(points[high], a);
    const double length_squared = Dot(along, along);
    std::vector<std::pair<double, int32_t>> found;
    grid.ForEachAlongSegment(a, points[high], [&](int32_t c) {
      if (c == low || c == high) return;
      const Point3 offset = Sub(points[c], a);
      const double t = Dot(offset, along) / length_squared;
      if (!(t > 0 && t < 1)) return;
      if (DistanceSquared(offset, Scale(along, t)) < tolerance_squared) found.emplace_back(t, c);
    });
    if (found.empty()) continue;
    std::sort(found.begin(), found.end());
    std::vector<int32_t>& inner = splits[entry.first];
    for (const auto& hit : found) inner.push_back(hit.second);
    inserted += inner.size();
  }
  if (splits.empty()) return 0;

  ForEachRing(*faces, [&](std::vector<int32_t>& ring) {
    std::vector<int32_t> split;
    ForEachRingEdge(ring, [&](int32_t a, int32_t b) {
      split.push_back(a);
      auto found = splits.find(EdgeKey(a, b));
      if (found == splits.end()) return;
      if (a < b) {
        split.insert(split.end(), found->second.begin(), found->second.end());
      } else {
        split.insert(split.end(), found->second.rbegin(), found->second.rend());
      }
    });
    ring = std::move(split);
  });
  return inserted;
}

EdgeDivision DivideEdges(const std::vector<Point3>& points, const std::vector<PreparedFace>& faces,
                         bool halved) {
  // Halved: pieces at twice the size, each then cut in two, so that every
  // other point is a request point and the ones between are the midpoints
  // the worker puts into its split segments.
  const double size_factor = halved ? 2.0 : 1.0;
  const double cuts = halved ? 2.0 : 1.0;
  EdgeDivision division;
  division.points = points;
  std::map<uint64_t, double> smallest_size;
  for (size_t f = 0; f < faces.size(); ++f) {
    const PreparedFace& face = faces[f];
    if (!face.skip_key.empty()) continue;
    auto add = [&](int32_t a, int32_t b) {
      const uint64_t key = EdgeKey(a, b);
      DividedEdge& edge = division.edges[key];
      edge.low = std::min(a, b);
      edge.high = std::max(a, b);
      edge.faces.push_back(static_cast<int32_t>(f));
      auto size = smallest_size.emplace(key, face.target_size).first;
      size->second = std::min(size->second, face.target_size);
    };
    ForEachRingEdge(face.outer, add);
    for (const auto& hole : face.holes) ForEachRingEdge(hole, add);
  }
  double edge_points = 0;
  for (const auto& entry : smallest_size) {
    const DividedEdge& edge = division.edges[entry.first];
    edge_points +=
        cuts * Pieces(Length(Sub(points[edge.high], points[edge.low])), size_factor * entry.second) -
        1;
  }
  if (!(edge_points <= kMostEdgePoints)) {
    division.too_many_points = edge_points;
    return division;
  }
  for (const auto& entry : smallest_size) {
    DividedEdge& edge = division.edges[entry.first];
    const Point3 a = points[edge.low];
    const Point3 along = Sub(points[edge.high], a);
    const int64_t n =
        static_cast<int64_t>(cuts * Pieces(Length(along), size_factor * entry.second));
    for (int64_t k = 1; k < n; ++k) {
      edge.inner.push_back(static_cast<int32_t>(division.points.size()));
      division.points.push_back(Add(a, Scale(along, static_cast<double>(k) / static_cast<double>(n))));
    }
  }
  return division;
}

}  // namespace mesh

#include "extract/quad_subdivision.h"

#include "extract/poor_element_repair.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>
#include <utility>
#include <vector>

namespace mesh {

namespace {

// Enough for the split mesh's kinks at the old element corners to even out;
// more rounds buy little, as each only moves a vertex towards its
// neighbours' mean.
constexpr int kSmoothingRounds = 8;
// Then a few rounds that push the worst quads up directly, only where the
// mean leaves a quad this poor: near a boundary vertex that many quads
// share, the mean of the neighbours says nothing of the angles there.
constexpr int kUntanglingRounds = 8;
constexpr double kPoorQuality = 0.6;

uint64_t EdgeKey(int32_t a, int32_t b) {
  if (a > b) std::swap(a, b);
  return (static_cast<uint64_t>(static_cast<uint32_t>(a)) << 32) | static_cast<uint32_t>(b);
}

Point3 Mean(const Point3* const* points, int count) {
  Point3 sum;
  for (int i = 0; i < count; ++i) {
    sum.x += points[i]->x;
    sum.y += points[i]->y;
    sum.z += points[i]->z;
  }
  return {sum.x / count, sum.y / count, sum.z / count};
}

// Owns the new vertices: one midpoint per element edge, made the first time
// the edge is asked for.
class Midpoints {
 public:
  explicit Midpoints(std::vector<Point3>* vertices) : vertices_(vertices) {}

  int32_t Of(int32_t a, int32_t b) {
    auto [it, made] = index_.emplace(EdgeKey(a, b), 0);
    if (made) it->second = Add(a, b);
    return it->second;
  }
  // -1 when no element has the edge.
  int32_t Existing(int32_t a, int32_t b) const {
    auto it = index_.find(EdgeKey(a, b));
    return it == index_.end() ? -1 : it->second;
  }
  int32_t Add(int32_t a, int32_t b) {
    // Both ends read before the push, which may move the array.
    const Point3* ends[2] = {&(*vertices_)[a], &(*vertices_)[b]};
    const Point3 mid = Mean(ends, 2);
    vertices_->push_back(mid);
    return static_cast<int32_t>(vertices_->size() - 1);
  }
  int32_t AddCentre(const int32_t* corners, int count) {
    const Point3* points[4];
    for (int i = 0; i < count; ++i) points[i] = &(*vertices_)[corners[i]];
    const Point3 centre = Mean(points, count);
    vertices_->push_back(centre);
    return static_cast<int32_t>(vertices_->size() - 1);
  }

 private:
  std::vector<Point3>* vertices_;
  std::unordered_map<uint64_t, int32_t> index_;
};

// Splits an element with `n` corners (3 or 4) into n quads, one at each
// corner: corner, midpoint after it, centre, midpoint before it, which
// turns the way the element does.
template <size_t N>
void SplitElement(const std::array<int32_t, N>& corners, int32_t domain, Midpoints* midpoints,
                  std::vector<std::array<int32_t, 4>>* quads, std::vector<int32_t>* domains) {
  std::array<int32_t, N> after;
  for (size_t i = 0; i < N; ++i) after[i] = midpoints->Of(corners[i], corners[(i + 1) % N]);
  const int32_t centre = midpoints->AddCentre(corners.data(), static_cast<int>(N));
  for (size_t i = 0; i < N; ++i) {
    quads->push_back({corners[i], after[i], centre, after[(i + N - 1) % N]});
    domains->push_back(domain);
  }
}

double Cross(const PlanePoint& o, const PlanePoint& a, const PlanePoint& b) {
  return (a.u - o.u) * (b.v - o.v) - (a.v - o.v) * (b.u - o.u);
}

// Smooths the vertices no chain holds and no request point stands for,
// in the plane; the quads' turning is the mesh's, whichever way that is.
class Smoother {
 public:
  Smoother(const PlanarFrame& frame, PlanarComplexMesh* record)
      : frame_(frame), record_(record), plane_(ToPlanePoints(frame, record->vertices)) {
    const size_t n = record->vertices.size();
    movable_.assign(n, false);
    for (const auto& quad : record->quads) {
      for (int32_t v : quad) movable_[v] = true;
    }
    for (int32_t v : record->point_vertex) movable_[v] = false;
    for (const auto& chain : record->segment_chains) {
      for (int32_t v : chain) movable_[v] = false;
    }
    // A vertex on an edge only one quad uses is on some boundary whether a
    // chain holds it or not; it stays too.
    std::unordered_map<uint64_t, int> edge_uses;
    double twice_area = 0;
    for (const auto& quad : record->quads) {
      for (size_t i = 0; i < 4; ++i) ++edge_uses[EdgeKey(quad[i], quad[(i + 1) % 4])];
      twice_area += Cross(plane_[quad[0]], plane_[quad[1]], plane_[quad[2]]) +
                    Cross(plane_[quad[0]], plane_[quad[2]], plane_[quad[3]]);
    }
    for (const auto& quad : record->quads) {
      for (size_t i = 0; i < 4; ++i) {
        if (edge_uses[EdgeKey(quad[i], quad[(i + 1) % 4])] == 1) {
          movable_[quad[i]] = false;
          movable_[quad[(i + 1) % 4]] = false;
        }
      }
    }
    clockwise_ = twice_area < 0;
    // Quads and edge neighbours of each vertex, as offsets into flat lists.
    quad_start_.assign(n + 1, 0);
    for (const auto& quad : record->quads) {
      for (int32_t v : quad) ++quad_start_[v + 1];
    }
    for (size_t v = 0; v < n; ++v) quad_start_[v + 1] += quad_start_[v];
    quads_of_.resize(quad_start_[n]);
    std::vector<size_t> fill(quad_start_.begin(), quad_start_.end() - 1);
    for (size_t q = 0; q < record->quads.size(); ++q) {
      for (int32_t v : record->quads[q]) quads_of_[fill[v]++] = static_cast<int32_t>(q);
    }
  }

  void Run() {
    for (int round = 0; round < kSmoothingRounds; ++round) {
      for (size_t v = 0; v < movable_.size(); ++v) {
        if (movable_[v]) Move(static_cast<int32_t>(v));
      }
    }
    for (int round = 0; round < kUntanglingRounds; ++round) {
      for (size_t v = 0; v < movable_.size(); ++v) {
        if (movable_[v]) Raise(static_cast<int32_t>(v));
      }
    }
    for (size_t v = 0; v < movable_.size(); ++v) {
      if (movable_[v]) record_->vertices[v] = frame_.FromPlane(plane_[v]);
    }
  }

 private:
  double Quality(int32_t q) const {
    const auto& quad = record_->quads[q];
    const PlanePoint& a = plane_[quad[0]];
    const PlanePoint& b = plane_[quad[1]];
    const PlanePoint& c = plane_[quad[2]];
    const PlanePoint& d = plane_[quad[3]];
    return clockwise_ ? PlaneQuadQuality(d, c, b, a) : PlaneQuadQuality(a, b, c, d);
  }

  double WorstAround(int32_t v) const {
    double worst = 2;
    for (size_t k = quad_start_[v]; k < quad_start_[v + 1]; ++k) {
      worst = std::min(worst, Quality(quads_of_[k]));
    }
    return worst;
  }

  // Towards the mean of its edge neighbours; half way if all the way makes
  // the worst quad around it worse, and not at all if half way does too.
  void Move(int32_t v) {
    PlanePoint sum;
    int count = 0;
    for (size_t k = quad_start_[v]; k < quad_start_[v + 1]; ++k) {
      const auto& quad = record_->quads[quads_of_[k]];
      const size_t at = static_cast<size_t>(std::find(quad.begin(), quad.end(), v) - quad.begin());
      for (size_t side : {size_t{1}, size_t{3}}) {
        const PlanePoint& n = plane_[quad[(at + side) % 4]];
        sum.u += n.u;
        sum.v += n.v;
        ++count;
      }
    }
    // Each neighbour is counted by both quads on their common edge, so the
    // mean is the plain one wherever the vertex is surrounded.
    const PlanePoint start = plane_[v];
    const PlanePoint target{sum.u / count, sum.v / count};
    const double before = WorstAround(v);
    for (double step : {1.0, 0.5}) {
      plane_[v] = {start.u + step * (target.u - start.u), start.v + step * (target.v - start.v)};
      if (WorstAround(v) >= before) return;
    }
    plane_[v] = start;
  }

  // Compass steps of a tenth of the shortest edge from the vertex, then of
  // half that and a quarter: the best of them, when it lifts the worst
  // quad around the vertex.
  void Raise(int32_t v) {
    double worst = WorstAround(v);
    if (worst >= kPoorQuality) return;
    double shortest = HUGE_VAL;
    for (size_t k = quad_start_[v]; k < quad_start_[v + 1]; ++k) {
      const auto& quad = record_->quads[quads_of_[k]];
      const size_t at = static_cast<size_t>(std::find(quad.begin(), quad.end(), v) - quad.begin());
      for (size_t side : {size_t{1}, size_t{3}}) {
        const PlanePoint& n = plane_[quad[(at + side) % 4]];
        shortest = std::min(shortest, std::hypot(n.u - plane_[v].u, n.v - plane_[v].v));
      }
    }
    if (!(shortest > 0 && std::isfinite(shortest))) return;
    for (double step = 0.25 * shortest; step > 0.02 * shortest; step /= 2) {
      const PlanePoint start = plane_[v];
      PlanePoint best = start;
      for (int direction = 0; direction < 8; ++direction) {
        const double angle = direction * (M_PI / 4);
        plane_[v] = {start.u + step * std::cos(angle), start.v + step * std::sin(angle)};
        const double quality = WorstAround(v);
        if (quality > worst) {
          worst = quality;
          best = plane_[v];
        }
      }
      plane_[v] = best;
    }
  }

  const PlanarFrame& frame_;
  PlanarComplexMesh* record_;
  std::vector<PlanePoint> plane_;
  std::vector<bool> movable_;
  bool clockwise_ = false;
  std::vector<size_t> quad_start_;
  std::vector<int32_t> quads_of_;
};

}  // namespace

void SubdivideIntoQuads(const PlanarFrame& frame, PlanarComplexMesh* record) {
  const size_t element_count = record->quads.size() + record->triangles.size();
  record->vertices.reserve(record->vertices.size() + 2 * element_count +
                           record->quads.size() + record->triangles.size());
  Midpoints midpoints(&record->vertices);
  std::vector<std::array<int32_t, 4>> quads;
  std::vector<int32_t> domains;
  quads.reserve(4 * record->quads.size() + 3 * record->triangles.size());
  domains.reserve(quads.capacity());
  for (size_t e = 0; e < record->quads.size(); ++e) {
    SplitElement(record->quads[e], record->quad_domains[e], &midpoints, &quads, &domains);
  }
  for (size_t e = 0; e < record->triangles.size(); ++e) {
    SplitElement(record->triangles[e], record->triangle_domains[e], &midpoints, &quads, &domains);
  }
  record->quads = std::move(quads);
  record->quad_domains = std::move(domains);
  record->triangles.clear();
  record->triangle_domains.clear();

  // An interior-only point placed on a boundary edge splits it, and the
  // chain steps over its vertex; split into quads, the step becomes two
  // element edges through that vertex, each with its own midpoint.
  std::vector<int32_t> point_vertices = record->point_vertex;
  std::sort(point_vertices.begin(), point_vertices.end());
  point_vertices.erase(std::unique(point_vertices.begin(), point_vertices.end()),
                       point_vertices.end());
  auto splitting_vertex = [&](int32_t a, int32_t b) {
    for (int32_t x : point_vertices) {
      if (x != a && x != b && midpoints.Existing(a, x) >= 0 && midpoints.Existing(x, b) >= 0) {
        return x;
      }
    }
    return int32_t{-1};
  };
  for (auto& chain : record->segment_chains) {
    std::vector<int32_t> split;
    split.reserve(2 * chain.size());
    for (size_t j = 0; j < chain.size(); ++j) {
      split.push_back(chain[j]);
      if (j + 1 == chain.size() || chain[j] == chain[j + 1]) continue;
      const int32_t a = chain[j];
      const int32_t b = chain[j + 1];
      const int32_t existing = midpoints.Existing(a, b);
      if (existing >= 0) {
        split.push_back(existing);
        continue;
      }
      const int32_t x = splitting_vertex(a, b);
      if (x >= 0) {
        split.insert(split.end(), {midpoints.Existing(a, x), x, midpoints.Existing(x, b)});
      } else {
        split.push_back(midpoints.Add(a, b));
      }
    }
    chain = std::move(split);
  }

  Smoother(frame, record).Run();
}

}  // namespace mesh

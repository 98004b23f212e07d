#include "planar/loop_orientation.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <tuple>
#include <utility>
#include <vector>

#include "planar/polygon_geometry.h"
#include "planar/request_checks.h"
#include "protocol/refusals.h"

namespace mesh {

namespace {

// A segment with the same domain on both sides is an inner cut of that
// domain: walked once each way, it bounds nothing and belongs to no loop.
bool SeparatesDomain(const BoundarySegment& segment) {
  return segment.left_domain != segment.right_domain;
}

// Loops for the orientation check. A loop is a closed walk over separating
// segments that all carry the same two domains, each segment taken in the
// direction that puts the lower domain number on its left; so the walk has
// one domain on its left and one on its right all the way round.
struct LoopEdge {
  size_t segment;
  int32_t from;
  int32_t to;
  int32_t left;   // the lower of the segment's two domains
  int32_t right;  // the higher
};

// Direction from point `at` along the edge, for sorting the edges around a
// point counter-clockwise: first by half-plane, then by the sign of the cross
// product, which is exact for the order of two directions in one half-plane.
struct Direction {
  double du, dv;
  int Half() const { return (dv < 0 || (dv == 0 && du < 0)) ? 1 : 0; }
};

bool ComesFirstCounterClockwise(const Direction& a, const Direction& b) {
  if (a.Half() != b.Half()) return a.Half() < b.Half();
  return a.du * b.dv - a.dv * b.du > 0;
}

// Chains the edges of one pair of domains into loops: `next[e]` is the edge
// the walk takes after arriving over edge e, or kNone. Where a point has one
// edge in and one out, the two are joined. Where it has several of each (a
// hole touching the outline at a shared point), arrivals are matched to
// departures around the point like brackets, counter-clockwise, so that no
// two walks cross there. A point with unequal numbers in and out ends the
// walks through it: what arrives there belongs to no closed loop of this pair
// of domains.
constexpr size_t kNone = static_cast<size_t>(-1);

void ChainGroup(const std::vector<LoopEdge>& edges, const std::vector<size_t>& group,
                const std::vector<PlanePoint>& plane_points, std::vector<size_t>* next) {
  struct End {
    int32_t point;
    bool arrives;
    size_t edge;
  };
  std::vector<End> ends;
  ends.reserve(2 * group.size());
  for (size_t e : group) {
    ends.push_back({edges[e].from, false, e});
    ends.push_back({edges[e].to, true, e});
  }
  std::sort(ends.begin(), ends.end(), [](const End& a, const End& b) {
    return std::tie(a.point, a.edge, a.arrives) < std::tie(b.point, b.edge, b.arrives);
  });
  for (size_t first = 0; first < ends.size();) {
    size_t last = first;
    int balance = 0;
    for (; last < ends.size() && ends[last].point == ends[first].point; ++last) {
      balance += ends[last].arrives ? 1 : -1;
    }
    const size_t count = last - first;
    if (balance == 0 && count == 2) {
      const End& a = ends[first];
      const End& b = ends[first + 1];
      (*next)[a.arrives ? a.edge : b.edge] = a.arrives ? b.edge : a.edge;
    } else if (balance == 0) {
      std::vector<End> around(ends.begin() + first, ends.begin() + last);
      const PlanePoint& at = plane_points[around[0].point];
      auto direction = [&](const End& end) {
        const LoopEdge& edge = edges[end.edge];
        const PlanePoint& other = plane_points[end.arrives ? edge.from : edge.to];
        return Direction{other.u - at.u, other.v - at.v};
      };
      std::stable_sort(around.begin(), around.end(), [&](const End& a, const End& b) {
        return ComesFirstCounterClockwise(direction(a), direction(b));
      });
      // Start just after the lowest running count, so that every departure
      // finds an open arrival.
      int running = 0, lowest = 0;
      size_t start = 0;
      for (size_t i = 0; i < around.size(); ++i) {
        running += around[i].arrives ? 1 : -1;
        if (running < lowest) {
          lowest = running;
          start = i + 1;
        }
      }
      std::vector<size_t> open;
      for (size_t k = 0; k < around.size(); ++k) {
        const End& end = around[(start + k) % around.size()];
        if (end.arrives) {
          open.push_back(end.edge);
        } else if (!open.empty()) {
          (*next)[open.back()] = end.edge;
          open.pop_back();
        }
      }
    }
    first = last;
  }
}

// Each loop as its edges in walking order.
std::vector<std::vector<size_t>> FormLoops(const std::vector<BoundarySegment>& segments,
                                           const std::vector<PlanePoint>& plane_points,
                                           std::vector<LoopEdge>* edges) {
  for (size_t i = 0; i < segments.size(); ++i) {
    const BoundarySegment& s = segments[i];
    if (!SeparatesDomain(s)) continue;
    if (s.left_domain < s.right_domain) {
      edges->push_back({i, s.point_a, s.point_b, s.left_domain, s.right_domain});
    } else {
      edges->push_back({i, s.point_b, s.point_a, s.right_domain, s.left_domain});
    }
  }
  std::vector<size_t> order(edges->size());
  for (size_t e = 0; e < order.size(); ++e) order[e] = e;
  std::sort(order.begin(), order.end(), [&](size_t a, size_t b) {
    const LoopEdge& x = (*edges)[a];
    const LoopEdge& y = (*edges)[b];
    return std::tie(x.left, x.right, x.segment) < std::tie(y.left, y.right, y.segment);
  });
  std::vector<size_t> next(edges->size(), kNone);
  for (size_t first = 0; first < order.size();) {
    size_t last = first;
    const LoopEdge& head = (*edges)[order[first]];
    while (last < order.size() && (*edges)[order[last]].left == head.left &&
           (*edges)[order[last]].right == head.right) {
      ++last;
    }
    const std::vector<size_t> group(order.begin() + first, order.begin() + last);
    ChainGroup(*edges, group, plane_points, &next);
    first = last;
  }

  // Each edge has at most one predecessor, so the walks are separate paths
  // and cycles, and only a walk that comes back to its first edge is a loop.
  std::vector<std::vector<size_t>> loops;
  std::vector<bool> seen(edges->size(), false);
  for (size_t e = 0; e < edges->size(); ++e) {
    if (seen[e]) continue;
    std::vector<size_t> walk;
    size_t at = e;
    while (at != kNone && !seen[at]) {
      seen[at] = true;
      walk.push_back(at);
      at = next[at];
    }
    if (at == e) loops.push_back(std::move(walk));
  }
  return loops;
}

double SquaredDistanceToSegment(const PlanePoint& p, const PlanePoint& a, const PlanePoint& b) {
  const double du = b.u - a.u, dv = b.v - a.v;
  const double t = std::clamp(((p.u - a.u) * du + (p.v - a.v) * dv) / (du * du + dv * dv),
                              0.0, 1.0);
  const double eu = a.u + t * du - p.u, ev = a.v + t * dv - p.v;
  return eu * eu + ev * ev;
}

// What a ray from the middle of one loop edge, leaving it on its left, says
// about where the loop lies. The ray does not meet the edge itself, so the
// crossings count windings around a point just left of the edge: the loop's
// own winding there, and, per domain, the winding of every other separating
// segment's boundary of that domain. Taking the loop out of a set of closed
// domain boundaries leaves closed boundaries, so those windings are those of
// the point's place in the rest of the layout.
struct Probe {
  bool decided = false;
  // 1: the loop's inside is on the edge's left; 0: on its right.
  int own_winding = 0;
  // The domain the rest of the layout puts the edge in; 0 for the outside.
  int32_t surrounding = 0;
};

Probe ProbeEdge(const std::vector<BoundarySegment>& segments,
                const std::vector<PlanePoint>& plane_points, const LoopEdge& edge,
                const std::vector<int>& loop_direction) {
  Probe probe;
  const PlanePoint& p = plane_points[edge.from];
  const PlanePoint& q = plane_points[edge.to];
  const PlanePoint middle{(p.u + q.u) * 0.5, (p.v + q.v) * 0.5};
  const PlanePoint ahead{middle.u - (q.v - p.v), middle.v + (q.u - p.u)};
  // A segment through or right beside the middle would make the point's side
  // of it a matter of rounding; such a probe decides nothing.
  const double tolerance =
      std::max(1e-6 * std::hypot(q.u - p.u, q.v - p.v),
               CoordinateRounding(std::max(std::fabs(middle.u), std::fabs(middle.v))));
  std::vector<std::pair<int32_t, int>> windings;
  for (size_t i = 0; i < segments.size(); ++i) {
    const BoundarySegment& t = segments[i];
    if (i == edge.segment || !SeparatesDomain(t)) continue;
    const PlanePoint& x = plane_points[t.point_a];
    const PlanePoint& y = plane_points[t.point_b];
    if (SquaredDistanceToSegment(middle, x, y) < tolerance * tolerance) return probe;
    // Half-open sides: a point on the ray's line counts as right of it, so a
    // ray through a vertex is counted once for the two segments meeting there.
    const bool x_left = Orient(middle, ahead, x) > 0;
    const bool y_left = Orient(middle, ahead, y) > 0;
    if (x_left == y_left) continue;
    const double side = Orient(x, y, middle);
    int crossing = 0;
    if (!x_left && side > 0) crossing = 1;
    if (x_left && side < 0) crossing = -1;
    if (crossing == 0) continue;
    if (loop_direction[i] != 0) {
      probe.own_winding += crossing * loop_direction[i];
    } else {
      if (t.left_domain >= 1) windings.emplace_back(t.left_domain, crossing);
      if (t.right_domain >= 1) windings.emplace_back(t.right_domain, -crossing);
    }
  }
  if (probe.own_winding != 0 && probe.own_winding != 1) return probe;
  std::sort(windings.begin(), windings.end());
  int32_t found = 0;
  for (size_t first = 0; first < windings.size();) {
    int sum = 0;
    size_t last = first;
    for (; last < windings.size() && windings[last].first == windings[first].first; ++last) {
      sum += windings[last].second;
    }
    // Anything but one domain wound once means the rest of the layout does
    // not say plainly where this is.
    if (sum != 0 && (sum != 1 || found != 0)) return probe;
    if (sum == 1) found = windings[first].first;
    first = last;
  }
  probe.decided = true;
  probe.surrounding = found;
  return probe;
}

}  // namespace

std::optional<StageRefusal> CheckLoopOrientation(const std::vector<BoundarySegment>& segments,
                                                 const std::vector<PlanePoint>& plane_points) {
  std::vector<LoopEdge> edges;
  std::vector<std::vector<size_t>> loops = FormLoops(segments, plane_points, &edges);
  for (std::vector<size_t>& loop : loops) {
    std::rotate(loop.begin(), std::min_element(loop.begin(), loop.end(),
                                               [&](size_t a, size_t b) {
                                                 return edges[a].segment < edges[b].segment;
                                               }),
                loop.end());
  }
  std::sort(loops.begin(), loops.end(),
            [&](const std::vector<size_t>& a, const std::vector<size_t>& b) {
              return edges[a[0]].segment < edges[b[0]].segment;
            });

  // +1 for a segment the loop under test walks from point_a to point_b, -1
  // for one it walks backwards, 0 for the rest of the layout.
  std::vector<int> loop_direction(segments.size(), 0);
  for (const std::vector<size_t>& loop : loops) {
    const LoopEdge& first = edges[loop[0]];
    // Domains below 0 are no domain to the mesher; where they lie is not
    // this check's business.
    if (first.left < 0) continue;
    for (size_t e : loop) {
      loop_direction[edges[e].segment] =
          edges[e].from == segments[edges[e].segment].point_a ? 1 : -1;
    }
    // Refused only when every edge of the loop finds it turned the wrong
    // way: inside it the domain it lies in would be claimed twice. A loop
    // that names neither surrounding domain is a different mistake, and any
    // doubt lets the loop pass.
    int own_winding = -1;
    int32_t surrounding = 0;
    bool wrong = true;
    for (size_t k = 0; wrong && k < loop.size(); ++k) {
      const LoopEdge& edge = edges[loop[k]];
      const Probe probe = ProbeEdge(segments, plane_points, edge, loop_direction);
      const int32_t inner = probe.own_winding == 1 ? edge.left : edge.right;
      const int32_t outer = probe.own_winding == 1 ? edge.right : edge.left;
      wrong = probe.decided && outer != probe.surrounding && inner == probe.surrounding &&
              (k == 0 || probe.own_winding == own_winding);
      own_winding = probe.own_winding;
      surrounding = probe.surrounding;
    }
    for (size_t e : loop) loop_direction[edges[e].segment] = 0;
    if (!wrong) continue;

    // Said along the loop's first segment as the caller drew it.
    const BoundarySegment& segment = segments[first.segment];
    const bool drawn_forward = first.from == segment.point_a;
    const bool counter_clockwise = (own_winding == 1) == drawn_forward;
    const int32_t inner = own_winding == 1 ? first.left : first.right;
    const int32_t outer = own_winding == 1 ? first.right : first.left;
    return Refuse<RefusalKey::kLoopTurnedWrongWay>(
        first.segment, counter_clockwise ? "counter-clockwise" : "clockwise", inner, outer,
        surrounding, counter_clockwise ? "clockwise" : "counter-clockwise");
  }
  return std::nullopt;
}

}  // namespace mesh

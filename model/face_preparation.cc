#include "model/face_preparation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <set>

#include "model/vec3.h"

namespace mesh {

namespace {

std::string Format(const char* format, double a, double b = 0.0) {
  char text[200];
  std::snprintf(text, sizeof text, format, a, b);
  return text;
}

// The ring in representatives, with every vertex that repeats its
// predecessor (the closing vertex repeating the first among them) dropped.
// False with the offending index when a vertex index is out of range.
bool WeldRing(const std::vector<int32_t>& ring, const VertexWeld& weld,
              std::vector<int32_t>* welded, size_t* dropped, int32_t* bad_index) {
  welded->clear();
  for (int32_t index : ring) {
    if (index < 0 || static_cast<size_t>(index) >= weld.representative.size()) {
      *bad_index = index;
      return false;
    }
    const int32_t vertex = weld.representative[index];
    if (!welded->empty() && welded->back() == vertex) {
      ++*dropped;
      continue;
    }
    welded->push_back(vertex);
  }
  while (welded->size() > 1 && welded->back() == welded->front()) {
    welded->pop_back();
    ++*dropped;
  }
  return true;
}

double Extent(const std::vector<Point3>& points, const std::vector<int32_t>& ring) {
  Point3 low = points[ring[0]];
  Point3 high = low;
  for (int32_t v : ring) {
    const Point3& p = points[v];
    low = {std::min(low.x, p.x), std::min(low.y, p.y), std::min(low.z, p.z)};
    high = {std::max(high.x, p.x), std::max(high.y, p.y), std::max(high.z, p.z)};
  }
  return Length(Sub(high, low));
}

// Even-odd test of `p` against the ring in the plane of (u, v), about
// `origin`; a point within `tolerance` of an edge counts as inside.
bool InsideRing(const std::vector<Point3>& points, const std::vector<int32_t>& ring,
                const Point3& p, const Point3& origin, const Point3& u, const Point3& v,
                double tolerance) {
  const double px = Dot(Sub(p, origin), u);
  const double py = Dot(Sub(p, origin), v);
  bool inside = false;
  for (size_t i = 0; i < ring.size(); ++i) {
    const Point3& a3 = points[ring[i]];
    const Point3& b3 = points[ring[(i + 1) % ring.size()]];
    const double ax = Dot(Sub(a3, origin), u), ay = Dot(Sub(a3, origin), v);
    const double bx = Dot(Sub(b3, origin), u), by = Dot(Sub(b3, origin), v);
    const double ex = bx - ax, ey = by - ay;
    const double length_squared = ex * ex + ey * ey;
    double t = length_squared > 0 ? ((px - ax) * ex + (py - ay) * ey) / length_squared : 0.0;
    t = std::max(0.0, std::min(1.0, t));
    const double dx = ax + t * ex - px, dy = ay + t * ey - py;
    if (dx * dx + dy * dy < tolerance * tolerance) return true;
    if ((ay > py) != (by > py) && px < ax + (py - ay) / (by - ay) * ex) inside = !inside;
  }
  return inside;
}

}  // namespace

Point3 RingNewell(const std::vector<Point3>& points, const std::vector<int32_t>& ring) {
  Point3 n;
  if (ring.empty()) return n;
  const Point3 origin = points[ring[0]];
  for (size_t i = 0; i < ring.size(); ++i) {
    const Point3 a = Sub(points[ring[i]], origin);
    const Point3 b = Sub(points[ring[(i + 1) % ring.size()]], origin);
    n.x += (a.y - b.y) * (a.z + b.z);
    n.y += (a.z - b.z) * (a.x + b.x);
    n.z += (a.x - b.x) * (a.y + b.y);
  }
  return n;
}

PreparedFace PrepareFace(const Model& model, const VertexWeld& weld, size_t face_index,
                         double tolerance, double default_target_size,
                         FacePreparationCounts* counts) {
  const ModelFace& face = model.faces[face_index];
  const std::vector<Point3>& points = model.vertices;
  PreparedFace prepared;
  auto skip = [&](const char* key, std::string reason) {
    prepared.skip_key = key;
    prepared.skip_reason = std::move(reason);
    return prepared;
  };

  if (!std::isfinite(face.target_size) || face.target_size < 0) {
    return skip("bad_target_size", Format("target size %g is not a length", face.target_size));
  }
  prepared.target_size = face.target_size > 0 ? face.target_size : default_target_size;

  int32_t bad_index = 0;
  if (!WeldRing(face.outer, weld, &prepared.outer, &counts->dropped_ring_repeats, &bad_index)) {
    return skip("bad_vertex_index", Format("vertex index %.0f is out of range", bad_index));
  }
  std::vector<std::vector<int32_t>> holes(face.holes.size());
  for (size_t h = 0; h < face.holes.size(); ++h) {
    if (!WeldRing(face.holes[h], weld, &holes[h], &counts->dropped_ring_repeats, &bad_index)) {
      return skip("bad_vertex_index", Format("vertex index %.0f is out of range", bad_index));
    }
  }
  holes.push_back(prepared.outer);
  for (const auto& ring : holes) {
    for (int32_t v : ring) {
      if (!IsFinite(points[v])) return skip("vertex_not_finite", Format("vertex %.0f is not finite", v));
    }
  }
  holes.pop_back();
  if (prepared.outer.size() < 3) {
    return skip("too_few_vertices",
                Format("the outline has %.0f distinct vertices after welding", prepared.outer.size()));
  }

  const Point3 newell = RingNewell(points, prepared.outer);
  const double twice_area = Length(newell);
  const double extent = Extent(points, prepared.outer);
  prepared.area = twice_area / 2;
  if (!(prepared.area >= tolerance * extent) || twice_area == 0) {
    return skip("zero_area", Format("the outline encloses %g m^2 over %g m: thinner than the weld "
                                    "tolerance", prepared.area, extent));
  }
  prepared.normal = Scale(newell, 1 / twice_area);

  for (auto& hole : holes) {
    const double signed_area = hole.size() < 3 ? 0.0 : Dot(RingNewell(points, hole), prepared.normal) / 2;
    if (hole.size() < 3 || std::fabs(signed_area) < tolerance * Extent(points, hole)) {
      ++counts->dropped_holes;
      continue;
    }
    if (signed_area > 0) std::reverse(hole.begin(), hole.end());
    prepared.holes.push_back(std::move(hole));
  }

  // The plane through the centroid of every ring vertex.
  Point3 centroid;
  size_t count = 0;
  auto each_vertex = [&](auto&& visit) {
    for (int32_t v : prepared.outer) visit(v);
    for (const auto& hole : prepared.holes) {
      for (int32_t v : hole) visit(v);
    }
  };
  const Point3 origin = points[prepared.outer[0]];
  each_vertex([&](int32_t v) {
    centroid = Add(centroid, Sub(points[v], origin));
    ++count;
  });
  centroid = Add(origin, Scale(centroid, 1.0 / static_cast<double>(count)));
  each_vertex([&](int32_t v) {
    prepared.non_planarity = std::max(prepared.non_planarity,
                                      std::fabs(Dot(Sub(points[v], centroid), prepared.normal)));
  });

  // Any unit vector across the normal will do for the inside test.
  const Point3& n = prepared.normal;
  const Point3 helper = std::fabs(n.x) < 0.6 ? Point3{1, 0, 0} : Point3{0, 1, 0};
  Point3 u = Cross(n, helper);
  u = Scale(u, 1 / Length(u));
  const Point3 v = Cross(n, u);
  const std::set<int32_t> outline(prepared.outer.begin(), prepared.outer.end());
  for (const auto& hole : prepared.holes) {
    for (int32_t vertex : hole) {
      if (outline.count(vertex)) continue;
      if (!InsideRing(points, prepared.outer, points[vertex], centroid, u, v, tolerance)) {
        return skip("hole_outside_outline",
                    Format("a hole's vertex %.0f lies outside the outline", vertex));
      }
    }
  }
  return prepared;
}

}  // namespace mesh

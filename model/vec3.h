// The few vector operations on Point3 that the model layer's geometry needs.
#ifndef MESH_WORKER_MODEL_VEC3_H_
#define MESH_WORKER_MODEL_VEC3_H_

#include <cmath>

#include "protocol/mesh_request.h"

namespace mesh {

inline Point3 Add(const Point3& a, const Point3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
inline Point3 Sub(const Point3& a, const Point3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
inline Point3 Scale(const Point3& a, double s) { return {a.x * s, a.y * s, a.z * s}; }
inline double Dot(const Point3& a, const Point3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }
inline Point3 Cross(const Point3& a, const Point3& b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Length(const Point3& a) { return std::sqrt(Dot(a, a)); }
inline double DistanceSquared(const Point3& a, const Point3& b) {
  const Point3 d = Sub(a, b);
  return Dot(d, d);
}
inline bool IsFinite(const Point3& a) {
  return std::isfinite(a.x) && std::isfinite(a.y) && std::isfinite(a.z);
}

}  // namespace mesh

#endif  // MESH_WORKER_MODEL_VEC3_H_

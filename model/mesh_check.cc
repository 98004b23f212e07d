#include "model/mesh_check.h"

#include <functional>
#include <string>
#include <unordered_map>

namespace mesh {

namespace {

using std::to_string;

// An element edge within one face. Faces may coincide (adjoining buildings
// each carrying their common wall), and then two faces can join the same
// two boundary vertices by an edge inside each: such an edge is used twice
// in each face, not four times in one.
struct FaceEdge {
  uint64_t edge;
  int32_t face;
  bool operator==(const FaceEdge& other) const { return edge == other.edge && face == other.face; }
};

struct FaceEdgeHash {
  size_t operator()(const FaceEdge& e) const {
    return std::hash<uint64_t>()(e.edge * 0x9E3779B97F4A7C15ull ^ static_cast<uint32_t>(e.face));
  }
};

using FaceEdgeUses = std::unordered_map<FaceEdge, int, FaceEdgeHash>;

// Counts each element edge's uses within its face; false when
// an element is malformed.
template <size_t N>
bool CountEdges(const std::vector<std::array<int32_t, N>>& elements,
                const std::vector<int32_t>& element_faces, size_t vertex_count,
                FaceEdgeUses* face_uses,
                MeshCheck* check) {
  for (size_t e = 0; e < elements.size(); ++e) {
    const auto& element = elements[e];
    for (size_t i = 0; i < N; ++i) {
      const int32_t v = element[i];
      if (v < 0 || static_cast<size_t>(v) >= vertex_count) {
        check->error = "an element of face " + to_string(element_faces[e]) + " has vertex " +
                       to_string(v) + ", out of range (" + to_string(vertex_count) + " vertices)";
        return false;
      }
      for (size_t j = 0; j < i; ++j) {
        if (element[j] == v) {
          check->error = "an element of face " + to_string(element_faces[e]) + " uses vertex " +
                         to_string(v) + " twice";
          return false;
        }
      }
    }
    for (size_t i = 0; i < N; ++i) {
      const uint64_t key = EdgeKey(element[i], element[(i + 1) % N]);
      ++(*face_uses)[FaceEdge{key, element_faces[e]}];
    }
  }
  return true;
}

}  // namespace

MeshCheck CheckStitchedMesh(const ModelMesh& mesh, const EdgeDivision& division,
                            const std::vector<bool>& face_meshed) {
  MeshCheck check;
  FaceEdgeUses face_uses;
  // Most element edges are shared by two elements.
  face_uses.reserve(2 * mesh.quads.size() + 2 * mesh.triangles.size());
  if (!CountEdges(mesh.quads, mesh.quad_faces, mesh.vertices.size(), &face_uses, &check) ||
      !CountEdges(mesh.triangles, mesh.triangle_faces, mesh.vertices.size(), &face_uses,
                  &check)) {
    check.ok = false;
    return check;
  }
  // A model edge's piece is a boundary edge of each meshed face along it:
  // used once in that face (twice for a face that runs along it twice). Any
  // other face may join the same two vertices by an edge of its own inside
  // it (at coarse sizes a diagonal between two of its corners that happen
  // to be an edge elsewhere), which the last loop checks as an inside edge.
  std::unordered_map<FaceEdge, int, FaceEdgeHash> boundary_uses;
  for (const auto& entry : division.edges) {
    const DividedEdge& edge = entry.second;
    int meshed = 0;
    for (int32_t face : edge.faces) meshed += face_meshed[face] ? 1 : 0;
    int32_t from = edge.low;
    for (size_t k = 0; k <= edge.inner.size(); ++k) {
      const int32_t to = k < edge.inner.size() ? edge.inner[k] : edge.high;
      const uint64_t key = EdgeKey(from, to);
      int used = 0;
      for (int32_t face : edge.faces) {
        if (!face_meshed[face]) continue;
        int& expected = boundary_uses[FaceEdge{key, face}];
        if (expected++ > 0) continue;  // a face listed twice: counted at its first listing
        auto found = face_uses.find(FaceEdge{key, face});
        used += found == face_uses.end() ? 0 : found->second;
      }
      if (used != meshed) {
        check.ok = false;
        check.error = "the model edge from vertex " + to_string(edge.low) + " to vertex " +
                      to_string(edge.high) + " has a piece used by " + to_string(used) +
                      " elements where " + to_string(meshed) +
                      " meshed faces meet along it";
        return check;
      }
      if (used == 1 && edge.faces.size() > 1) ++check.open_edges;
      from = to;
    }
  }
  for (const auto& entry : face_uses) {
    if (boundary_uses.count(entry.first) || entry.second == 2) continue;
    check.ok = false;
    check.error = "the element edge from vertex " + to_string(entry.first.edge >> 32) +
                  " to vertex " + to_string(entry.first.edge & 0xffffffffu) + ", inside face " +
                  to_string(entry.first.face) + ", is used by " + to_string(entry.second) +
                  " of its elements instead of two";
    return check;
  }
  return check;
}

}  // namespace mesh

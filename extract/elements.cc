#include "extract/elements.h"

namespace mesh {

void AppendSurfaceElements(const SurfaceMesh& mesh, PlanarComplexMesh* record) {
  const size_t count = mesh.ElementCount();
  // The mesher is asked for quads first, so most meshes are mostly quads;
  // the triangles of a quad mesh are the few that close it up.
  record->quads.reserve(record->quads.size() + count);
  record->quad_domains.reserve(record->quad_domains.size() + count);
  record->triangles.reserve(record->triangles.size() + count / 8);
  record->triangle_domains.reserve(record->triangle_domains.size() + count / 8);
  for (size_t e = 0; e < count; ++e) {
    const SurfaceElement element = mesh.Element(e);
    const auto& c = element.nodes;
    if (element.node_count == 4) {
      record->quads.push_back({c[0] - 1, c[1] - 1, c[2] - 1, c[3] - 1});
      record->quad_domains.push_back(element.domain);
    } else if (element.node_count == 3) {
      record->triangles.push_back({c[0] - 1, c[1] - 1, c[2] - 1});
      record->triangle_domains.push_back(element.domain);
    }
  }
}

}  // namespace mesh

#include "planar/coarse_request.h"

namespace mesh {

MeshRequest CoarseRequestForAllQuads(const MeshRequest& request) {
  MeshRequest coarse = request;
  if ((request.options & kAllQuads) == 0) return coarse;
  coarse.options &= ~kAllQuads;
  coarse.prefer_quads = true;
  coarse.target_size *= 2;
  // Entries of 0 or less stay so: they mean "use target_size".
  for (double& size : coarse.domain_target_sizes) size *= 2;
  return coarse;
}

}  // namespace mesh

// Requests of every kind a parent may send, for the reliability checks
// (fault injection, the soak run): small shapes the mesher finishes quickly,
// requests that a check refuses, and payloads that do not even decode.
#ifndef MESH_WORKER_RELIABILITY_REQUEST_MIX_H_
#define MESH_WORKER_RELIABILITY_REQUEST_MIX_H_

#include <string>
#include <utility>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

// Valid requests that mesh into a few dozen elements each: quads and
// triangles, one and two domains, a hole, an interior-only point, a plane
// away from z = 0.
std::vector<std::pair<std::string, MeshRequest>> MeshableRequests();

// Requests that decode but are refused, one for each kind of check.
std::vector<std::pair<std::string, MeshRequest>> RefusedRequests();

// Request payloads that do not decode.
std::vector<std::pair<std::string, std::string>> MalformedPayloads();

}  // namespace mesh

#endif  // MESH_WORKER_RELIABILITY_REQUEST_MIX_H_

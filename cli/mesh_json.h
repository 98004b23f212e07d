// The human-readable JSON forms of a mesh request and of its answer, using
// the records' own field names.
#ifndef MESH_WORKER_CLI_MESH_JSON_H_
#define MESH_WORKER_CLI_MESH_JSON_H_

#include <string>

#include <nlohmann/json.hpp>

#include "protocol/mesh_request.h"
#include "protocol/planar_complex_mesh.h"

namespace mesh {

// Reads a request from JSON. `points`, `segments` and `target_size` are
// required; the rest default as in the binary record. On failure returns
// false with a message naming the offending field.
bool MeshRequestFromJson(const nlohmann::json& json, MeshRequest* request,
                         std::string* error);
nlohmann::json MeshRequestToJson(const MeshRequest& request);

nlohmann::json PlanarComplexMeshToJson(const PlanarComplexMesh& mesh);

}  // namespace mesh

#endif  // MESH_WORKER_CLI_MESH_JSON_H_

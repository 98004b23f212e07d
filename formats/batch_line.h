// The lines of `meshctl batch`: what an input line holds and what is written
// for it. Kept apart from the batch runner so that every other producer of
// these lines (the Python package's Dask helper) writes the same bytes.
#ifndef MESH_WORKER_FORMATS_BATCH_LINE_H_
#define MESH_WORKER_FORMATS_BATCH_LINE_H_

#include <cstddef>
#include <string>

#include <nlohmann/json.hpp>

#include "client/worker_process.h"
#include "protocol/mesh_request.h"

namespace mesh {

// A line of only spaces, tabs and carriage returns, which gets no answer
// (it still counts for the line numbers of those after it).
bool IsBlankBatchLine(const std::string& text);

// Reads the request on input line `number` (1-based). On failure returns
// false with `*invalid` set to the line that answers it:
//   {"line": N, "ok": false, "outcome": "invalid", "error": "N:COLUMN: ..."}
bool ParseBatchRequestLine(const std::string& text, size_t number, MeshRequest* request,
                           nlohmann::ordered_json* invalid);

// The line that answers input line `number` with the pool's answer:
//   {"line": N, "ok": true, "outcome": "meshed", "vertices": ..., ...}
//   {"line": N, "ok": false, "outcome": "refused", "diagnostics": [...]}
nlohmann::ordered_json BatchAnswerLine(size_t number, const WorkerAnswer& answer);

// A line as written: compact, no newline, always valid UTF-8.
std::string DumpBatchLine(const nlohmann::ordered_json& line);

}  // namespace mesh

#endif  // MESH_WORKER_FORMATS_BATCH_LINE_H_

// The degenerate geometry the worker must survive, as requests: the traps
// of planar meshing (near-collinear points, tiny edges, huge coordinates,
// boundaries that touch themselves, duplicates, interior points on the
// boundary, open and inside-out domains, odd domain numbers, very many tiny
// segments). The reliability test sends each to a worker; the benchmarks
// time them.
#ifndef MESH_WORKER_RELIABILITY_DEGENERATE_CASES_H_
#define MESH_WORKER_RELIABILITY_DEGENERATE_CASES_H_

#include <functional>
#include <ostream>
#include <vector>

#include "protocol/mesh_request.h"

namespace mesh {

constexpr int kDegenerateDeadlineMs = 10000;
// Boundaries of about 2000 segments are work, not a hang: Netgen samples
// every segment 10,000 times to partition the boundary, and its quad front
// then places some 17,000 quads at about 1,000 a second, 10 to 25 s in all on
// a two-core machine, and twice that when the tests run side by side under
// the sanitizers. No check can shorten it, so these cases get a wider limit
// that still catches a hang.
constexpr int kLongBoundaryDeadlineMs = 120000;

struct DegenerateCase {
  const char* name;
  std::function<MeshRequest()> make;
  int deadline_ms = kDegenerateDeadlineMs;
};

// For test listings: the case's name, not its bytes.
inline void PrintTo(const DegenerateCase& c, std::ostream* os) { *os << c.name; }

const std::vector<DegenerateCase>& DegenerateCases();

}  // namespace mesh

#endif  // MESH_WORKER_RELIABILITY_DEGENERATE_CASES_H_

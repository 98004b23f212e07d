#include "netgen/netgen_start.h"

#include <stdlib.h>

// nglib.h declares its entry points at global scope and defines DLL_HEADER
// differently from the other Netgen headers; the library compiles it inside
// namespace nglib, so it is included the same way, alone in this file.
namespace nglib {
#include <nglib.h>
}

namespace mesh {

namespace {

// Every caller holds netgen_lock, so a plain flag is enough. It is set only
// after the start has fully succeeded: a start that throws leaves it unset and
// the next request tries again.
bool netgen_started = false;
// Counts the library's starts, so tests can see it is never started twice.
int start_count = 0;

void StopNetgen() { nglib::Ng_Exit(); }

}  // namespace

void EnsureNetgenStarted() {
  if (netgen_started) return;
  nglib::Ng_Init();
  ++start_count;
  atexit(StopNetgen);
  netgen_started = true;
}

int NetgenStartCount() { return start_count; }

}  // namespace mesh

#include "netgen/netgen_start.h"

#include <stdlib.h>

#include <iostream>

#include <meshing.hpp>

namespace mesh {

namespace {

// Every caller holds netgen_lock, so a plain flag is enough. It is set only
// after the start has fully succeeded: a start that throws leaves it unset and
// the next request tries again.
bool netgen_started = false;
// Counts the library's starts, so tests can see it is never started twice.
int start_count = 0;

// Netgen 6.2.1905's Ng_Init and Ng_Exit, done here instead of called: Ng_Init
// points the library's message streams at the process's standard output and
// error, and Ng_Exit does nothing. Calling them would mean linking nglib,
// which loads OpenCASCADE and some sixty other libraries the worker never
// uses: ten times the start-up time and three times the resident memory of
// an idle worker.
void StartNetgen() {
  netgen::mycout = &std::cout;
  netgen::myerr = &std::cerr;
}

void StopNetgen() {}

}  // namespace

void EnsureNetgenStarted() {
  if (netgen_started) return;
  StartNetgen();
  ++start_count;
  atexit(StopNetgen);
  netgen_started = true;
}

int NetgenStartCount() { return start_count; }

}  // namespace mesh

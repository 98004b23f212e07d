// crash-probe: runs the worker's own process set-up, then fails in the way
// its argument names. Test-only; it shows that every kind of crash ends the
// process with the worker's crash exit code and nothing else.
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <exception>
#include <stdexcept>
#include <string>

#include "worker/platform.h"

namespace {

volatile int zero = 0;
volatile int* volatile null_pointer = nullptr;

#pragma GCC diagnostic ignored "-Winfinite-recursion"
int Recurse(int depth) {
  volatile char pad[1024];
  pad[0] = static_cast<char>(depth);
  return Recurse(depth + 1) + pad[0];
}

void BusError() {
  char path[] = "/tmp/crash-probe-XXXXXX";
  int fd = mkstemp(path);
  unlink(path);
  // Mapping beyond the end of an empty file and touching it raises SIGBUS.
  volatile char* page = static_cast<volatile char*>(
      mmap(nullptr, 4096, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
  page[0] = 1;
}

}  // namespace

int main(int argc, char** argv) {
  mesh::WorkerStreams streams;
  if (mesh::SetUpWorkerProcess(&streams) != 0) return 99;
  const std::string how = argc > 1 ? argv[1] : "";
  // Whatever the probe prints must land on standard error, never on the
  // response stream.
  printf("about to crash: %s\n", how.c_str());
  fflush(stdout);
  if (how == "segv") *null_pointer = 1;
  if (how == "bus") BusError();
  // The numerator must be unknown too, or the division is folded away.
  if (how == "fpe") return argc / zero;
  if (how == "ill") __builtin_trap();
  if (how == "abort") abort();
  if (how == "terminate") std::terminate();
  if (how == "throw") throw std::runtime_error("nobody catches this");
  if (how == "overflow") return Recurse(0);
  return 98;
}

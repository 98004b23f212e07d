// io-fault-shim: an LD_PRELOAD library that makes the worker's channel as
// awkward as the platform allows, to show that the worker does not care.
//
// read() on descriptor 0 and write() on descriptors above 2 (the private
// response duplicate) fail with EINTR on every other call and otherwise move
// only 1 to 32 bytes, as a pipe does under signals and load. Standard error
// is left alone: diagnostics are not the channel.
//
// Environment:
//   IO_FAULT_SEED=n          seeds the transfer sizes (default 1)
//   IO_FAULT_EPIPE_AFTER=n   once n response bytes went out, every further
//                            write fails with EPIPE, as when the parent
//                            closed its end
//   IO_FAULT_REPORT=path     at exit, appends one line to `path` counting the
//                            calls that were interrupted or cut short, so a
//                            test can tell that the shim really was loaded
#include <dlfcn.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

using ReadFunction = ssize_t (*)(int, void*, size_t);
using WriteFunction = ssize_t (*)(int, const void*, size_t);

struct Counters {
  unsigned long interrupted = 0;
  unsigned long shortened = 0;
  unsigned long long written = 0;
};

Counters counters;
unsigned long long random_state = 0;
bool interrupt_next = true;

unsigned long long EnvNumber(const char* name, unsigned long long fallback) {
  const char* value = getenv(name);
  return value != nullptr && value[0] != '\0' ? strtoull(value, nullptr, 10) : fallback;
}

size_t NextChunk(size_t wanted) {
  if (random_state == 0) random_state = EnvNumber("IO_FAULT_SEED", 1) * 2 + 1;
  random_state = random_state * 6364136223846793005ull + 1442695040888963407ull;
  const size_t chunk = 1 + static_cast<size_t>((random_state >> 33) % 32);
  if (chunk < wanted) {
    ++counters.shortened;
    return chunk;
  }
  return wanted;
}

// Every other call on the channel is interrupted before it moves anything.
bool Interrupt() {
  interrupt_next = !interrupt_next;
  if (interrupt_next) return false;
  ++counters.interrupted;
  errno = EINTR;
  return true;
}

__attribute__((destructor)) void Report() {
  const char* path = getenv("IO_FAULT_REPORT");
  if (path == nullptr) return;
  FILE* out = fopen(path, "a");
  if (out == nullptr) return;
  fprintf(out, "interrupted=%lu shortened=%lu written=%llu\n", counters.interrupted,
          counters.shortened, counters.written);
  fclose(out);
}

}  // namespace

extern "C" ssize_t read(int fd, void* data, size_t length) {
  static const auto real_read = reinterpret_cast<ReadFunction>(dlsym(RTLD_NEXT, "read"));
  if (fd != 0 || length == 0) return real_read(fd, data, length);
  if (Interrupt()) return -1;
  return real_read(fd, data, NextChunk(length));
}

extern "C" ssize_t write(int fd, const void* data, size_t length) {
  static const auto real_write = reinterpret_cast<WriteFunction>(dlsym(RTLD_NEXT, "write"));
  if (fd <= 2 || length == 0) return real_write(fd, data, length);
  if (Interrupt()) return -1;
  static const unsigned long long epipe_after = EnvNumber("IO_FAULT_EPIPE_AFTER", ~0ull);
  size_t chunk = NextChunk(length);
  if (counters.written >= epipe_after) {
    errno = EPIPE;
    return -1;
  }
  if (chunk > epipe_after - counters.written) chunk = epipe_after - counters.written;
  const ssize_t n = real_write(fd, data, chunk);
  if (n > 0) counters.written += static_cast<unsigned long long>(n);
  return n;
}

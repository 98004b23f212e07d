// sanitizer-probe: commits the error its argument names, then exits 0 as if
// nothing happened. Test-only; in the sanitizer build it shows that every
// kind of finding ends the process with the sanitizer exit code, which no
// worker exit can be mistaken for.
#include <stdlib.h>
#include <string.h>

#include <climits>
#include <string>

namespace {

volatile int sink;

}  // namespace

int main(int argc, char** argv) {
  const std::string how = argc > 1 ? argv[1] : "";
  if (how == "leak") {
    // Only a pointer in a register held it, and that is overwritten.
    volatile char* lost = static_cast<char*>(malloc(4096));
    lost[0] = 1;
    lost = nullptr;
  }
  if (how == "overflow") {
    char* block = static_cast<char*>(malloc(16));
    memset(block, 0, 16);
    sink = block[16 + argc];
    free(block);
  }
  if (how == "undefined") {
    volatile int big = INT_MAX;
    sink = big + argc;  // signed overflow
  }
  return 0;
}

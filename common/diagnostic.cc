#include "common/diagnostic.h"

#include <errno.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

namespace mesh {

namespace {

ScopedDiagnosticCapture* active_capture = nullptr;

std::string FormatV(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  char small[512];
  int needed = vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (needed < 0) return std::string();
  if (static_cast<size_t>(needed) < sizeof small) return std::string(small, needed);
  std::string big(static_cast<size_t>(needed) + 1, '\0');
  vsnprintf(&big[0], big.size(), format, args);
  big.resize(static_cast<size_t>(needed));
  return big;
}

// One write per line keeps lines whole even when a parent merges the
// worker's standard error with other output. Failures are ignored: a parent
// that closed standard error has chosen not to read the reasons.
void WriteLineToStandardError(const std::string& line) {
  const char* data = line.data();
  size_t left = line.size();
  while (left > 0) {
    ssize_t n = write(2, data, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    data += n;
    left -= static_cast<size_t>(n);
  }
}

}  // namespace

ScopedDiagnosticCapture::ScopedDiagnosticCapture() : previous_(active_capture) {
  active_capture = this;
}

ScopedDiagnosticCapture::~ScopedDiagnosticCapture() { active_capture = previous_; }

void EmitDiagnosticLine(std::string line) {
  if (active_capture != nullptr) {
    active_capture->lines_.push_back(std::move(line));
    return;
  }
  line.push_back('\n');
  WriteLineToStandardError(line);
}

void EmitDiagnostic(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::string line = FormatV(format, args);
  va_end(args);
  EmitDiagnosticLine(std::move(line));
}

}  // namespace mesh

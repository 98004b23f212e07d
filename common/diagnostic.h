// Diagnostic lines: the lines the worker writes to standard error, one whole
// line per write: a stage's refusal or note for a request (built from
// protocol/refusals.h), or the request loop's account of a malformed frame.
//
// Tests install a ScopedDiagnosticCapture to read the lines back exactly;
// otherwise each line goes to descriptor 2 in one piece.
#ifndef MESH_WORKER_COMMON_DIAGNOSTIC_H_
#define MESH_WORKER_COMMON_DIAGNOSTIC_H_

#include <string>
#include <vector>

namespace mesh {

// printf-style. The newline is added.
void EmitDiagnostic(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// A finished line, without its newline.
void EmitDiagnosticLine(std::string line);

// While alive, diagnostic lines (without their newline) are collected here
// instead of being written. Captures nest; the innermost wins. Not
// thread-safe, like the worker itself.
class ScopedDiagnosticCapture {
 public:
  ScopedDiagnosticCapture();
  ~ScopedDiagnosticCapture();
  ScopedDiagnosticCapture(const ScopedDiagnosticCapture&) = delete;
  ScopedDiagnosticCapture& operator=(const ScopedDiagnosticCapture&) = delete;

  const std::vector<std::string>& lines() const { return lines_; }

 private:
  friend void EmitDiagnosticLine(std::string line);
  std::vector<std::string> lines_;
  ScopedDiagnosticCapture* previous_;
};

}  // namespace mesh

#endif  // MESH_WORKER_COMMON_DIAGNOSTIC_H_

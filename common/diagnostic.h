// Diagnostic lines: the one line a meshing stage writes to standard error when
// it refuses or fails a request ("[meshing] Stage: ...; returning empty").
//
// Tests install a ScopedDiagnosticCapture to read the lines back exactly;
// otherwise each line goes to descriptor 2 in one piece.
#ifndef MESH_WORKER_COMMON_DIAGNOSTIC_H_
#define MESH_WORKER_COMMON_DIAGNOSTIC_H_

#include <string>
#include <vector>

namespace mesh {

// printf-style: the stages' lines are specified as printf formats (%zu, %g,
// %d), so the same formatter keeps them byte for byte. The newline is added.
void EmitDiagnostic(const char* format, ...)
    __attribute__((format(printf, 1, 2)));

// A line of one stage: "[meshing] BuildPlanarMesh: " or
// "[meshing] ExtractToPlanarComplexMesh: ", then the formatted words. Each
// stage's prefix is spelled in one place, so no line can get it wrong.
void EmitBuildPlanarMeshDiagnostic(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
void EmitExtractDiagnostic(const char* format, ...) __attribute__((format(printf, 1, 2)));

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

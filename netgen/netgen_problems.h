// The last problem Netgen reported, which a refusal after a failed pass
// names as its reason. netgen_messages.cc notes each message the worker
// keeps; Netgen as it ships (the benchmark's build) notes none. Uses no
// Netgen types.
#ifndef MESH_WORKER_NETGEN_NETGEN_PROBLEMS_H_
#define MESH_WORKER_NETGEN_NETGEN_PROBLEMS_H_

#include <string>

namespace mesh {

// Remembers `message`, one whole message as Netgen formats it (a space, the
// text, a line end), when it is a warning or an error, or the advancing
// front's progress: Netgen's own "meshing failed" says nothing of why, but
// the warning or error it wrote just before usually does.
void NoteNetgenMessage(const char* message);

// The last warning or error noted since ForgetNetgenProblem, as one line
// without the leading space and line ends ("WARNING: ..."); empty if none.
std::string LastNetgenProblem();

// From the last progress line noted since ForgetNetgenProblem: "its front
// last had F faces open after T trials"; empty if none. What is left of a
// front that never closed is all Netgen tells when it fails without a word.
std::string LastNetgenFront();

void ForgetNetgenProblem();

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_PROBLEMS_H_

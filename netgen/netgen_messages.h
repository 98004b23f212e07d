// Which of Netgen's messages the worker passes on to its standard error
// (netgen_messages.cc replaces the library's Ng_PrintDest with one that asks
// this), and the last problem Netgen reported, which a refusal after a failed
// pass names as its reason. Uses no Netgen types.
#ifndef MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_
#define MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_

#include <string>

namespace mesh {

// `message` is one whole message as Netgen formats it: a space, the text,
// and a newline or carriage return.
bool NetgenMessageIsKept(const char* message);

// Remembers `message` (formatted as above) when it is a warning or an error,
// or the advancing front's progress:
// Netgen's own "meshing failed" says nothing of why, but the warning or
// error it wrote just before usually does.
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

#endif  // MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_

// Which of Netgen's messages the worker passes on to its standard error
// (netgen_messages.cc replaces the library's Ng_PrintDest with one that asks
// this). Uses no Netgen types.
#ifndef MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_
#define MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_

namespace mesh {

// `message` is one whole message as Netgen formats it: a space, the text,
// and a newline or carriage return.
bool NetgenMessageIsKept(const char* message);

}  // namespace mesh

#endif  // MESH_WORKER_NETGEN_NETGEN_MESSAGES_H_

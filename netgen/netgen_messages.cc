// Netgen's Ng_PrintDest (libsrc/meshing/global.cpp, LGPL-2.1, like the rest
// of Netgen), where every PrintMessage, PrintWarning and PrintError of the
// library ends, changed to pass on only the lines someone reads.
//
// Netgen 6.2.1905 prints some 54 lines for even the smallest mesh, each
// flushed to the worker's standard error on its own: over a hundred writes
// per request that a parent reads and throws away. What is read of them is
// the advancing front's progress line (" faces = F trials = T elements = N
// els/sec = R", which a progress display parses), the start and end of each
// domain's surface meshing, and warnings and errors, which a human reading a
// worker's standard error wants. Those are kept, exactly as Netgen writes
// them; everything else (the optimisation steps, element counts, the rule
// statistics) is dropped. Lowering printmessage_importance cannot do this:
// the progress line has the highest importance of all.
//
// libmesh.so calls Ng_PrintDest through its procedure linkage table, so this
// definition, linked into the executable (netgen/CMakeLists.txt forces it
// in), is the one every message reaches. The worker never runs under MPI, so
// Netgen's check that only the first process prints is left out.
#include <cstring>
#include <ostream>

#include <meshing.hpp>

#include "netgen/netgen_messages.h"
#include "netgen/netgen_problems.h"

namespace mesh {

bool NetgenMessageIsKept(const char* message) {
  static const char* const kKept[] = {
      " faces = ",     " Meshing domain ", " Surface meshing done", " WARNING:", " ERROR:",
      " FILE ERROR:",  " USER ERROR:",     " SYSTEM ERROR:",
  };
  for (const char* prefix : kKept) {
    if (std::strncmp(message, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

}  // namespace mesh

namespace netgen
{
  void Ng_PrintDest(const char * s)
  {
    if (!mesh::NetgenMessageIsKept(s))
      return;
    mesh::NoteNetgenMessage(s);
    (*mycout) << s << flush;
  }
}

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
#include <cstdio>
#include <cstring>
#include <mutex>
#include <ostream>
#include <string>

#include <meshing.hpp>

#include "netgen/netgen_messages.h"

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

namespace {

std::mutex problem_mutex;
std::string last_problem;
std::string last_front;

bool IsProblem(const char* message) {
  static const char* const kProblems[] = {
      " WARNING:", " ERROR:", " FILE ERROR:", " USER ERROR:", " SYSTEM ERROR:",
  };
  for (const char* prefix : kProblems) {
    if (std::strncmp(message, prefix, std::strlen(prefix)) == 0) return true;
  }
  return false;
}

}  // namespace

void NoteNetgenMessage(const char* message) {
  // The progress line's rate varies from run to run; the counts do not.
  long faces = 0, trials = 0;
  if (std::sscanf(message, " faces = %ld trials = %ld", &faces, &trials) == 2) {
    std::lock_guard<std::mutex> hold(problem_mutex);
    last_front = "its front last had " + std::to_string(faces) + " faces open after " +
                 std::to_string(trials) + " trials";
    return;
  }
  if (!IsProblem(message)) return;
  // One line, whatever Netgen split it into: runs of spaces and line ends
  // become one space, and none is left at either end.
  std::string text;
  for (const char* p = message; *p != '\0'; ++p) {
    const bool blank = *p == ' ' || *p == '\n' || *p == '\r' || *p == '\t';
    if (!blank) {
      text.push_back(*p);
    } else if (!text.empty() && text.back() != ' ') {
      text.push_back(' ');
    }
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  std::lock_guard<std::mutex> hold(problem_mutex);
  last_problem = std::move(text);
}

std::string LastNetgenProblem() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  return last_problem;
}

std::string LastNetgenFront() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  return last_front;
}

void ForgetNetgenProblem() {
  std::lock_guard<std::mutex> hold(problem_mutex);
  last_problem.clear();
  last_front.clear();
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

// ngcore::Demangle without the leak: Netgen's function (libsrc/core/utils.cpp,
// LGPL-2.1, like the rest of Netgen), which in 6.2.1905 returns
// abi::__cxa_demangle's malloc()ed buffer converted to std::string and
// never frees it. Every Netgen library calls it from its static
// initialisers (RegisterClassForArchive, once per archivable class), so each
// process leaked about 1 KB as Netgen loaded; nothing else in the worker
// leaks, and this keeps the sanitizer build's leak check clean without
// suppressions.
//
// The libraries call Demangle through their procedure linkage tables, so
// this definition, linked into the executable (netgen/CMakeLists.txt forces
// it in), is the one they reach, already during loading. Netgen's version
// would throw on a name the demangler rejects; this one returns the name as
// it is.
#include <cxxabi.h>
#include <stdlib.h>

#include <string>

#include <core/utils.hpp>

namespace ngcore {

std::string Demangle(const char* typeinfo) {
  int status = 0;
  char* demangled = abi::__cxa_demangle(typeinfo, nullptr, nullptr, &status);
  if (demangled == nullptr) return typeinfo;
  std::string name(demangled);
  free(demangled);
  return name;
}

}  // namespace ngcore

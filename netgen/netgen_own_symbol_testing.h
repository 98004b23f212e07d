// For tests of our copies of Netgen functions: where a symbol is bound for
// everyone, and the definition in Netgen's own library that our copy hides.
#ifndef MESH_NETGEN_NETGEN_OWN_SYMBOL_TESTING_H_
#define MESH_NETGEN_NETGEN_OWN_SYMBOL_TESTING_H_

#include <string>

namespace mesh {
namespace test {

// The file `symbol` resolves to as the dynamic linker binds it for every
// library that calls it, or "(unresolved)".
std::string DefiningFile(const char* symbol);

// `symbol` as the loaded Netgen library whose path contains `library`
// (e.g. "/libmesh.so") defines it, or null. Looked up by that library's
// full loaded path: a bare name would depend on the caller's search path,
// and under ASan dlopen's caller is the sanitizer runtime, which has none
// of this binary's RUNPATH.
void* NetgenOwnSymbol(const char* library, const char* symbol);

}  // namespace test
}  // namespace mesh

#endif  // MESH_NETGEN_NETGEN_OWN_SYMBOL_TESTING_H_

#include "netgen/netgen_own_symbol_testing.h"

#include <dlfcn.h>
#include <link.h>

namespace mesh {
namespace test {

std::string DefiningFile(const char* symbol) {
  void* resolved = dlsym(RTLD_DEFAULT, symbol);
  Dl_info info;
  if (resolved == nullptr || dladdr(resolved, &info) == 0) return "(unresolved)";
  return info.dli_fname;
}

namespace {

struct LibrarySearch {
  const char* part;
  std::string path;
};

}  // namespace

void* NetgenOwnSymbol(const char* library, const char* symbol) {
  LibrarySearch search{library, {}};
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        auto* search = static_cast<LibrarySearch*>(data);
        const std::string name = info->dlpi_name;
        if (name.find(search->part) == std::string::npos) return 0;
        search->path = name;
        return 1;
      },
      &search);
  if (search.path.empty()) return nullptr;
  void* handle = dlopen(search.path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
  if (handle == nullptr) return nullptr;
  void* found = dlsym(handle, symbol);
  dlclose(handle);
  return found;
}

}  // namespace test
}  // namespace mesh

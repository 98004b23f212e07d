#include "client/installed_worker.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <stdlib.h>
#include <unistd.h>

#ifndef MESH_WORKER_FROM_LIBRARY_DIR
#define MESH_WORKER_FROM_LIBRARY_DIR "../bin/mesh-worker"
#endif

namespace mesh {
namespace {

std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

// The resolved path of the shared object that holds this code; empty when
// the code is part of the main program, whose loader entry has no name.
std::string OwnSharedObject() {
  Dl_info info;
  link_map* map = nullptr;
  if (dladdr1(reinterpret_cast<void*>(&InstalledWorkerPath), &info,
              reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr || map->l_name == nullptr || map->l_name[0] == '\0') {
    return "";
  }
  // Resolved, so that a link to the library from elsewhere still leads back
  // to the install it belongs to.
  char resolved[PATH_MAX];
  if (realpath(map->l_name, resolved) == nullptr) return "";
  return resolved;
}

std::string OwnExecutable() {
  char self[PATH_MAX];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "";
  return std::string(self, static_cast<size_t>(length));
}

}  // namespace

std::string InstalledWorkerPath() {
  const std::string library = OwnSharedObject();
  if (!library.empty()) return DirectoryOf(library) + "/" + MESH_WORKER_FROM_LIBRARY_DIR;
  const std::string program = OwnExecutable();
  if (!program.empty()) return DirectoryOf(program) + "/mesh-worker";
  return "";
}

}  // namespace mesh

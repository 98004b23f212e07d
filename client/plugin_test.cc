// The client inside a plugin: a host that links none of the client loads a
// shared library that does, meshes through it, and unloads it again.
#include <dlfcn.h>

#include <string>

#include <gtest/gtest.h>

namespace {

using MeshUnitSquare = int (*)(const char*, double, char*, size_t);

TEST(ClientPluginTest, HostLoadsAnAddInThatMeshesThroughAPool) {
  void* add_in = dlopen(PLUGIN_MODULE_PATH, RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(add_in, nullptr) << dlerror();
  auto mesh_unit_square =
      reinterpret_cast<MeshUnitSquare>(dlsym(add_in, "PluginMeshUnitSquare"));
  ASSERT_NE(mesh_unit_square, nullptr) << dlerror();

  char line[512];
  const int vertices = mesh_unit_square(MESH_WORKER_PATH, 0.25, line, sizeof line);
  EXPECT_GT(vertices, 4) << line;
  EXPECT_EQ(std::string(line).rfind("meshed: ", 0), 0u) << line;
  // A refusal comes back through the same boundary as a line, not a crash.
  EXPECT_EQ(mesh_unit_square(MESH_WORKER_PATH, -1, line, sizeof line), -1);
  EXPECT_EQ(std::string(line).rfind("refused: ", 0), 0u) << line;

  // The pool is gone with the call, so the library can go too.
  EXPECT_EQ(dlclose(add_in), 0) << dlerror();
}

}  // namespace

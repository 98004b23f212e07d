# Run-time settings of the sanitizer build (-DMESH_SANITIZE=ON), compiled into
# every executable so they hold however a binary is started: by ctest, by a
# test that spawns the worker, or by hand. ASAN_OPTIONS, UBSAN_OPTIONS and
# LSAN_OPTIONS still override them.

set(MESH_SANITIZER_EXIT_CODE 86 CACHE STRING
    "Exit code of a sanitizer finding; must differ from the worker's 0, 2, 3 and 134")

add_library(mesh_sanitizer_options STATIC ${CMAKE_CURRENT_LIST_DIR}/sanitizer_options.cc)
target_compile_definitions(mesh_sanitizer_options PRIVATE
  MESH_SANITIZER_EXIT_CODE=${MESH_SANITIZER_EXIT_CODE})
target_compile_options(mesh_sanitizer_options PRIVATE -fno-sanitize=all)

# The runtimes look these functions up by name; nothing in our code calls
# them, so the linker must be told to pull them out of the archive.
link_libraries(mesh_sanitizer_options)
add_link_options(LINKER:-u,__asan_default_options LINKER:-u,__ubsan_default_options
                 LINKER:-u,__lsan_default_options)

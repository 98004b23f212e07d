// Default options of the sanitizer runtimes for the sanitizer build.
//
// A finding exits with its own code (MESH_SANITIZER_EXIT_CODE), so that a
// test that checks the worker's exit code can never take a sanitizer report
// for the worker's own 0, 2, 3 or 134. The leak check runs at every normal
// exit, with no suppressions: the two leaks inside Netgen are mended where
// they happen (netgen/generic_improve.cc, netgen/ngcore_demangle.cc).
#define MESH_STRINGIFY2(x) #x
#define MESH_STRINGIFY(x) MESH_STRINGIFY2(x)
#define MESH_EXIT_CODE_OPTION "exitcode=" MESH_STRINGIFY(MESH_SANITIZER_EXIT_CODE)

extern "C" {

__attribute__((used, visibility("default"))) const char* __asan_default_options() {
  return MESH_EXIT_CODE_OPTION ":detect_leaks=1:halt_on_error=1"
         ":detect_stack_use_after_return=1:strict_init_order=1";
}

__attribute__((used, visibility("default"))) const char* __ubsan_default_options() {
  return MESH_EXIT_CODE_OPTION ":halt_on_error=1:print_stacktrace=1";
}

__attribute__((used, visibility("default"))) const char* __lsan_default_options() {
  return MESH_EXIT_CODE_OPTION;
}

}  // extern "C"

# The libFuzzer build (-DMESH_FUZZ=ON, clang only). Every library is built
# with coverage, ASan and UBSan instrumentation so the fuzzers see into the
# code they drive; only the fuzz targets themselves link libFuzzer's main.
#
# Configure it as its own build tree:
#   cmake -S . -B build-fuzz -G Ninja -DMESH_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++-14

if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
  message(FATAL_ERROR "MESH_FUZZ needs clang (libFuzzer); configure with "
                      "-DCMAKE_CXX_COMPILER=clang++-14")
endif()

# UBSan findings must stop the run, or the fuzzer would carry on past them
# and never save the input.
add_compile_options(-fsanitize=fuzzer-no-link,address,undefined
                    -fno-sanitize-recover=all -fno-omit-frame-pointer -g)
add_link_options(-fsanitize=address,undefined)

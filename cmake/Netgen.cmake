# Netgen 6.2.1905 as Debian ships it. The one place that knows how to compile
# against it: link `netgen::mesher` and nothing else is needed.
#
# Debian built Netgen with PARALLEL defined, which gives its classes (Mesh
# among them) MPI members. Code that includes Netgen headers must therefore
# see PARALLEL and the MPI headers too, or its idea of the object layouts
# differs from the library's and memory is silently corrupted. The MPI found
# here is the OpenMPI Netgen was built with (the same include directories and
# libmpi_cxx/libmpi as /usr/lib/cmake/netgen/NetgenConfig.cmake lists).
#
# Debian's other definitions do not change anything the worker touches:
# NG_PYTHON only guards ngpython.hpp, OCCGEOMETRY only declarations in
# nglib.h, METIS commented-out code. NETGEN_PYTHON adds two virtual functions
# to ngcore::Archive, so archiving (DoArchive, pickling) must never be called
# from our code; the worker does not archive anything.
#
# nglib is not linked: the worker needs nothing of it but what Ng_Init does
# (netgen/netgen_start.cc does that itself), and it would load OpenCASCADE
# and dozens of other libraries, most of a worker's start-up time and
# resident memory. libmesh does refer to three functions of libinterface
# (ReadFile, WriteUserFormat, RegisterUserFormats, used only by its Python
# bindings) without naming it as a dependency, and is bound at load time, so
# libinterface is linked for them, after libmesh: the toolchain links with
# --as-needed, which keeps a library only if something before it needs it.

# Netgen is LGPL-2.1. Some of its functions are linked from copies in
# netgen/ rather than from its libraries (netgen/CMakeLists.txt says which
# and why, docs/netgen-copies.md what changed in each): generic_improve.cc, ngcore_demangle.cc, calc_partition.cc (a
# newer Netgen's code), netgen_messages.cc, front_search_trees.cc and
# rule_tables.cc. They stay Netgen's code under
# its licence, each saying at its top where it comes from and what we
# changed; the rest of Netgen is linked dynamically as Debian ships it, so a
# user can replace it.

find_package(MPI REQUIRED COMPONENTS CXX)

set(NETGEN_LIBRARY_DIR /usr/lib/x86_64-linux-gnu/netgen)
foreach(lib interface mesh geom2d ngcore)
  find_library(NETGEN_${lib}_LIBRARY NAMES ${lib} PATHS ${NETGEN_LIBRARY_DIR}
               NO_DEFAULT_PATH REQUIRED)
endforeach()

add_library(netgen_external INTERFACE)
add_library(netgen::mesher ALIAS netgen_external)
target_include_directories(netgen_external SYSTEM INTERFACE
  /usr/include/netgen /usr/include/netgen/include)
target_compile_definitions(netgen_external INTERFACE PARALLEL)
target_link_libraries(netgen_external INTERFACE
  ${NETGEN_mesh_LIBRARY} ${NETGEN_geom2d_LIBRARY} ${NETGEN_ngcore_LIBRARY}
  ${NETGEN_interface_LIBRARY} MPI::MPI_CXX Threads::Threads)
# Netgen's libraries live outside the loader's default path; bake it into
# every binary that links them so they run without LD_LIBRARY_PATH.
target_link_options(netgen_external INTERFACE "LINKER:-rpath,${NETGEN_LIBRARY_DIR}")

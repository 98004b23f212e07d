# What `cmake --install` puts where, and the packages built from it:
#
#   bin/                     mesh-worker, meshctl
#   lib/                     libmeshworker-client.so (the C++ client)
#   include/meshworker/      the client's headers, under their own folder
#                            names (client/, protocol/), so the includes
#                            inside them resolve unchanged
#   lib/cmake/MeshWorker/    find_package(MeshWorker CONFIG): MeshWorker::client
#   lib/pkgconfig/           meshworker-client.pc
#
# The client is installed as one shared library made from the client's
# archives (the tree itself links them statically), so a parent links one
# file, a CAD add-in (itself a shared library) can use it, and the library
# can find the worker installed beside it from its own location
# (client/installed_worker.h). Its interface is C++ with standard-library
# members, so any change to a header's records changes the ABI: while the
# version is 0.x, every minor version gets its own SONAME.
include(CMakePackageConfigHelpers)

set(MESH_INSTALL_INCLUDEDIR ${CMAKE_INSTALL_INCLUDEDIR}/meshworker)
set(MESH_INSTALL_CMAKEDIR ${CMAKE_INSTALL_LIBDIR}/cmake/MeshWorker)

# The shared client itself is defined with the client (client/CMakeLists.txt).
target_include_directories(meshworker_client INTERFACE
  $<INSTALL_INTERFACE:${MESH_INSTALL_INCLUDEDIR}>)

# The headers the installed ones include, and nothing else: a header added
# to an installed header's includes must be added here (the install test
# compiles each installed header on its own and fails otherwise).
set(MESH_CLIENT_HEADERS
  client/cancel_token.h
  client/child_process.h
  client/installed_worker.h
  client/refusal.h
  client/worker_pool.h
  client/worker_process.h
  protocol/frame.h
  protocol/mesh_request.h
  protocol/planar_complex_mesh.h)
foreach(header ${MESH_CLIENT_HEADERS})
  get_filename_component(folder ${header} DIRECTORY)
  install(FILES ${header} DESTINATION ${MESH_INSTALL_INCLUDEDIR}/${folder})
endforeach()

install(TARGETS mesh-worker meshctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Debian's machine-readable copyright file: the project's licence and the
# Netgen code copied into the worker (docs/netgen-copies.md).
install(FILES cmake/copyright DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/meshworker)
install(TARGETS meshworker_client EXPORT MeshWorkerTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(EXPORT MeshWorkerTargets NAMESPACE MeshWorker:: DESTINATION ${MESH_INSTALL_CMAKEDIR})
configure_package_config_file(cmake/MeshWorkerConfig.cmake.in
  ${PROJECT_BINARY_DIR}/MeshWorkerConfig.cmake INSTALL_DESTINATION ${MESH_INSTALL_CMAKEDIR})
# 0.x: a new minor version may break what the last one offered.
write_basic_package_version_file(${PROJECT_BINARY_DIR}/MeshWorkerConfigVersion.cmake
  COMPATIBILITY SameMinorVersion)
install(FILES ${PROJECT_BINARY_DIR}/MeshWorkerConfig.cmake
  ${PROJECT_BINARY_DIR}/MeshWorkerConfigVersion.cmake DESTINATION ${MESH_INSTALL_CMAKEDIR})

# The .pc file finds its prefix from its own place, as the CMake package
# does, so an install can be moved or unpacked anywhere.
file(RELATIVE_PATH MESH_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" MESH_PC_TO_PREFIX "${MESH_PC_TO_PREFIX}")
# A parent linked against a prefix the loader does not search would fail to
# start, so there `Libs` also records the library's directory as the
# parent's run path. Which prefix is only known once `cmake --install
# --prefix` runs, so both forms are made and the install picks one: none
# under /usr (the loader's own, and the Debian package's), the run path
# everywhere else.
set(MESH_PC_RPATH "")
configure_file(cmake/meshworker-client.pc.in ${PROJECT_BINARY_DIR}/meshworker-client.pc @ONLY)
set(MESH_PC_RPATH " -Wl,-rpath,\${libdir}")
configure_file(cmake/meshworker-client.pc.in ${PROJECT_BINARY_DIR}/pc-rpath/meshworker-client.pc
  @ONLY)
install(CODE "
  # CPack installs into a staging directory standing for its own prefix.
  if(DEFINED CPACK_PACKAGING_INSTALL_PREFIX)
    set(mesh_pc_prefix \"\${CPACK_PACKAGING_INSTALL_PREFIX}\")
  elseif(CMAKE_INSTALL_PREFIX MATCHES \"/_CPack_Packages/.*/usr/?$\")
    set(mesh_pc_prefix /usr)
  else()
    set(mesh_pc_prefix \"\${CMAKE_INSTALL_PREFIX}\")
  endif()
  if(mesh_pc_prefix MATCHES \"^/(usr/?)?$\")
    set(mesh_pc \"${PROJECT_BINARY_DIR}/meshworker-client.pc\")
  else()
    set(mesh_pc \"${PROJECT_BINARY_DIR}/pc-rpath/meshworker-client.pc\")
  endif()
  file(INSTALL DESTINATION \"\${CMAKE_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR}/pkgconfig\"
       TYPE FILE FILES \"\${mesh_pc}\")
")

# A parent program outside the tree, built against a fresh install (with
# the CMake package, then with pkg-config) and run. Not under the sanitizers:
# the parent is built without them and could not load an instrumented client.
if(NOT MESH_SANITIZE AND NOT MESH_FUZZ)
  add_test(NAME install_test
           COMMAND ${PROJECT_SOURCE_DIR}/scripts/check-install ${PROJECT_BINARY_DIR})
  set_tests_properties(install_test PROPERTIES TIMEOUT 900 LABELS install)
endif()

# make package: a Debian package of the same install, under /usr. Its
# Depends come from dpkg-shlibdeps over the installed programs and library,
# which finds Netgen's and Open MPI's packages through the RUNPATH above.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME meshworker)
set(CPACK_PACKAGE_VENDOR "mesh-worker developers")
set(CPACK_PACKAGE_CONTACT "mesh-worker developers <mesh-worker@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Meshes planar regions with Netgen in a supervised child process")
set(CPACK_PACKAGE_DESCRIPTION
  "mesh-worker meshes planar regions in 3-D with Netgen's 2-D mesher, driven by a\n\
parent over binary frames on its standard streams; meshctl drives it from the\n\
command line. Includes the C++ client library that starts and pools workers,\n\
its headers, a CMake package (MeshWorker::client) and a pkg-config file.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Other packages built against the client depend on this one through its
# shlibs file (CPack also runs ldconfig on installation and removal).
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_STRIP_FILES ON)
include(CPack)

# GoogleTest is built from the Debian source package, so the cross builds (MinGW,
# aarch64) get a copy compiled for their target like the native one.
set(VORNSET_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest source tree")
if(NOT EXISTS ${VORNSET_GOOGLETEST_SOURCE}/CMakeLists.txt)
  message(FATAL_ERROR
    "The tests need the GoogleTest source tree, which is not in ${VORNSET_GOOGLETEST_SOURCE}.\n"
    "Install it (Debian and Ubuntu: sudo apt install googletest), or point "
    "-DVORNSET_GOOGLETEST_SOURCE=DIR at a GoogleTest source tree, or build without the "
    "tests: -DVORNSET_TESTS=OFF")
endif()
set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
add_subdirectory(${VORNSET_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
# GCC 12 at -O3 takes a string concatenation in GoogleTest's own gtest.cc for an
# overlapping copy (a false -Wrestrict); that source is not ours to change.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(gtest PRIVATE -Wno-restrict)
endif()

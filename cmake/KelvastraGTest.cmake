# GoogleTest for builds that find no installed copy for their target (the Windows cross-build):
# built from Debian's googletest sources, with the project's warnings left out of it.
find_package(GTest QUIET)
if(NOT TARGET GTest::gtest)
  set(KELVASTRA_GTEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources (Debian: googletest)")
  if(NOT EXISTS ${KELVASTRA_GTEST_SOURCE}/CMakeLists.txt)
    message(FATAL_ERROR "No GoogleTest for this target and no sources in ${KELVASTRA_GTEST_SOURCE} "
                        "(apt-get install googletest)")
  endif()
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
  add_subdirectory(${KELVASTRA_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL SYSTEM)
  foreach(target gtest gtest_main gmock gmock_main)
    set_property(TARGET ${target} PROPERTY COMPILE_OPTIONS "")
  endforeach()
endif()

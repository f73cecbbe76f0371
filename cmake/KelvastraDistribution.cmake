# What a lab installs: the programs with their version text and man pages, the desktop entry,
# the icon, the udev rule and the shared resources, and the Debian package made of them.
# Everything is found, not listed: every program built in src/ and sim/ is installed with a man
# page, every file under resources/ lands in its place.
include(GNUInstallDirs)

# --- the programs -----------------------------------------------------------------------------
set(kelvastra_programs "")
foreach(dir src sim)
  get_property(targets DIRECTORY ${CMAKE_SOURCE_DIR}/${dir} PROPERTY BUILDSYSTEM_TARGETS)
  foreach(target IN LISTS targets)
    get_target_property(type ${target} TYPE)
    if(type STREQUAL "EXECUTABLE")
      list(APPEND kelvastra_programs ${target})
    endif()
  endforeach()
endforeach()

# --version: the project version and the commit, refreshed at every build but rewritten only when
# it changes, in a library of its own so that a new commit relinks the programs only.
set(build_info ${CMAKE_BINARY_DIR}/generated/BuildInfo.cpp)
set(build_info_command ${CMAKE_COMMAND} -DSOURCE_DIR=${CMAKE_SOURCE_DIR} -DOUTPUT=${build_info}
  -DVERSION=${PROJECT_VERSION} -DCOMMIT=${KELVASTRA_COMMIT} -P ${CMAKE_SOURCE_DIR}/cmake/BuildInfo.cmake)
execute_process(COMMAND ${build_info_command})
add_custom_target(kelvastra_build_info COMMAND ${build_info_command} BYPRODUCTS ${build_info}
  COMMENT "Version text" VERBATIM)
add_library(kelvastra_buildinfo STATIC ${build_info})
add_dependencies(kelvastra_buildinfo kelvastra_build_info)
target_include_directories(kelvastra_buildinfo PUBLIC ${CMAKE_SOURCE_DIR}/src)
foreach(program IN LISTS kelvastra_programs)
  target_link_libraries(${program} PRIVATE kelvastra_buildinfo)
endforeach()

# --- man pages, from each program's --help and --version ---------------------------------------
set(KELVASTRA_SUMMARY_kelvastra "design test protocols and control the Kelvastra device")
set(KELVASTRA_SUMMARY_kelvastra-cli "the Kelvastra program's device and file operations from a terminal")
set(KELVASTRA_SUMMARY_kelvastra-sim "simulated Kelvastra controller on a pseudo-terminal")
# The command-line program's page shows every subcommand's options.
set(KELVASTRA_HELP_OPTION_kelvastra-cli --help-all)
find_program(KELVASTRA_HELP2MAN help2man)
find_program(KELVASTRA_GZIP gzip)
set(man_pages "")
if(KELVASTRA_HELP2MAN AND KELVASTRA_GZIP)
  foreach(program IN LISTS kelvastra_programs)
    set(page ${CMAKE_BINARY_DIR}/man/${program}.1)
    set(summary "${KELVASTRA_SUMMARY_${program}}")
    if(NOT summary)
      set(summary "part of the Kelvastra control program")
    endif()
    set(help_option "${KELVASTRA_HELP_OPTION_${program}}")
    if(NOT help_option)
      set(help_option --help)
    endif()
    add_custom_command(OUTPUT ${page}.gz
      COMMAND ${CMAKE_COMMAND} -E make_directory ${CMAKE_BINARY_DIR}/man
      COMMAND ${KELVASTRA_HELP2MAN} --no-info --section=1 --name=${summary}
              --help-option=${help_option}
              --output=${page} $<TARGET_FILE:${program}>
      COMMAND ${KELVASTRA_GZIP} -9nf ${page}
      DEPENDS ${program} COMMENT "Man page of ${program}" VERBATIM)
    list(APPEND man_pages ${page}.gz)
  endforeach()
  add_custom_target(kelvastra_man ALL DEPENDS ${man_pages})
  install(FILES ${man_pages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
else()
  message(STATUS "help2man or gzip not found: no man pages (scripts/setup.sh installs help2man)")
  add_custom_target(kelvastra_man)
endif()

# Everything the package holds, for scripts/package.sh to build without the tests.
add_custom_target(kelvastra_installables DEPENDS ${kelvastra_programs} kelvastra_man)

# --- install rules ------------------------------------------------------------------------------
install(TARGETS ${kelvastra_programs} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
set(res ${CMAKE_SOURCE_DIR}/resources)
file(GLOB desktop_entries CONFIGURE_DEPENDS ${res}/*.desktop)
file(GLOB icons CONFIGURE_DEPENDS ${res}/*.svg)
file(GLOB udev_rules CONFIGURE_DEPENDS ${res}/udev/*.rules)
install(FILES ${desktop_entries} DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${icons} DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
# udev reads /usr/lib/udev/rules.d whether or not /lib is merged into /usr.
install(FILES ${udev_rules} DESTINATION lib/udev/rules.d)
# The rest of resources/ (the sample protocol and whatever joins it) is shared data.
install(DIRECTORY ${res}/ DESTINATION ${CMAKE_INSTALL_DATADIR}/kelvastra
  PATTERN "*.desktop" EXCLUDE PATTERN "*.svg" EXCLUDE PATTERN "udev" EXCLUDE)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/kelvastra)

# --- the Debian package (cpack, or scripts/package.sh) ------------------------------------------
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME kelvastra)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_CONTACT "Kelvastra maintainers <kelvastra@example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "control program of the Kelvastra cell-stretching device")
set(CPACK_PACKAGE_DESCRIPTION
  "Design test protocols, program them into the Kelvastra controller and read them back, \
download and convert recorded test data, calibrate the device and describe its hardware. \
Ships the desktop program, kelvastra-cli for scripts and checks, kelvastra-sim (a simulated \
controller), the udev rule for the controller board, the desktop entry and man pages.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES TRUE)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_RELEASE 1)
set(CPACK_DEBIAN_PACKAGE_SECTION science)
# Library dependencies come from the binaries (dpkg-shlibdeps); Qt's platform plugins are
# loaded at run time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PACKAGE_CONTROL_EXTRA
  ${CMAKE_SOURCE_DIR}/cmake/debian/postinst ${CMAKE_SOURCE_DIR}/cmake/debian/postrm)
set(CPACK_DEBIAN_PACKAGE_CONTROL_STRICT_PERMISSION TRUE)
include(CPack)

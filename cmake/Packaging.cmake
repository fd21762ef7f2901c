# Installs the four programs with their man pages and validate's capture
# library, and packs them as one
# Debian package:
#   cmake --install build/release --prefix P
#   (cd build/release && cpack -G DEB)    -> lumenfold_<version>_<arch>.deb
include(GNUInstallDirs)

find_program(PYTHON3_EXECUTABLE NAMES python3 REQUIRED)
set(manPageScript ${PROJECT_SOURCE_DIR}/scripts/manpage.py)
set(manDir ${PROJECT_BINARY_DIR}/man)
file(MAKE_DIRECTORY ${manDir})

# The benchmark programs take no options and need a window to print anything,
# so their pages come from a helper that prints the same texts they print.
set(manPages)
add_executable(program_help_text ${PROJECT_SOURCE_DIR}/shell/print_help_text.cpp)
target_link_libraries(program_help_text PRIVATE shell_core)
foreach(entry
    "triangles|OpenGL benchmark: a growing indexed triangle list drawn from a 512 MiB array of doubles, in triangles/s and frames/s"
    "cube|OpenGL benchmark: a 256x256x256 lattice of lit, coloured points replayed from one display list, in vertices/s and frames/s"
    "streaming|processor benchmark in an OpenGL window: float, integer and logic loops every frame, in millions of executions/s")
  string(REPLACE "|" ";" entry "${entry}")
  list(GET entry 0 program)
  list(GET entry 1 summary)
  add_custom_command(OUTPUT ${manDir}/${program}.1.gz
    COMMAND ${PYTHON3_EXECUTABLE} ${manPageScript} keys ${program} ${PROJECT_VERSION} ${summary}
            $<TARGET_FILE:program_help_text> ${manDir}/${program}.1.gz
    DEPENDS program_help_text ${manPageScript}
    COMMENT "Man page of ${program}" VERBATIM)
  list(APPEND manPages ${manDir}/${program}.1.gz)
endforeach()

add_custom_command(OUTPUT ${manDir}/lumenfold.1.gz
  COMMAND ${PYTHON3_EXECUTABLE} ${manPageScript} cli lumenfold $<TARGET_FILE:lumenfold>
          ${manDir}/lumenfold.1.gz run report compare validate
  DEPENDS lumenfold ${manPageScript}
  COMMENT "Man page of lumenfold" VERBATIM)
list(APPEND manPages ${manDir}/lumenfold.1.gz)
add_custom_target(man_pages ALL DEPENDS ${manPages})

install(TARGETS triangles cube streaming lumenfold RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
# Private to lumenfold, which looks for it at bin/../lib/lumenfold/: not on
# the linker's path, and under no multiarch directory, so the two move together.
install(TARGETS lumenfold_capture LIBRARY DESTINATION lib/lumenfold)
install(TARGETS lumenfold_timing LIBRARY DESTINATION lib/lumenfold)
install(FILES ${manPages} DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
install(FILES ${PROJECT_SOURCE_DIR}/README.md DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumenfold)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumenfold)
set(CPACK_PACKAGE_VENDOR Lumenfold)
set(CPACK_PACKAGE_CONTACT "Lumenfold maintainers <lumenfold@localhost>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenGL benchmark programs and their unattended runner")
set(CPACK_PACKAGE_DESCRIPTION
    "triangles, cube and streaming measure a system's OpenGL and processor throughput \
and write every report line to a results file; lumenfold runs them unattended on a \
private virtual X server and reports and compares their results files.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
# The libraries the binaries link come from dpkg-shlibdeps; what `lumenfold
# run` starts and `lumenfold report --plot` calls are recommended.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "xvfb, xauth, gnuplot-nox | gnuplot")
include(CPack)

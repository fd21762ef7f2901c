# Installs the four programs with their man pages and validate's capture
# library, and packs them as one Debian package that lintian accepts:
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
# `lumenfold nightly` on a machine of its own: enabled by the administrator
# (systemctl enable --now lumenfold-nightly.timer) once its configuration exists.
install(FILES ${PROJECT_SOURCE_DIR}/scripts/systemd/lumenfold-nightly.service
              ${PROJECT_SOURCE_DIR}/scripts/systemd/lumenfold-nightly.timer
        DESTINATION lib/systemd/system)
# Debian's own documents. Lumenfold carries its packaging in its own tree, so
# the package is native: its changelog is changelog.gz, compressed the way
# Debian wants it (-9, no name or time stamp, so that builds are identical).
set(debianDir ${PROJECT_SOURCE_DIR}/cmake/debian)
set(debianOut ${PROJECT_BINARY_DIR}/debian)
add_custom_command(OUTPUT ${debianOut}/changelog.gz
  COMMAND ${CMAKE_COMMAND} -E copy ${debianDir}/changelog ${debianOut}/changelog
  COMMAND gzip -9nf ${debianOut}/changelog
  DEPENDS ${debianDir}/changelog
  COMMENT "Debian changelog" VERBATIM)
add_custom_target(debian_changelog ALL DEPENDS ${debianOut}/changelog.gz)
install(FILES ${PROJECT_SOURCE_DIR}/README.md ${debianDir}/copyright ${debianOut}/changelog.gz
        DESTINATION ${CMAKE_INSTALL_DATAROOTDIR}/doc/lumenfold)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME lumenfold)
set(CPACK_PACKAGE_VENDOR Lumenfold)
set(CPACK_PACKAGE_CONTACT "Lumenfold developers <lumenfold@lists.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OpenGL benchmark programs and their unattended runner")
# One line of the description per line of the control file, none past 80
# columns.
string(JOIN "\n" CPACK_PACKAGE_DESCRIPTION
  "triangles, cube and streaming measure a system's OpenGL and processor"
  "throughput: an indexed triangle list, a lattice of lit points replayed"
  "from a display list, and float, integer and logic loops. Each writes"
  "every report line to a results file."
  ""
  "lumenfold runs them unattended on a private virtual X server (Xvfb),"
  "reports and compares their results files with bootstrap intervals,"
  "validates their frames against Mesa's software renderer and keeps a"
  "history of runs in SQLite or PostgreSQL.")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION x11)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
set(CPACK_STRIP_FILES ON)
# The libraries the binaries link come from dpkg-shlibdeps (libglx0 brings
# Mesa's GLX and DRI drivers with it). Xvfb and xauth are what lumenfold
# starts itself: validate always, for the software reference, and run
# whenever there is no display, the unattended case the package is for.
# gnuplot serves only `lumenfold report --plot`.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "xvfb, xauth")
set(CPACK_DEBIAN_PACKAGE_SUGGESTS "gnuplot-nox | gnuplot")
set(CPACK_POST_BUILD_SCRIPTS ${debianDir}/drop_ldconfig_scripts.cmake)
include(CPack)

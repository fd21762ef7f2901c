# Run by cpack once the package is built (CPACK_POST_BUILD_SCRIPTS).
# CPack gives every package with a shared object under usr/lib a postinst and
# a postrm that call ldconfig. The capture library lies in a private directory
# that the dynamic linker never searches, so ldconfig has nothing to do for
# it: the package is packed again without the two scripts. A script that is
# not CPack's own call of ldconfig stops the build instead.
foreach(package IN LISTS CPACK_PACKAGE_FILES)
  if(NOT package MATCHES "\\.deb$")
    continue()
  endif()
  set(tree ${CPACK_TOPLEVEL_DIRECTORY}/without_ldconfig)
  file(REMOVE_RECURSE ${tree})
  execute_process(COMMAND dpkg-deb --raw-extract ${package} ${tree} COMMAND_ERROR_IS_FATAL ANY)
  foreach(script IN ITEMS "postinst|configure" "postrm|remove")
    string(REPLACE "|" ";" script "${script}")
    list(GET script 0 name)
    list(GET script 1 action)
    if(NOT EXISTS ${tree}/DEBIAN/${name})
      continue()
    endif()
    file(READ ${tree}/DEBIAN/${name} text)
    if(NOT text STREQUAL "#!/bin/sh\n\nset -e\n\nif [ \"$1\" = \"${action}\" ]; then\n\tldconfig\nfi\n")
      message(FATAL_ERROR "${package}: ${name} is not CPack's call of ldconfig:\n${text}")
    endif()
    file(REMOVE ${tree}/DEBIAN/${name})
  endforeach()
  execute_process(COMMAND dpkg-deb --root-owner-group --build ${tree} ${package}
                  OUTPUT_QUIET COMMAND_ERROR_IS_FATAL ANY)
  file(REMOVE_RECURSE ${tree})
endforeach()

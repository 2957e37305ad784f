# SPDX-License-Identifier: MIT
# Read by cpack before it makes the Debian packages: the library package's dependencies, as
# dpkg-shlibdeps finds them in the built library. The library package is left out of CPack's
# own look at shared objects, which would also add maintainer scripts calling ldconfig, where
# Debian wants the ldconfig trigger the package has.
if(CPACK_GENERATOR STREQUAL "DEB" AND EXISTS "${CPACK_PROJECT_LIBRARY_FILE}")
  set(work "${CPACK_PACKAGE_DIRECTORY}/library-shlibdeps")
  file(MAKE_DIRECTORY "${work}/debian")
  file(WRITE "${work}/debian/control" "")
  execute_process(COMMAND dpkg-shlibdeps -O "${CPACK_PROJECT_LIBRARY_FILE}" WORKING_DIRECTORY "${work}"
                  OUTPUT_VARIABLE found RESULT_VARIABLE failed ERROR_QUIET)
  if(failed OR NOT found MATCHES "shlibs:Depends=([^\n]*)")
    message(FATAL_ERROR "dpkg-shlibdeps found no dependencies of ${CPACK_PROJECT_LIBRARY_FILE}")
  endif()
  set(CPACK_DEBIAN_LIBRARY_PACKAGE_DEPENDS "${CMAKE_MATCH_1}")
endif()

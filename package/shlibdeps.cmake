# Read by cpack as it starts (CPACK_PROJECT_CONFIG_FILE): dpkg-shlibdeps names
# the Debian packages of the libraries that the two programs link, and they
# join the package's Depends after those named by hand.
#
# CPack's own CPACK_DEBIAN_PACKAGE_SHLIBDEPS gives the same list, but first
# runs `file` once for every installed file to find the programs: with the
# ball voices and pictures that is some 190 runs, 12 seconds of each packing.
if(NOT CPACK_GENERATOR STREQUAL "DEB")
  return()
endif()
file(STRINGS "${CPACK_BOLARIS_PROGRAM_LIST}" programs)
string(RANDOM LENGTH 8 tag)
set(work "${CPACK_BOLARIS_SHLIBDEPS_DIR}/${tag}")
# dpkg-shlibdeps reads debian/control below its working folder.
file(WRITE "${work}/debian/control" "")
execute_process(COMMAND dpkg-shlibdeps --ignore-missing-info -O ${programs}
  WORKING_DIRECTORY "${work}"
  OUTPUT_VARIABLE found ERROR_VARIABLE errors RESULT_VARIABLE result
  OUTPUT_STRIP_TRAILING_WHITESPACE)
file(REMOVE_RECURSE "${work}")
if(NOT result EQUAL 0 OR NOT found MATCHES "Depends=")
  message(FATAL_ERROR "dpkg-shlibdeps ${programs} failed: ${errors}")
endif()
string(REGEX REPLACE "^.*Depends=" "" found "${found}")
set(CPACK_DEBIAN_PACKAGE_DEPENDS "${CPACK_DEBIAN_PACKAGE_DEPENDS}, ${found}")

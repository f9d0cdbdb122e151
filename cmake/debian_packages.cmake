# Writes OUT: the Debian packages that BINARY and VIEWER need, one C++ string literal a line, as
# dpkg-shlibdeps computes them (the same computation as the package's Depends).
# Usage: cmake -DBINARY=... -DVIEWER=... -DOUT=... -P debian_packages.cmake
set(work ${OUT}.work)
file(REMOVE_RECURSE ${work})
file(MAKE_DIRECTORY ${work}/debian)
file(WRITE ${work}/debian/control "Source: tavorin\n\nPackage: tavorin\nArchitecture: any\n")
execute_process(COMMAND dpkg-shlibdeps -O ${BINARY} ${VIEWER}
  WORKING_DIRECTORY ${work} OUTPUT_VARIABLE substvars ERROR_VARIABLE errors
  RESULT_VARIABLE rc)
file(REMOVE_RECURSE ${work})
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "dpkg-shlibdeps failed on ${BINARY}: ${errors}")
endif()
string(REGEX REPLACE "^shlibs:Depends=" "" depends "${substvars}")
string(REGEX REPLACE " *\\([^)]*\\)" "" depends "${depends}")
string(STRIP "${depends}" depends)
string(REPLACE ", " ";" depends "${depends}")
set(packages "")
foreach(package IN LISTS depends)
  string(APPEND packages "\"${package}\",\n")
endforeach()
# Unchanged content keeps its time stamp, so nothing relinks needlessly.
file(CONFIGURE OUTPUT ${OUT} CONTENT "${packages}")

# Debian's hardening, as dpkg-buildflags gives it for this machine (fortified buffer functions,
# a stack protector, format checks, read-only relocations bound at start-up), so that the
# program and the package are built the way Debian builds its own. The optimisation and
# debugging flags stay the build type's; fortification needs an optimised build.
find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
  message(STATUS "dpkg-buildflags not found: built without Debian's hardening flags")
  return()
endif()

function(_vistoramo_buildflags area out)
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                    ${DPKG_BUILDFLAGS} --get ${area}
                  OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  # The optimisation and debugging flags stay the build type's, and file names stay as
  # they are (debuggers and valgrind name our sources by their paths).
  list(FILTER flags EXCLUDE REGEX "^-(O[0-9s]?|g|ffile-prefix-map=.*)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

_vistoramo_buildflags(CPPFLAGS _cppflags)
_vistoramo_buildflags(CXXFLAGS _cxxflags)
_vistoramo_buildflags(LDFLAGS _ldflags)
foreach(flag IN LISTS _cppflags)
  if(flag MATCHES "^-D_FORTIFY_SOURCE")
    add_compile_options($<$<NOT:$<CONFIG:Debug>>:${flag}>)
  else()
    add_compile_options(${flag})
  endif()
endforeach()
# Position independence is CMake's to decide (CMAKE_POSITION_INDEPENDENT_CODE, PIE below).
list(FILTER _cxxflags EXCLUDE REGEX "^-f(PIE|pie|PIC)$")
list(FILTER _ldflags EXCLUDE REGEX "^-(pie|fPIE)$")
add_compile_options(${_cxxflags})
add_link_options(${_ldflags})
include(CheckPIESupported)
check_pie_supported()
message(STATUS "Hardening from dpkg-buildflags: ${_cppflags} ${_cxxflags} ${_ldflags}")

# SPDX-License-Identifier: GPL-3.0-or-later
# Debian's hardening flags, taken from dpkg-buildflags so that the programs
# the .deb ships are built the way Debian builds its own packages (lintian
# looks for fortified functions, RELRO and immediate binding). Only the
# hardening part is taken: optimisation and debug info stay the build type's,
# and the file-prefix map would rewrite the paths __FILE__ reports.
#
# Off in the sanitizer build: ASan replaces the functions FORTIFY wraps.
# FORTIFY also needs optimisation, so a Debug build gets the rest without it.
# Off for Windows too: the flags are Debian's for ELF programs.
if(VERDALINE_SANITIZE OR CMAKE_SYSTEM_NAME STREQUAL "Windows")
  set(_harden_default OFF)
else()
  set(_harden_default ON)
endif()
option(VERDALINE_HARDEN "Build with Debian's hardening flags (dpkg-buildflags)" ${_harden_default})
if(NOT VERDALINE_HARDEN)
  return()
endif()

find_program(DPKG_BUILDFLAGS dpkg-buildflags)
if(NOT DPKG_BUILDFLAGS)
  message(FATAL_ERROR "dpkg-buildflags not found: install dpkg-dev (scripts/install-deps does), "
                      "or configure with -DVERDALINE_HARDEN=OFF")
endif()

function(_verdaline_buildflags var out)
  # +all adds immediate binding (-z now) to Debian's default set.
  execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                          ${DPKG_BUILDFLAGS} --get ${var}
    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
  separate_arguments(flags UNIX_COMMAND "${flags}")
  list(FILTER flags EXCLUDE REGEX "^(-g.*|-O.*|-ffile-prefix-map=.*|-fdebug-prefix-map=.*)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

_verdaline_buildflags(CPPFLAGS VERDALINE_HARDEN_CPPFLAGS)
_verdaline_buildflags(CXXFLAGS VERDALINE_HARDEN_CXXFLAGS)
_verdaline_buildflags(CFLAGS VERDALINE_HARDEN_CFLAGS)
_verdaline_buildflags(LDFLAGS VERDALINE_HARDEN_LDFLAGS)

set(_fortify ${VERDALINE_HARDEN_CPPFLAGS})
list(FILTER _fortify INCLUDE REGEX "^-D_FORTIFY_SOURCE")
list(FILTER VERDALINE_HARDEN_CPPFLAGS EXCLUDE REGEX "^-D_FORTIFY_SOURCE")
add_compile_options(${VERDALINE_HARDEN_CPPFLAGS}
  "$<$<COMPILE_LANGUAGE:CXX>:${VERDALINE_HARDEN_CXXFLAGS}>"
  "$<$<COMPILE_LANGUAGE:C>:${VERDALINE_HARDEN_CFLAGS}>"
  "$<$<NOT:$<CONFIG:Debug>>:${_fortify}>")
add_link_options(${VERDALINE_HARDEN_LDFLAGS})
message(STATUS "Hardening: ${VERDALINE_HARDEN_CPPFLAGS} ${_fortify} ${VERDALINE_HARDEN_CXXFLAGS}; "
               "link ${VERDALINE_HARDEN_LDFLAGS}")

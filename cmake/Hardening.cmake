# SPDX-License-Identifier: Apache-2.0
#
# Hardening of optimised builds: the flags Debian's dpkg-buildflags gives
# with every hardening feature on (stack protector, _FORTIFY_SOURCE, format
# checks, read-only relocations, immediate binding), plus stack clash and
# control-flow protection where the compiler has them. The program is a
# network-facing proxy that intercepts TLS, so every binary of a release or
# a package is built this way. Builds with sanitizers or fuzzers, and builds
# without optimisation (where _FORTIFY_SOURCE does nothing but warn), are
# left alone.
include(CheckCXXCompilerFlag)

option(DRAVIK_HARDEN "Build optimised binaries with Debian's hardening flags" ON)

# The flags of VARIABLE (CPPFLAGS, CXXFLAGS or LDFLAGS) that harden, without
# the optimisation, debugging and path-mapping flags dpkg-buildflags adds too:
# the build type chooses those.
function(dravik_buildflags variable out)
  find_program(DPKG_BUILDFLAGS dpkg-buildflags)
  if(DPKG_BUILDFLAGS)
    execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                            ${DPKG_BUILDFLAGS} --get ${variable}
                    OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE)
    separate_arguments(flags UNIX_COMMAND "${flags}")
  elseif(variable STREQUAL CPPFLAGS)
    set(flags -D_FORTIFY_SOURCE=2)
  elseif(variable STREQUAL CXXFLAGS)
    set(flags -fstack-protector-strong -Wformat -Werror=format-security)
  else()
    set(flags -Wl,-z,relro -Wl,-z,now)
  endif()
  list(FILTER flags EXCLUDE REGEX "^-(g.*|O.*|ffile-prefix-map=.*|fdebug-prefix-map=.*)$")
  set(${out} ${flags} PARENT_SCOPE)
endfunction()

function(dravik_harden)
  string(TOUPPER "${CMAKE_BUILD_TYPE}" type)
  if(NOT DRAVIK_HARDEN OR DRAVIK_SANITIZE OR DRAVIK_FUZZ
     OR NOT type MATCHES "^(RELEASE|RELWITHDEBINFO|MINSIZEREL)$")
    return()
  endif()
  dravik_buildflags(CPPFLAGS cppflags)
  dravik_buildflags(CXXFLAGS cxxflags)
  dravik_buildflags(LDFLAGS ldflags)
  # A compiler that defines _FORTIFY_SOURCE itself would warn of the
  # redefinition.
  list(TRANSFORM cppflags REPLACE "^-D_FORTIFY_SOURCE" "-U_FORTIFY_SOURCE;-D_FORTIFY_SOURCE")
  foreach(flag -fstack-clash-protection -fcf-protection)
    string(MAKE_C_IDENTIFIER "DRAVIK_HAS${flag}" has)
    check_cxx_compiler_flag(${flag} ${has})
    if(${has} AND NOT flag IN_LIST cxxflags)
      list(APPEND cxxflags ${flag})
    endif()
  endforeach()
  message(STATUS "Hardening: ${cppflags} ${cxxflags} ${ldflags}")
  add_compile_options(${cppflags} ${cxxflags})
  add_link_options(${ldflags})
endfunction()

dravik_harden()

# SPDX-License-Identifier: Apache-2.0
#
# dravik_lazy_depends(OUT)
#
# The Debian dependencies of the libraries the program loads on first use
# (cmake/LazyLibrary.cmake). The loader never sees them, so dpkg-shlibdeps
# cannot name them; this does what it would: the package that owns each
# library, at the least version that has every function the program calls
# (from the package's symbols file), or else at the version its shlibs file
# names. Without dpkg (not a Debian build machine) OUT is empty.

# The greatest of VERSIONS. Natural order (numbers compared as numbers) is
# Debian's for the plain dotted versions symbols files give.
function(dravik_version_max out)
  set(versions ${ARGN})
  list(REMOVE_ITEM versions "")
  set(result "")
  if(versions)
    list(SORT versions COMPARE NATURAL)
    list(GET versions -1 result)
  endif()
  set(${out} ${result} PARENT_SCOPE)
endfunction()

# The least version of PACKAGE that has every function of SYMFILE; empty
# when the package has no symbols file.
function(dravik_symbols_version package symfile out)
  file(GLOB symbols_files /var/lib/dpkg/info/${package}.symbols
       /var/lib/dpkg/info/${package}:*.symbols)
  set(least "")
  if(symbols_files)
    list(GET symbols_files 0 symbols_file)
    file(STRINGS ${symbols_file} lines REGEX "^ [^ ]+@[^ ]+ [^ ]+")
    file(STRINGS ${symfile} wanted)
    set(versions "")
    foreach(line ${lines})
      if(line MATCHES "^ ([^ @]+)@[^ ]+ ([^ ]+)" AND CMAKE_MATCH_1 IN_LIST wanted)
        list(APPEND versions ${CMAKE_MATCH_2})
      endif()
    endforeach()
    dravik_version_max(least ${versions})
  endif()
  set(${out} ${least} PARENT_SCOPE)
endfunction()

# The dependency PACKAGE's shlibs file gives for its library SONAME, such as
# "libssl3 (>= 3.0.2)"; empty when there is none.
function(dravik_shlibs_depends package soname out)
  file(GLOB shlibs_files /var/lib/dpkg/info/${package}.shlibs
       /var/lib/dpkg/info/${package}:*.shlibs)
  set(result "")
  if(soname MATCHES "^(.+)\\.so\\.(.+)$" AND shlibs_files)
    list(GET shlibs_files 0 shlibs_file)
    file(STRINGS ${shlibs_file} lines REGEX "^${CMAKE_MATCH_1} ${CMAKE_MATCH_2} ")
    if(lines)
      list(GET lines 0 line)
      string(REGEX MATCH "^[^ ]+ [^ ]+ (.+)$" found "${line}")
      set(result "${CMAKE_MATCH_1}")
    endif()
  endif()
  set(${out} "${result}" PARENT_SCOPE)
endfunction()

function(dravik_lazy_depends out)
  get_property(libraries GLOBAL PROPERTY DRAVIK_LAZY_LIBRARIES)
  get_property(symfiles GLOBAL PROPERTY DRAVIK_LAZY_SYMFILES)
  find_program(DPKG_QUERY dpkg-query)
  if(NOT DPKG_QUERY OR NOT libraries)
    set(${out} "" PARENT_SCOPE)
    return()
  endif()
  # One query for all: each takes a while.
  execute_process(COMMAND ${DPKG_QUERY} -S ${libraries} OUTPUT_VARIABLE owners ERROR_QUIET)
  string(REPLACE "\n" ";" owners "${owners}")
  set(packages "")
  foreach(library symfile IN ZIP_LISTS libraries symfiles)
    set(owner "")
    foreach(line ${owners})
      if(line MATCHES "^([^:,]+)(:[^:]+)?: (.+)$" AND CMAKE_MATCH_3 STREQUAL library)
        set(owner ${CMAKE_MATCH_1})
      endif()
    endforeach()
    if(NOT owner)
      continue()
    endif()
    dravik_symbols_version(${owner} ${symfile} version)
    if(version)
      dravik_version_max(least_${owner} "${least_${owner}}" ${version})
    else()
      get_filename_component(soname ${library} NAME)
      execute_process(COMMAND objdump -p ${library} OUTPUT_VARIABLE dynamic)
      if(dynamic MATCHES "SONAME +([^\n ]+)")
        set(soname ${CMAKE_MATCH_1})
      endif()
      dravik_shlibs_depends(${owner} ${soname} shlibs_${owner})
    endif()
    list(APPEND packages ${owner})
  endforeach()
  list(REMOVE_DUPLICATES packages)
  set(depends "")
  foreach(package ${packages})
    if(least_${package})
      list(APPEND depends "${package} (>= ${least_${package}})")
    elseif(shlibs_${package})
      list(APPEND depends "${shlibs_${package}}")
    else()
      list(APPEND depends ${package})
    endif()
  endforeach()
  set(${out} "${depends}" PARENT_SCOPE)
endfunction()

# Reads the add-on's symbol tables with nm. Fails when its dynamic symbol table
# defines anything but the two exports, or when it defines a symbol that a platform
# library exports as its own (a second copy of the platform inside the add-on).
cmake_minimum_required(VERSION 3.25)

# The names of the symbols a file defines whose nm type matches `types`; `dynamic`
# reads the dynamic symbol table, else the whole one.
function(defined_symbols file dynamic types out)
  set(args --defined-only --format=posix)
  if(dynamic)
    list(APPEND args -D)
  endif()
  execute_process(COMMAND ${NM} ${args} ${file} OUTPUT_VARIABLE text RESULT_VARIABLE rc)
  if(NOT rc EQUAL 0)
    message(FATAL_ERROR "nm failed on ${file}")
  endif()
  string(REPLACE "\n" ";" lines "${text}")
  set(names "")
  foreach(line ${lines})
    # posix format: name type value size
    if(line MATCHES "^([^ ]+) (${types}) ")
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} "${names}" PARENT_SCOPE)
endfunction()

defined_symbols(${ADDON} TRUE "[A-Za-z]" exported)
list(SORT exported)
if(NOT exported STREQUAL "GetExportedFuncAddrs;SetImportedFuncAddrs")
  message(FATAL_ERROR "the add-on exports more or less than its two entry functions: ${exported}")
endif()

defined_symbols(${ADDON} FALSE "[A-Za-z]" own)
list(REMOVE_DUPLICATES own)
list(LENGTH own own_count)
foreach(library ${PLATFORM})
  # Strong code and data only: inline functions of the platform's headers are weak.
  defined_symbols(${library} TRUE "[TDBR]" platform)
  list(REMOVE_DUPLICATES platform)
  list(LENGTH platform platform_count)
  set(both ${own} ${platform})
  list(REMOVE_DUPLICATES both)
  list(LENGTH both both_count)
  math(EXPR shared "${own_count} + ${platform_count} - ${both_count}")
  if(NOT shared EQUAL 0)
    foreach(name ${platform})
      if(name IN_LIST own)
        message(FATAL_ERROR "the add-on holds its own copy of ${name} from ${library}")
      endif()
    endforeach()
  endif()
endforeach()
message(STATUS "exports: ${exported}; no platform symbol copied")

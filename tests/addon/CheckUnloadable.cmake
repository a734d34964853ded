# Fails when something in the add-on's library file would keep it loaded after the
# host unloads it: a thread-local object with a destructor (its registration through
# __cxa_thread_atexit holds the library until the thread ends), a unique global
# symbol, or the no-delete flag.
#   cmake -DNM=nm -DREADELF=readelf -DADDON=FILE -P CheckUnloadable.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${NM} -D --format=posix ${ADDON} OUTPUT_VARIABLE symbols RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "nm failed on ${ADDON}")
endif()
string(REPLACE "\n" ";" lines "${symbols}")
foreach(line ${lines})
  if(line MATCHES "^(__cxa_thread_atexit[A-Za-z_]*)[@ ]")
    message(FATAL_ERROR "the add-on registers a thread-local destructor (${CMAKE_MATCH_1}): "
      "it would stay loaded while the thread that ran it lives")
  endif()
  if(line MATCHES "^([^ ]+) u ")
    message(FATAL_ERROR "the add-on defines the unique global symbol ${CMAKE_MATCH_1}, which keeps it loaded")
  endif()
endforeach()

execute_process(COMMAND ${READELF} -d ${ADDON} OUTPUT_VARIABLE dynamic RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "readelf failed on ${ADDON}")
endif()
if(dynamic MATCHES "NODELETE")
  message(FATAL_ERROR "the add-on is linked not to be unloaded (NODELETE)")
endif()
message(STATUS "nothing keeps the add-on loaded")

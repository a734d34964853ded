# Runs the runner and checks what it leaves: its exit code, texts of the add-on's own
# in its output (alerts, Session Report lines), and the library parts saved.
#   cmake -DRUNNER=FILE -DARGS=a|b|c -DCODE=N -DOUT=DIR [-DTEXTS=t1|t2] [-DPARTS=N]
#         [-DPART_HOLDS=FILE] -P RunnerLeaves.cmake
# TEXTS are literal texts the output must hold; PARTS is the number of library parts
# in the product library; every line of PART_HOLDS is a literal text each of them holds.
# FRESH: a folder emptied first.
if(DEFINED FRESH)
  file(REMOVE_RECURSE "${FRESH}")
endif()
string(REPLACE "|" ";" args "${ARGS}")
execute_process(COMMAND ${RUNNER} ${args} RESULT_VARIABLE code OUTPUT_VARIABLE out ERROR_VARIABLE err)
set(told "${out}${err}")
# What the runner told, for the test's log and its failure patterns.
message("${told}")
if(NOT code STREQUAL CODE)
  message(FATAL_ERROR "the runner exited with ${code}, not ${CODE}")
endif()

string(REPLACE "|" ";" texts "${TEXTS}")
foreach(text IN LISTS texts)
  string(FIND "${told}" "${text}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the runner's output lacks \"${text}\"")
  endif()
endforeach()

if(DEFINED PARTS)
  file(GLOB parts "${OUT}/Tarvel/daVED/ArchiCAD/Tarvel Library/*")
  list(LENGTH parts count)
  if(NOT count EQUAL PARTS)
    message(FATAL_ERROR "${count} library part file(s), not ${PARTS}: ${parts}")
  endif()
  if(DEFINED PART_HOLDS)
    file(STRINGS "${PART_HOLDS}" holds ENCODING UTF-8)
    foreach(part IN LISTS parts)
      file(READ "${part}" content)
      foreach(text IN LISTS holds)
        string(FIND "${content}" "${text}" at)
        if(at EQUAL -1)
          message(FATAL_ERROR "${part} lacks ${text}")
        endif()
      endforeach()
    endforeach()
  endif()
endif()

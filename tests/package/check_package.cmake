# Checks of the release package, run by CTest with cmake -P.
#
# STEP=archive  CPack makes the package of BUILD_DIR in WORK_DIR; the archive
#               must hold exactly FILES ('|'-separated, relative to the
#               archive's top folder) and is unpacked into WORK_DIR/unpacked.
# STEP=run      The program PROGRAM of the unpacked package, started (through
#               EMULATOR when set) with "n" as console input and an empty
#               application-data directory, must report the arm failure, ask
#               whether to go on and end with status 0 at the "n".

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

if(STEP STREQUAL "archive")
  file(REMOVE_RECURSE ${WORK_DIR})
  file(MAKE_DIRECTORY ${WORK_DIR})
  execute_process(COMMAND ${CPACK} --config ${BUILD_DIR}/CPackConfig.cmake -B ${WORK_DIR}
    RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    fail("cpack failed (${status}):\n${out}\n${err}")
  endif()
  file(GLOB archives LIST_DIRECTORIES false ${WORK_DIR}/*.zip ${WORK_DIR}/*.tar.gz)
  list(LENGTH archives count)
  if(NOT count EQUAL 1)
    fail("expected one archive in ${WORK_DIR}, found: ${archives}")
  endif()
  get_filename_component(archive_name ${archives} NAME)
  string(REGEX REPLACE "\\.(zip|tar\\.gz)$" "" top ${archive_name})

  execute_process(COMMAND ${CMAKE_COMMAND} -E tar tf ${archives}
    RESULT_VARIABLE status OUTPUT_VARIABLE listing ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    fail("cannot list ${archives}: ${err}")
  endif()
  string(REPLACE "\n" ";" entries "${listing}")
  set(files "")
  set(outside "")
  foreach(entry IN LISTS entries)
    if(entry STREQUAL "" OR entry MATCHES "/$")
      continue()  # directories
    endif()
    if(entry MATCHES "^${top}/(.+)$")
      list(APPEND files ${CMAKE_MATCH_1})
    else()
      list(APPEND outside ${entry})
    endif()
  endforeach()
  if(outside)
    fail("${archive_name}: entries outside its folder ${top}/: ${outside}")
  endif()

  # Named separately for a clear message: what must never ship.
  set(forbidden "")
  foreach(file IN LISTS files)
    if(file MATCHES "FaroArmUsbWrapper|armsim|_tests|benchmark|zorv-scenario|recording_editor|console_child|dynlib_probe|gtest|gmock")
      list(APPEND forbidden ${file})
    endif()
  endforeach()
  if(forbidden)
    fail("${archive_name} holds the virtual arm or test programs: ${forbidden}")
  endif()

  string(REPLACE "|" ";" expected "${FILES}")
  list(SORT expected)
  list(SORT files)
  if(NOT files STREQUAL expected)
    string(REPLACE ";" "\n  " got "${files}")
    string(REPLACE ";" "\n  " want "${expected}")
    fail("${archive_name} lists\n  ${got}\nexpected\n  ${want}")
  endif()

  file(MAKE_DIRECTORY ${WORK_DIR}/unpacked)
  execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${archives}
    WORKING_DIRECTORY ${WORK_DIR}/unpacked RESULT_VARIABLE status ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    fail("cannot unpack ${archives}: ${err}")
  endif()
  file(WRITE ${WORK_DIR}/top.txt ${top})
  message(STATUS "${archive_name}: ${files}")

elseif(STEP STREQUAL "run")
  file(READ ${WORK_DIR}/top.txt top)
  set(program ${WORK_DIR}/unpacked/${top}/${PROGRAM})
  if(NOT EXISTS ${program})
    fail("no program in the unpacked package: ${program}")
  endif()
  # A fresh application-data directory, and nothing that points the program
  # at a virtual arm.
  file(REMOVE_RECURSE ${WORK_DIR}/profile)
  file(MAKE_DIRECTORY ${WORK_DIR}/profile)
  set(ENV{ALLUSERSPROFILE} ${WORK_DIR}/profile)
  unset(ENV{ZORV_ARMSIM_SCENARIO})
  file(WRITE ${WORK_DIR}/answers.txt "n\n")
  # Into a file, compared as hexadecimal text: CMake's output variables and
  # text reads drop the CR of each CR LF.
  execute_process(COMMAND ${EMULATOR} ${program}
    INPUT_FILE ${WORK_DIR}/answers.txt
    OUTPUT_FILE ${WORK_DIR}/output.txt
    WORKING_DIRECTORY ${WORK_DIR}
    RESULT_VARIABLE status ERROR_VARIABLE err
    TIMEOUT 60)
  file(READ ${WORK_DIR}/output.txt out)
  file(READ ${WORK_DIR}/output.txt out_hex HEX)
  set(expected "Initialising arm... Hold ctrl for arm information.\nArm initialisation failure.\n\nArm initialisation failure. Would you like to continue? (y/n): ")
  if(WINDOWS)
    string(REPLACE "\n" "\r\n" expected "${expected}")
  endif()
  file(WRITE ${WORK_DIR}/expected.txt "${expected}")
  file(READ ${WORK_DIR}/expected.txt expected_hex HEX)
  if(NOT status STREQUAL "0" OR NOT out_hex STREQUAL expected_hex)
    fail("${program} ended with ${status}, printed\n[${out}]\n${out_hex}\nexpected\n"
         "[${expected}]\n${expected_hex}\nerrors: ${err}")
  endif()

else()
  fail("unknown STEP '${STEP}'")
endif()

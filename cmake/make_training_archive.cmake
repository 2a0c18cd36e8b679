# Makes the training package (cmake/ZorvTrainingPackage.cmake), run with
# cmake -P by the build:
#
#   cmake -DMANIFEST=<file> -DSTAGE=<dir> -DTOP=<folder> -DARCHIVE=<zip>
#         [-DSTRIP=<strip>] -P make_training_archive.cmake
#
# Each line of MANIFEST is "<copy|strip>\t<place>\t<file>": the file is copied
# to STAGE/TOP/<place> (and stripped with STRIP for "strip"); then ARCHIVE is
# written from STAGE/TOP, its entries in sorted order, so that the same
# inputs give the same list.
function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

file(REMOVE_RECURSE ${STAGE})
file(STRINGS ${MANIFEST} lines)
set(entries "")
foreach(line IN LISTS lines)
  string(REPLACE "\t" ";" fields "${line}")
  list(LENGTH fields count)
  if(NOT count EQUAL 3)
    fail("${MANIFEST}: bad line '${line}'")
  endif()
  list(GET fields 0 mode)
  list(GET fields 1 place)
  list(GET fields 2 source)
  set(target ${STAGE}/${TOP}/${place})
  get_filename_component(folder ${target} DIRECTORY)
  file(MAKE_DIRECTORY ${folder})
  file(COPY_FILE ${source} ${target} RESULT status)
  if(NOT status EQUAL 0)
    fail("cannot copy ${source} to ${target}: ${status}")
  endif()
  if(mode STREQUAL "strip" AND STRIP)
    execute_process(COMMAND ${STRIP} ${target} RESULT_VARIABLE status ERROR_VARIABLE err)
    if(NOT status EQUAL 0)
      fail("${STRIP} ${target} failed: ${err}")
    endif()
  endif()
  list(APPEND entries ${TOP}/${place})
endforeach()
list(SORT entries)

file(REMOVE ${ARCHIVE}.part)
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ARCHIVE}.part --format=zip -- ${entries}
  WORKING_DIRECTORY ${STAGE} RESULT_VARIABLE status ERROR_VARIABLE err)
if(NOT status EQUAL 0)
  fail("cannot write ${ARCHIVE}: ${err}")
endif()
file(RENAME ${ARCHIVE}.part ${ARCHIVE})

# Checks of the Windows training package (cmake/ZorvTrainingPackage.cmake),
# run by CTest with cmake -P on ARCHIVE (its folder TOP), in WORK_DIR.
#
# STEP=list       the archive holds exactly the lines of the file EXPECTED,
#                 its launcher with CR LF line ends (cmd misreads bare LFs).
# STEP=scenarios  the package's scenario tool, run through EMULATOR on each
#                 DESC_DIR/*.desc, writes the records of the package's
#                 scenarios (written on the build machine); comments may
#                 differ in the last digits of numbers next to zero.
# STEP=exercises  training.bat of the unpacked package, run by
#                 "EMULATOR cmd /c" with scripted input: the list, calibrate
#                 and relocate in the default folder, a folder named by the
#                 second argument, and a foreign folder it must leave alone.
cmake_policy(SET CMP0057 NEW)

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

# Fails unless each needle is found in text after the one before.
function(expect_in_order what text)
  set(rest "${text}")
  foreach(needle IN LISTS ARGN)
    string(FIND "${rest}" "${needle}" at)
    if(at LESS 0)
      fail("${what}: '${needle}' not found (in this order) in:\n${text}")
    endif()
    string(LENGTH "${needle}" length)
    math(EXPR at "${at} + ${length}")
    string(SUBSTRING "${rest}" ${at} -1 rest)
  endforeach()
endfunction()

function(read_text file out)
  file(READ "${file}" text)
  string(REPLACE "\r" "" text "${text}")
  set(${out} "${text}" PARENT_SCOPE)
endfunction()

if(NOT EXISTS "${ARCHIVE}")
  fail("no training package ${ARCHIVE}: build the target training-package")
endif()
set(package ${WORK_DIR}/${STEP}/${TOP})
file(REMOVE_RECURSE ${WORK_DIR}/${STEP})
file(MAKE_DIRECTORY ${WORK_DIR}/${STEP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar xf ${ARCHIVE} WORKING_DIRECTORY ${WORK_DIR}/${STEP}
  RESULT_VARIABLE status)
file(GLOB_RECURSE shipped LIST_DIRECTORIES false RELATIVE ${package} ${package}/*)
list(SORT shipped)
if(NOT status EQUAL 0 OR NOT shipped)
  fail("cannot unpack ${ARCHIVE} into its folder ${TOP}")
endif()
# Under Wine: the build's own prefix unless the caller chose one.
if(DEFAULT_WINEPREFIX AND NOT DEFINED ENV{WINEPREFIX})
  set(ENV{WINEPREFIX} ${DEFAULT_WINEPREFIX})
endif()
set(ENV{WINEDEBUG} -all)

if(STEP STREQUAL "list")
  file(GLOB everything RELATIVE ${WORK_DIR}/${STEP} ${WORK_DIR}/${STEP}/*)
  file(STRINGS ${EXPECTED} expected)
  list(SORT expected)
  if(NOT everything STREQUAL TOP OR NOT shipped STREQUAL expected)
    fail("${ARCHIVE} holds\n  ${everything}: ${shipped}\nexpected\n  ${TOP}: ${expected}")
  endif()
  file(READ ${package}/training.bat hex HEX)
  string(REGEX MATCHALL "0d0a|0a" ends "${hex}")
  if(NOT ends OR "0a" IN_LIST ends)
    fail("training.bat has lines that do not end in CR LF")
  endif()

elseif(STEP STREQUAL "scenarios")
  file(GLOB descriptions ${DESC_DIR}/*.desc)
  foreach(description IN LISTS descriptions)
    get_filename_component(name ${description} NAME_WE)
    execute_process(COMMAND ${EMULATOR} ${package}/bin/zorv-scenario.exe -o ${package}/${name}.w
      ${description} RESULT_VARIABLE status TIMEOUT 60)
    file(STRINGS ${package}/${name}.w from_windows REGEX "^[^#]")
    file(STRINGS ${package}/scenarios/${name}.scenario from_host REGEX "^[^#]")
    list(LENGTH from_host count)
    if(NOT status EQUAL 0 OR count LESS 10 OR NOT from_windows STREQUAL from_host)
      fail("${name}: the Windows tool (status ${status}) writes other records than the package's")
    endif()
  endforeach()

elseif(STEP STREQUAL "exercises")
  foreach(name ZORV_ARMSIM_SCENARIO ZORV_TEST_CTRL_HELD ZORV_TEST_FAULTS ALLUSERSPROFILE)
    unset(ENV{${name}})  # the launcher must set what it needs
  endforeach()
  set(parts "${package}/training-site/Application Data/Kestrel Ward/Velloran 2/vl2_settings/parts")
  # run(<name> <status> <input> <arguments>...): the output in output_<name>.
  function(run name want input)
    file(WRITE ${WORK_DIR}/${name}.in "${input}")
    execute_process(COMMAND ${EMULATOR} cmd /c training.bat ${ARGN} WORKING_DIRECTORY ${package}
      INPUT_FILE ${WORK_DIR}/${name}.in OUTPUT_FILE ${WORK_DIR}/${name}.out
      RESULT_VARIABLE status TIMEOUT 120)
    read_text(${WORK_DIR}/${name}.out text)
    if(NOT status STREQUAL "${want}")
      fail("training.bat ${ARGN}: status ${status}, expected ${want}:\n${text}")
    endif()
    set(output_${name} "${text}" PARENT_SCOPE)
  endfunction()

  run(list 0 "")
  expect_in_order(list "${output_list}" "training.bat calibrate" "training.bat test"
    "training.bat relocate" "training.bat drive")

  run(calibrate 0 "4\n2\n\n 3\n1\n2\n1\n 16\n" calibrate)
  set(ok "Calibration uncertainty measurement is acceptable.")
  set(written "Successfully written section [PartLocalToArmGlobal")
  expect_in_order(calibrate "${output_calibrate}" "Point 1: 670.047, 309.987, 15.0383." "${ok}"
    "${written}111] to file Flange.qini." "${ok}" "${written}221] to file Flange.qini."
    "${written}211] to file Flange.qini." "Quad extents: 200, 125." "${ok}"
    "${written}111] to file Skin.qini.")
  read_text("${parts}/01_Wing/02_Skin/Skin.qini" calibrated)
  read_text("${parts}/02_Bracket/01_Flange/Flange.qini" flange)
  expect_in_order(Skin.qini "${calibrated}" "[PartLocalToArmGlobal111]" "ArmSerial=P080301198")
  string(REGEX MATCHALL "ArmSerial=P080301198" stamps "${flange}")
  list(LENGTH stamps count)
  if(NOT count EQUAL 4)
    fail("Flange.qini holds ${count} sections of the calibrating arm, not 4:\n${flange}")
  endif()

  # Relocate goes on with that copy: every section moved, each file backed up.
  run(relocate 0 " 10\n\nP080301198\n 16\n" relocate)
  expect_in_order(relocate "${output_relocate}" "WARNING! Uninitialised psi zero-degree."
    "Relocation uncertainty measurement is acceptable." "Found 3 .qini files."
    "Processing file: Skin.qini." "Successfully processed 3 of 3 .qini files.")
  read_text("${parts}/01_Wing/02_Skin/Skin.oldqini" backup)
  read_text("${parts}/01_Wing/02_Skin/Skin.qini" relocated)
  read_text("${parts}/02_Bracket/01_Flange/Flange.qini" flange)
  string(REGEX MATCHALL "ArmSerial=P08120042" stamps "${relocated}${flange}")
  file(GLOB_RECURSE backups "${parts}/*.oldqini")
  list(LENGTH stamps count)
  list(LENGTH backups backup_count)
  if(NOT backup STREQUAL calibrated OR NOT count EQUAL 5 OR NOT backup_count EQUAL 3)
    fail("after relocate: ${backup_count} backups, Skin.oldqini as calibrated: "
         "${backup}\n${count} of 5 sections in the new arm's frame:\n${relocated}${flange}")
  endif()

  # Another folder, named with a space; then one with a file of its own.
  string(REPLACE "/" "\\" windows_work "Z:${WORK_DIR}")
  file(REMOVE_RECURSE "${WORK_DIR}/other site" ${WORK_DIR}/occupied)
  file(WRITE ${WORK_DIR}/occupied/notes.txt "keep")
  run(named 0 "16\n" test "${windows_work}\\other site")
  expect_in_order(named "${output_named}" "Directory mode: Wizard.")
  run(occupied 1 "" calibrate "${windows_work}\\occupied")
  expect_in_order(occupied "${output_occupied}" "it is not a training folder")
  file(GLOB left RELATIVE ${WORK_DIR}/occupied ${WORK_DIR}/occupied/*)
  if(NOT EXISTS "${WORK_DIR}/other site/training-site.txt" OR NOT left STREQUAL "notes.txt")
    fail("no training site in 'other site', or the occupied folder changed: ${left}")
  endif()

  # Beside the launcher only the copy; the package itself unchanged.
  file(GLOB_RECURSE now LIST_DIRECTORIES false RELATIVE ${package} ${package}/*)
  list(FILTER now EXCLUDE REGEX "^training-site/")
  file(GLOB beside RELATIVE ${package} ${package}/*)
  list(SORT now)
  list(SORT beside)
  if(NOT now STREQUAL shipped OR NOT "training-site" IN_LIST beside)
    fail("the package's folder changed:\n  ${now}\nexpected\n  ${shipped}")
  endif()

else()
  fail("unknown STEP '${STEP}'")
endif()

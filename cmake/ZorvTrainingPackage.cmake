# The training package of a Windows build (target training-package, built
# with the rest): <build>/ZorvPosetta-<version>-win64-training.zip (or
# -win32-training.zip), for technicians and their trainers. Beside the
# program and the library it carries what the release package never does:
# the virtual arm under the vendor's library name, the arm panel, the scenario
# tool, the demo site and the demo scenarios, with the launcher training.bat
# (examples/training). The release package (cmake/ZorvPackaging.cmake, CPack)
# is untouched by it: nothing here is an install rule.
#
#   ZorvPosetta-<version>-win64-training/
#     training.bat  TECHNICIAN.md
#     bin/          ZorvPosetta.exe  ZorvVLWizard.dll  FaroArmUsbWrapper.dll
#                   zorv-arm-panel.exe  zorv-scenario.exe  (32-bit: the runtime DLLs)
#     demo-site/    examples/demo-site
#     scenarios/    demo.scenario, <name>.scenario written from <name>.desc, and the .desc
if(NOT WIN32)
  return()
endif()
if(NOT ZORV_DEMO_SCENARIOS)
  message(WARNING "No demo scenarios in this build: the training package is left out.")
  return()
endif()

set(ZORV_TRAINING_NAME ${CPACK_PACKAGE_NAME}-${PROJECT_VERSION}-${ZORV_PACKAGE_SYSTEM}-training)
set(ZORV_TRAINING_ARCHIVE ${CMAKE_BINARY_DIR}/${ZORV_TRAINING_NAME}.zip)
set(work ${CMAKE_BINARY_DIR}/training-package)

# The launcher with Windows line ends (cmd misreads labels in a file of bare
# LFs) and the version in its list.
configure_file(${CMAKE_SOURCE_DIR}/examples/training/training.bat ${work}/training.bat
  @ONLY NEWLINE_STYLE CRLF)

# What goes where: one line "<copy|strip> <tab> <place in the package> <tab>
# <file>" each; the programs and libraries of this build are stripped as CPack
# strips the release package's.
set(manifest "")
set(inputs ${work}/training.bat)
macro(zorv_training_file mode place file)
  string(APPEND manifest "${mode}\t${place}\t${file}\n")
endmacro()
zorv_training_file(copy training.bat ${work}/training.bat)
zorv_training_file(copy TECHNICIAN.md ${CMAKE_SOURCE_DIR}/docs/TECHNICIAN.md)
list(APPEND inputs ${CMAKE_SOURCE_DIR}/docs/TECHNICIAN.md)
set(programs ZorvPosetta ZorvVLWizard zorv_armsim zorv-arm-panel zorv-scenario)
foreach(target IN LISTS programs)
  zorv_training_file(strip bin/$<TARGET_FILE_NAME:${target}> $<TARGET_FILE:${target}>)
endforeach()
foreach(dll IN LISTS ZORV_RUNTIME_DLLS)
  get_filename_component(name ${dll} NAME)
  zorv_training_file(copy bin/${name} ${dll})
  list(APPEND inputs ${dll})
endforeach()
file(GLOB_RECURSE site_files LIST_DIRECTORIES false RELATIVE ${CMAKE_SOURCE_DIR}/examples/demo-site
  CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/demo-site/*)
list(SORT site_files)
foreach(file IN LISTS site_files)
  zorv_training_file(copy demo-site/${file} ${CMAKE_SOURCE_DIR}/examples/demo-site/${file})
  list(APPEND inputs ${CMAKE_SOURCE_DIR}/examples/demo-site/${file})
endforeach()
file(GLOB scenario_sources CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/examples/armsim/*.scenario
  ${CMAKE_SOURCE_DIR}/examples/armsim/*.desc)
foreach(file IN LISTS scenario_sources ZORV_DEMO_SCENARIOS)
  get_filename_component(name ${file} NAME)
  zorv_training_file(copy scenarios/${name} ${file})
  list(APPEND inputs ${file})
endforeach()
file(GENERATE OUTPUT ${work}/manifest.txt CONTENT "${manifest}")

add_custom_command(OUTPUT ${ZORV_TRAINING_ARCHIVE}
  COMMAND ${CMAKE_COMMAND} -DMANIFEST=${work}/manifest.txt -DSTAGE=${work}/stage
    -DTOP=${ZORV_TRAINING_NAME} -DARCHIVE=${ZORV_TRAINING_ARCHIVE} -DSTRIP=${CMAKE_STRIP}
    -P ${CMAKE_SOURCE_DIR}/cmake/make_training_archive.cmake
  DEPENDS ${programs} ${inputs} ${work}/manifest.txt
    ${CMAKE_SOURCE_DIR}/cmake/make_training_archive.cmake
  COMMENT "Training package ${ZORV_TRAINING_NAME}.zip"
  VERBATIM)
add_custom_target(training-package ALL DEPENDS ${ZORV_TRAINING_ARCHIVE})

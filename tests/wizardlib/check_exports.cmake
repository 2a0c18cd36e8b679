# Checks the dynamic symbol table of the Linux library: every defined symbol
# must belong to a class of the public header (members, virtual table, type
# information), and the interface's key entry points must be there.
# Usage: cmake -DLIBRARY=<libZorvVLWizard.so> -DNM=<nm> -P check_exports.cmake
execute_process(COMMAND ${NM} -D --defined-only --demangle ${LIBRARY}
  OUTPUT_VARIABLE symbols RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
endif()

set(classes "string_allocator|string_vector|ZorvVLWizardUtilities|ZorvVLWizardShapeSelectState|ZorvVLWizardShapeCreateState")
string(REPLACE "\n" ";" lines "${symbols}")
set(unexpected "")
set(count 0)
foreach(line IN LISTS lines)
  if(line STREQUAL "")
    continue()
  endif()
  # "<address> <type> <name>"
  string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
  math(EXPR count "${count} + 1")
  if(name MATCHES "^(${classes})::")
    continue()
  elseif(name MATCHES "^(vtable|typeinfo|typeinfo name) for (${classes})$")
    continue()
  elseif(name MATCHES "^(_init|_fini|__bss_start|_edata|_end)$" OR name MATCHES "^__odr_asan")
    # Linker and sanitizer bookkeeping.
    continue()
  endif()
  string(APPEND unexpected "  ${line}\n")
endforeach()

if(NOT unexpected STREQUAL "")
  message(FATAL_ERROR "symbols outside the interface are exported:\n${unexpected}")
endif()

foreach(required
    "ZorvVLWizardUtilities::getParts("
    "ZorvVLWizardUtilities::getRecursiveFullFileNames("
    "ZorvVLWizardUtilities::deletePart("
    "ZorvVLWizardShapeSelectState::getGainState("
    "ZorvVLWizardShapeCreateState::setDeviceIndex("
    "string_allocator::allocate"
    "string_allocator::deallocate("
    "vtable for string_vector")
  string(FIND "${symbols}" "${required}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the interface symbol ${required} is not exported")
  endif()
endforeach()
message(STATUS "${count} exported symbols, all of the interface")

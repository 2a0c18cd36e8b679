# Checks the exported symbols of the library: every one must belong to a class
# of the public header (members, virtual table, type information) or to the
# settings reader's exception that may leave it, and the interface's key entry
# points must be there.
# Usage: cmake -DLIBRARY=<library> -DFORMAT=elf -DNM=<nm> -P check_exports.cmake
#        cmake -DLIBRARY=<dll> -DFORMAT=pe -DOBJDUMP=<objdump> -DCXXFILT=<c++filt> -P ...
if(FORMAT STREQUAL "elf")
  # Dynamic symbol table, defined symbols: "<address> <type> <name>".
  execute_process(COMMAND ${NM} -D --defined-only --demangle ${LIBRARY}
    OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${NM} failed on ${LIBRARY}")
  endif()
  string(REPLACE "\n" ";" lines "${dump}")
  set(names "")
  foreach(line IN LISTS lines)
    if(NOT line STREQUAL "")
      string(REGEX REPLACE "^[0-9a-fA-F]* *[A-Za-z] " "" name "${line}")
      list(APPEND names "${name}")
    endif()
  endforeach()
elseif(FORMAT STREQUAL "pe")
  # The export name table: "\t[ n] <mangled name>" lines after its heading.
  execute_process(COMMAND ${OBJDUMP} -p ${LIBRARY} OUTPUT_VARIABLE dump RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${OBJDUMP} failed on ${LIBRARY}")
  endif()
  string(FIND "${dump}" "[Ordinal/Name Pointer] Table" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "${LIBRARY} has no export name table")
  endif()
  string(SUBSTRING "${dump}" ${at} -1 table)
  string(REPLACE "\n" ";" lines "${table}")
  list(REMOVE_AT lines 0)
  set(mangled "")
  foreach(line IN LISTS lines)
    if(NOT line MATCHES "^[ \t]*\\[ *[0-9]+\\] (.+)$")
      break()
    endif()
    list(APPEND mangled "${CMAKE_MATCH_1}")
  endforeach()
  execute_process(COMMAND ${CXXFILT} ${mangled} OUTPUT_VARIABLE demangled RESULT_VARIABLE result)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "${CXXFILT} failed")
  endif()
  string(STRIP "${demangled}" demangled)
  string(REPLACE "\n" ";" names "${demangled}")
else()
  message(FATAL_ERROR "FORMAT must be elf or pe")
endif()

set(classes "string_allocator|string_vector|ZorvVLWizardUtilities|ZorvVLWizardShapeSelectState|ZorvVLWizardShapeCreateState|IniFileSection::IniFileException")
set(unexpected "")
list(LENGTH names count)
foreach(name IN LISTS names)
  if(name MATCHES "^(${classes})::")
    continue()
  elseif(name MATCHES "^(vtable|typeinfo|typeinfo name) for (${classes})$")
    continue()
  elseif(name MATCHES "^(_init|_fini|__bss_start|_edata|_end)$" OR name MATCHES "^__odr_asan")
    # Linker and sanitizer bookkeeping.
    continue()
  endif()
  string(APPEND unexpected "  ${name}\n")
endforeach()
if(NOT unexpected STREQUAL "")
  message(FATAL_ERROR "symbols outside the interface are exported:\n${unexpected}")
endif()

string(REPLACE ";" "\n" all "${names}")
foreach(required
    "ZorvVLWizardUtilities::getParts("
    "ZorvVLWizardUtilities::getRecursiveFullFileNames("
    "ZorvVLWizardUtilities::deletePart("
    "ZorvVLWizardShapeSelectState::getGainState("
    "ZorvVLWizardShapeCreateState::setDeviceIndex("
    "string_allocator::allocate"
    "string_allocator::deallocate("
    "string_allocator::allocate_bytes("
    "string_allocator::deallocate_bytes("
    "IniFileSection::IniFileException::getMessage"
    "IniFileSection::IniFileException::getType("
    "IniFileSection::IniFileException::~IniFileException("
    "IniFileSection::IniFileException::operator delete("
    "vtable for string_vector")
  string(FIND "${all}" "${required}" at)
  if(at EQUAL -1)
    message(FATAL_ERROR "the interface symbol ${required} is not exported")
  endif()
endforeach()
message(STATUS "${count} exported symbols, all of the interface")

# Checks, from the PE import tables alone (so also where the programs cannot
# run), that the modules of a 32-bit Windows build share one unwinder and that
# the release package holds every DLL they need that Windows does not provide.
#
#   cmake -DOBJDUMP=<objdump> -DMODULES=<a.exe|b.dll|...> -DRUNTIME=<dll|...>
#         -DSHIPPED=<name|...> -DUNWINDER=<name> -P check_imports.cmake
#
# MODULES  the program, the library and a program that uses the library
# RUNTIME  the compiler's runtime DLLs that travel with them
# SHIPPED  the names of the DLLs in the package's bin folder
# UNWINDER the shared unwinder every module must import

cmake_policy(SET CMP0057 NEW)

function(fail)
  string(JOIN "" text ${ARGN})
  message(FATAL_ERROR "${text}")
endfunction()

# The DLLs a module imports, upper-cased.
function(imports_of module out)
  execute_process(COMMAND ${OBJDUMP} -p ${module}
    RESULT_VARIABLE status OUTPUT_VARIABLE text ERROR_VARIABLE err)
  if(NOT status EQUAL 0)
    fail("${OBJDUMP} -p ${module} failed: ${err}")
  endif()
  string(REGEX MATCHALL "DLL Name: [^\r\n]+" lines "${text}")
  set(names "")
  foreach(line IN LISTS lines)
    string(REGEX REPLACE "^DLL Name: " "" name "${line}")
    string(STRIP "${name}" name)
    string(TOUPPER "${name}" name)
    list(APPEND names ${name})
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# What every supported Windows provides (the system's own DLLs and the
# system C runtime MinGW-w64 links against).
set(windows_provides KERNEL32.DLL MSVCRT.DLL USER32.DLL ADVAPI32.DLL SHELL32.DLL WINMM.DLL
  NTDLL.DLL OLE32.DLL SHLWAPI.DLL GDI32.DLL)

string(REPLACE "|" ";" modules "${MODULES}")
string(REPLACE "|" ";" runtime "${RUNTIME}")
string(REPLACE "|" ";" shipped "${SHIPPED}")
string(TOUPPER "${shipped}" shipped)
string(TOUPPER "${UNWINDER}" unwinder)

set(problems "")
foreach(module IN LISTS modules)
  imports_of(${module} names)
  get_filename_component(name ${module} NAME)
  if(NOT unwinder IN_LIST names)
    list(APPEND problems "${name} does not import ${UNWINDER} (it carries an unwinder of its own)")
  endif()
endforeach()
foreach(module IN LISTS modules runtime)
  imports_of(${module} names)
  get_filename_component(name ${module} NAME)
  foreach(dll IN LISTS names)
    if(NOT dll IN_LIST windows_provides AND NOT dll IN_LIST shipped)
      list(APPEND problems "${name} needs ${dll}, which the package does not hold")
    endif()
  endforeach()
endforeach()
if(problems)
  string(JOIN "\n  " text ${problems})
  fail("runtime imports:\n  ${text}")
endif()
list(LENGTH modules count)
message(STATUS "${count} modules import ${UNWINDER}; every DLL they need is in the package")

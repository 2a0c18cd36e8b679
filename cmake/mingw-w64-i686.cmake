# Cross build for 32-bit Windows with MinGW-w64 (posix thread model). The arm
# vendor's wrapper library may be a 32-bit DLL, which only a 32-bit program
# can load.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR i686)
set(ZORV_MINGW_PREFIX i686-w64-mingw32)

set(CMAKE_C_COMPILER   ${ZORV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZORV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Floating point in SSE2 registers, as on x86_64: the default x87 arithmetic
# keeps excess precision, so exact geometry (fits, angle round trips) would
# round differently on the two Windows targets. Every processor that runs a
# supported Windows has SSE2.
set(CMAKE_C_FLAGS_INIT   "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# One unwinder and one C++ runtime for every module. This toolchain unwinds
# with DWARF-2 tables, which each module registers with the unwinder it is
# linked with: with libgcc linked statically, the library and the program
# each have their own, and an exception thrown in ZorvVLWizard.dll (the
# settings reader's, which its interface hands to the host) cannot unwind
# through the host's frames, so the host is ended. Linked with the shared
# libgcc_s_dw2-1.dll and libstdc++-6.dll (and the libwinpthread-1.dll both
# need), every module registers with the one unwinder and shares one C++
# runtime, as the library's interface (strings and lists that cross it)
# expects. The three DLLs are copied beside the programs of the build and
# shipped beside the program in the release package (ZORV_RUNTIME_DLLS); the
# directory of the program is where Windows looks for them first.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-shared-libgcc")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-shared-libgcc")
set(ZORV_RUNTIME_DLL_NAMES libgcc_s_dw2-1.dll libstdc++-6.dll libwinpthread-1.dll)

# Test programs run under Wine (its 32-bit part, wine32).
find_program(ZORV_WINE NAMES wine)
if(ZORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORV_WINE})
endif()

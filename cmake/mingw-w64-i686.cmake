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

# Programs carry their C and C++ runtimes so that they run beside each other
# without the MinGW runtime DLLs on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Test programs run under Wine (its 32-bit part, wine32).
find_program(ZORV_WINE NAMES wine)
if(ZORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORV_WINE})
endif()

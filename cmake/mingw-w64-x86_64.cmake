# Cross build for 64-bit Windows with MinGW-w64 (posix thread model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(ZORV_MINGW_PREFIX x86_64-w64-mingw32)

set(CMAKE_C_COMPILER   ${ZORV_MINGW_PREFIX}-gcc-posix)
set(CMAKE_CXX_COMPILER ${ZORV_MINGW_PREFIX}-g++-posix)
set(CMAKE_RC_COMPILER  ${ZORV_MINGW_PREFIX}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${ZORV_MINGW_PREFIX})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Programs carry their C and C++ runtimes so that they run beside each other
# without the MinGW runtime DLLs on the path.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static-libgcc -static-libstdc++ -static")

# Test programs run under Wine.
find_program(ZORV_WINE NAMES wine wine64)
if(ZORV_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${ZORV_WINE})
endif()

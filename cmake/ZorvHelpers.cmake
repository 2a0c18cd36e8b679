# Shared build helpers.

# Warnings for our own targets: -Wall -Wextra everywhere, errors on request.
function(zorv_warnings target)
  if(MSVC)
    target_compile_options(${target} PRIVATE /W4 $<$<BOOL:${ZORV_WERROR}>:/WX>)
  else()
    target_compile_options(${target} PRIVATE -Wall -Wextra
      $<$<BOOL:${ZORV_WERROR}>:-Werror>)
    # GCC 12 at -O2/-O3 reports -Wrestrict inside std::string's own inline
    # code (a known false positive of that release), which no source change of
    # ours can avoid.
    if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_GREATER_EQUAL 12
       AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
      target_compile_options(${target} PRIVATE -Wno-restrict)
    endif()
  endif()
endfunction()

# GoogleTest is compiled from source so that the same version serves the Linux,
# sanitizer and MinGW builds (Debian ships the sources in googletest).
macro(zorv_setup_googletest)
  if(NOT TARGET gtest)
    set(ZORV_GTEST_SOURCE "/usr/src/googletest" CACHE PATH "GoogleTest source tree")
    set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
    set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
    set(gtest_force_shared_crt ON CACHE BOOL "" FORCE)
    add_subdirectory(${ZORV_GTEST_SOURCE} ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
  endif()
endmacro()

# zorv_add_gtest(<name> SOURCES ... [LIBS ...] [LABELS ...] [TIMEOUT s])
# Builds one test program into bin/ and registers it with CTest. Under the
# Windows cross build CTest runs it through the cross-compiling emulator (Wine).
# Each run writes a JUnit-style XML report into ${CMAKE_BINARY_DIR}/test-reports
# so that scripts/test can count individual test cases.
function(zorv_add_gtest name)
  cmake_parse_arguments(ARG "" "TIMEOUT" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main)
  zorv_warnings(${name})
  if(NOT ARG_TIMEOUT)
    set(ARG_TIMEOUT 300)
  endif()
  set(report "${CMAKE_BINARY_DIR}/test-reports/${name}.xml")
  if(WIN32 AND CMAKE_CROSSCOMPILING)
    # Wine sees the host's file system as drive Z:.
    set(report "Z:${report}")
  endif()
  add_test(NAME ${name} COMMAND ${name} --gtest_output=xml:${report})
  set_tests_properties(${name} PROPERTIES TIMEOUT ${ARG_TIMEOUT}
    LABELS "${ARG_LABELS}"
    ENVIRONMENT "ZORV_SOURCE_DIR=${CMAKE_SOURCE_DIR};ZORV_BIN_DIR=${CMAKE_BINARY_DIR}/bin")
endfunction()

# Test programs that exercise threads; the ThreadSanitizer build compiles and
# runs only these (target "tsan-tests", CTest label "tsan").
function(zorv_mark_tsan name)
  set_property(TEST ${name} APPEND PROPERTY LABELS tsan)
  set_property(GLOBAL APPEND PROPERTY ZORV_TSAN_TARGETS ${name})
endfunction()

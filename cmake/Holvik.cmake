# Shared build rules: sanitizers, the 32-bit build, GoogleTest and small helpers.

set(HOLVIK_M32_EMULATOR "" CACHE STRING
    "Command that runs the 32-bit test programs where this machine cannot (e.g. qemu-i386)")
if(HOLVIK_M32)
  add_compile_options(-m32)
  add_link_options(-m32)
  # Under qemu-i386 the kernel answers as to a 64-bit program: directory
  # offsets and file sizes only fit the large-file calls (readdir and stat
  # without them fail with EOVERFLOW on ext4).
  add_compile_definitions(_FILE_OFFSET_BITS=64)
  # ctest starts every test program built here under the emulator; tests
  # that start a 32-bit program themselves (the media host, seed makers)
  # put $HOLVIK_EMULATOR before it.
  if(HOLVIK_M32_EMULATOR)
    set(CMAKE_CROSSCOMPILING_EMULATOR ${HOLVIK_M32_EMULATOR})
  endif()
endif()
# ctest reads this file before it runs any test, so every test, fixture and
# script sees HOLVIK_EMULATOR as this build wants it, whatever the caller's
# environment holds.
if(HOLVIK_M32 AND HOLVIK_M32_EMULATOR)
  string(REPLACE ";" " " emulator_words "${HOLVIK_M32_EMULATOR}")
  file(WRITE ${CMAKE_BINARY_DIR}/holvik_emulator.cmake "set(ENV{HOLVIK_EMULATOR} \"${emulator_words}\")\n")
else()
  file(WRITE ${CMAKE_BINARY_DIR}/holvik_emulator.cmake "unset(ENV{HOLVIK_EMULATOR})\n")
endif()
set_property(DIRECTORY ${CMAKE_SOURCE_DIR} APPEND PROPERTY TEST_INCLUDE_FILES
             ${CMAKE_BINARY_DIR}/holvik_emulator.cmake)

if(HOLVIK_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer
                      -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

add_compile_options(-Wall -Wextra -Wno-unused-parameter)

# The CI builds of test.sh: line tables only (all a sanitizer report or a
# backtrace needs; full debug information costs a third of the compile), and
# test programs unoptimised (see tests/CMakeLists.txt).
option(HOLVIK_CI "Build for CI: -g1, test programs at -O0" OFF)
if(HOLVIK_CI)
  add_compile_options(-g1)
endif()

# Stops a leaf CMakeLists.txt from being read in the 32-bit build.
macro(holvik_skip_on_m32)
  if(HOLVIK_M32)
    return()
  endif()
endmacro()

# Adds every direct child folder of the current source folder that has a
# CMakeLists.txt, in name order.
function(holvik_add_subdirs)
  file(GLOB children LIST_DIRECTORIES true RELATIVE ${CMAKE_CURRENT_SOURCE_DIR}
       ${CMAKE_CURRENT_SOURCE_DIR}/*)
  list(SORT children)
  foreach(child ${children})
    if(IS_DIRECTORY ${CMAKE_CURRENT_SOURCE_DIR}/${child}
       AND EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/${child}/CMakeLists.txt)
      add_subdirectory(${child})
    endif()
  endforeach()
endfunction()

# GoogleTest is compiled from Debian's sources with this build's own flags, so
# the sanitizer and 32-bit builds get a matching copy.
if(HOLVIK_TESTS AND NOT TARGET gtest)
  set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
  set(BUILD_GMOCK ON CACHE BOOL "" FORCE)
  add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_googletest EXCLUDE_FROM_ALL)
endif()

# holvik_gtest(NAME SOURCES a.cpp b.cpp LIBS x y [LABELS l] [ENV K=V ...] [TIMEOUT s])
# One test executable, registered as one ctest test.
function(holvik_gtest name)
  cmake_parse_arguments(T "" "TIMEOUT" "SOURCES;LIBS;LABELS;ENV;ARGS" ${ARGN})
  add_executable(${name} ${T_SOURCES})
  target_link_libraries(${name} PRIVATE ${T_LIBS} gmock gtest_main Threads::Threads)
  if(TARGET holvik_gtest_pch)
    target_precompile_headers(${name} REUSE_FROM holvik_gtest_pch)
  endif()
  add_test(NAME ${name} COMMAND ${name} ${T_ARGS})
  if(NOT T_TIMEOUT)
    set(T_TIMEOUT 300)
  endif()
  set_tests_properties(${name} PROPERTIES TIMEOUT ${T_TIMEOUT})
  if(T_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${T_LABELS}")
  endif()
  if(T_ENV)
    set_tests_properties(${name} PROPERTIES ENVIRONMENT "${T_ENV}")
  endif()
endfunction()

find_package(Threads REQUIRED)

include(HolvikFuzz)
include(HolvikPlugins)

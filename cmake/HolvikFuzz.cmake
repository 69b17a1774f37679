# Robustness harness: libFuzzer targets (HOLVIK_FUZZ=ON with clang) and the
# bounded mutation test that every build registers for the same target.

set(HOLVIK_SUPPORT_DIR ${CMAKE_SOURCE_DIR}/tests/support)

set(HOLVIK_FUZZ_ACTIVE OFF)
if(HOLVIK_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "HOLVIK_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  set(HOLVIK_FUZZ_ACTIVE ON)
  # Every library a target reaches guides the fuzzer: everything is built
  # with coverage instrumentation, and the targets add libFuzzer's main.
  add_compile_options(-fsanitize=fuzzer-no-link)
  add_link_options(-fsanitize=fuzzer-no-link)
  # What scripts/fuzz.sh builds: every libFuzzer target and the programs
  # that make their seeds, nothing else of the tree.
  add_custom_target(holvik_fuzz_targets)
endif()

# holvik_fuzz_register(TARGET REACHES function... [SEEDS file-or-dir...] [OWN_SEEDS]
#                      [MAX_LEN bytes] [REACH_SHARE percent] [FIXTURES name...])
# Lists a libFuzzer target for scripts/fuzz.sh with the seeds it starts
# from: files and folders (made by ctest fixtures or in the tree), and with
# OWN_SEEDS the ones the target writes itself when run with
# HOLVIK_FUZZ_WRITE_SEEDS=DIR (see tests/support/fuzz_seeds.h). REACHES names
# the functions the target exists for (a C name, or a C++ name as far as
# its opening parenthesis, e.g. "ns::Class::method"): fuzz.sh fails when a
# run over the target's corpus covers less than a share of an entry's edges
# (REACH_SHARE percent, default 15; "name@percent" for one entry), and when
# inputs of one byte or none meet the list (it must name the parser's inner
# functions, not what the harness calls whatever the input). MAX_LEN caps
# the inputs libFuzzer makes (seeds are cut to it); OPTIONS are more libFuzzer
# flags. FIXTURES are the ctest
# fixtures that make the seeds: fuzz.sh runs them (label "fuzz-seeds").
function(holvik_fuzz_register target)
  cmake_parse_arguments(R "OWN_SEEDS" "MAX_LEN;REACH_SHARE" "SEEDS;REACHES;FIXTURES;OPTIONS" ${ARGN})
  if(NOT HOLVIK_FUZZ_ACTIVE)
    return()
  endif()
  if(NOT R_REACHES)
    message(FATAL_ERROR "holvik_fuzz_register(${target}): name the functions it REACHES")
  endif()
  target_include_directories(${target} PRIVATE ${HOLVIK_SUPPORT_DIR})
  add_dependencies(holvik_fuzz_targets ${target})
  set(lines "$<TARGET_FILE:${target}>")
  foreach(seed ${R_SEEDS})
    string(APPEND lines "\nseed ${seed}")
  endforeach()
  if(R_OWN_SEEDS)
    string(APPEND lines "\nown-seeds")
  endif()
  foreach(fn ${R_REACHES})
    string(APPEND lines "\nreach ${fn}")
  endforeach()
  if(R_REACH_SHARE)
    string(APPEND lines "\nreach-share ${R_REACH_SHARE}")
  endif()
  if(R_MAX_LEN)
    string(APPEND lines "\noption -max_len=${R_MAX_LEN}")
  endif()
  foreach(option ${R_OPTIONS})
    string(APPEND lines "\noption ${option}")
  endforeach()
  file(GENERATE OUTPUT ${CMAKE_BINARY_DIR}/fuzz-targets/${target}.txt CONTENT "${lines}\n")
  foreach(fixture ${R_FIXTURES})
    get_property(tests GLOBAL PROPERTY HOLVIK_FIXTURE_TESTS_${fixture})
    if(NOT tests)
      message(FATAL_ERROR "holvik_fuzz_register(${target}): no test sets up the fixture ${fixture}")
    endif()
    foreach(test ${tests})
      set_property(TEST ${test} APPEND PROPERTY LABELS fuzz-seeds)
    endforeach()
  endforeach()
endfunction()

# Kept for the libraries that name themselves for coverage: fuzz builds
# instrument every target (above), so this adds nothing more.
function(holvik_fuzz_instrument target)
endfunction()

# holvik_fuzz_target(NAME SOURCES a.cpp ... LIBS x y
#                    [PLUGIN target]       defines HOLVIK_PLUGIN_PATH as the plug-in's file
#                    [SEEDS file...] [SEED_DIRS dir...]
#                    [ITERATIONS n]        mutated inputs per ctest run (default 2000)
#                    [TIMEOUT_MS ms]       hang alarm per input (default 5000)
#                    [FIXTURES name...]    ctest fixtures that make the seeds
#                    [DEFINITIONS d...] [INCLUDES dir...]
#                    REACHES function...   what the target exists for
#                    [MAX_LEN bytes] [REACH_SHARE percent]  (see holvik_fuzz_register)
#                    [FUZZER_OPTIONS -flag=value...]
#                    [OPEN_ONLY_FAILS])    a container target (see below)
# SOURCES define LLVMFuzzerTestOneInput. Always builds <NAME>_mutation and
# registers it as the ctest test <NAME>_mutation (label "fuzz"); with
# HOLVIK_FUZZ also builds the libFuzzer binary <NAME>_fuzzer.
# OPEN_ONLY_FAILS: the target drives a container demuxer through the media
# host's exerciser with holvik_fuzz::exerciseLimits() (fuzz_exercise.h). The
# fuzz build then also builds <NAME>_open_only_fuzzer, the same harness
# compiled to open and close each input only, and the test
# fuzz_reach_fails_open_only_<NAME> (label "fuzz-tooling") checks that over
# the seeds the target meets its reach list and the open-only harness does
# not: the list must name the reading (frames, chunks, indexes, samples).
function(holvik_fuzz_target name)
  cmake_parse_arguments(F "OPEN_ONLY_FAILS" "PLUGIN;ITERATIONS;TIMEOUT_MS;MAX_LEN;REACH_SHARE"
                        "SOURCES;LIBS;SEEDS;SEED_DIRS;FIXTURES;DEFINITIONS;INCLUDES;REACHES;FUZZER_OPTIONS" ${ARGN})
  if(NOT F_REACHES)
    message(FATAL_ERROR "holvik_fuzz_target(${name}): name the functions it REACHES")
  endif()
  if(NOT F_ITERATIONS)
    set(F_ITERATIONS 2000)
  endif()
  if(NOT F_TIMEOUT_MS)
    set(F_TIMEOUT_MS 5000)
  endif()
  if(NOT F_SEEDS AND NOT F_SEED_DIRS)
    message(FATAL_ERROR "holvik_fuzz_target(${name}): give SEEDS or SEED_DIRS")
  endif()

  set(targets ${name}_mutation)
  add_executable(${name}_mutation ${F_SOURCES} ${HOLVIK_SUPPORT_DIR}/mutation_main.cpp)
  if(HOLVIK_FUZZ_ACTIVE)
    target_compile_options(${name}_mutation PRIVATE -fsanitize=fuzzer-no-link)
    target_link_options(${name}_mutation PRIVATE -fsanitize=fuzzer-no-link)
    add_executable(${name}_fuzzer ${F_SOURCES} ${HOLVIK_SUPPORT_DIR}/fuzz_memory.cpp)
    target_compile_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_options(${name}_fuzzer PRIVATE -fsanitize=fuzzer)
    list(APPEND targets ${name}_fuzzer)
    set(max_len)
    if(F_MAX_LEN)
      set(max_len MAX_LEN ${F_MAX_LEN})
    endif()
    if(F_REACH_SHARE)
      list(APPEND max_len REACH_SHARE ${F_REACH_SHARE})
    endif()
    holvik_fuzz_register(${name}_fuzzer SEEDS ${F_SEEDS} ${F_SEED_DIRS} REACHES ${F_REACHES} ${max_len}
                         FIXTURES ${F_FIXTURES} OPTIONS ${F_FUZZER_OPTIONS})
    if(F_OPEN_ONLY_FAILS)
      add_executable(${name}_open_only_fuzzer ${F_SOURCES} ${HOLVIK_SUPPORT_DIR}/fuzz_memory.cpp)
      target_compile_options(${name}_open_only_fuzzer PRIVATE -fsanitize=fuzzer)
      target_link_options(${name}_open_only_fuzzer PRIVATE -fsanitize=fuzzer)
      target_compile_definitions(${name}_open_only_fuzzer PRIVATE HOLVIK_FUZZ_OPEN_ONLY=1)
      list(APPEND targets ${name}_open_only_fuzzer)
      holvik_fuzz_reach_test(open_only_${name} TARGET ${name}_fuzzer HOLLOW ${name}_open_only_fuzzer
                             FIXTURES ${F_FIXTURES})
    endif()
  endif()
  foreach(t ${targets})
    target_link_libraries(${t} PRIVATE ${F_LIBS})
    target_include_directories(${t} PRIVATE ${F_INCLUDES} ${HOLVIK_SUPPORT_DIR})
    target_compile_definitions(${t} PRIVATE ${F_DEFINITIONS})
    if(F_PLUGIN)
      target_compile_definitions(${t} PRIVATE HOLVIK_PLUGIN_PATH="$<TARGET_FILE:${F_PLUGIN}>")
      add_dependencies(${t} ${F_PLUGIN})
    endif()
  endforeach()

  set(args --iterations ${F_ITERATIONS} --timeout-ms ${F_TIMEOUT_MS})
  foreach(dir ${F_SEED_DIRS})
    list(APPEND args --seed-dir ${dir})
  endforeach()
  add_test(NAME ${name}_mutation COMMAND ${name}_mutation ${args} ${F_SEEDS})
  set_tests_properties(${name}_mutation PROPERTIES LABELS fuzz TIMEOUT 900)
  if(F_FIXTURES)
    set_tests_properties(${name}_mutation PROPERTIES FIXTURES_REQUIRED "${F_FIXTURES}")
  endif()
endfunction()

# holvik_fuzz_reach_test(NAME TARGET fuzz-target HOLLOW binary-target [FIXTURES name...])
# The ctest test fuzz_reach_fails_<NAME> (label "fuzz-tooling"): over the
# seeds of the registered fuzz target TARGET, its coverage meets its reach
# list and the coverage of HOLLOW, the same harness built to hand its parser
# nothing, does not (tests/support/fuzz_reach_test.sh). FIXTURES make the
# seeds; scripts/fuzz.sh runs these tests on seeds made already.
function(holvik_fuzz_reach_test name)
  cmake_parse_arguments(R "" "TARGET;HOLLOW" "FIXTURES" ${ARGN})
  add_dependencies(holvik_fuzz_targets ${R_HOLLOW})
  add_test(NAME fuzz_reach_fails_${name}
    COMMAND ${HOLVIK_SUPPORT_DIR}/fuzz_reach_test.sh ${CMAKE_SOURCE_DIR}/scripts/fuzz-reach.sh
            ${CMAKE_BINARY_DIR}/fuzz-targets/${R_TARGET}.txt $<TARGET_FILE:${R_HOLLOW}>
            ${CMAKE_CURRENT_BINARY_DIR}/reach-work-${name})
  set_tests_properties(fuzz_reach_fails_${name} PROPERTIES LABELS fuzz-tooling TIMEOUT 300)
  if(R_FIXTURES)
    set_tests_properties(fuzz_reach_fails_${name} PROPERTIES FIXTURES_REQUIRED "${R_FIXTURES}")
  endif()
endfunction()

# holvik_fixture_command(FIXTURE name TEST test-name COMMAND cmd args...)
# A ctest test that makes fixture files once per ctest run, before every test
# that lists FIXTURES_REQUIRED name.
function(holvik_fixture_command)
  cmake_parse_arguments(X "" "FIXTURE;TEST" "COMMAND" ${ARGN})
  add_test(NAME ${X_TEST} COMMAND ${X_COMMAND})
  set_tests_properties(${X_TEST} PROPERTIES FIXTURES_SETUP ${X_FIXTURE} LABELS fixture TIMEOUT 300)
  set_property(GLOBAL APPEND PROPERTY HOLVIK_FIXTURE_TESTS_${X_FIXTURE} ${X_TEST})
  # A seed maker built here is built with the fuzz targets.
  list(GET X_COMMAND 0 program)
  if(HOLVIK_FUZZ_ACTIVE AND TARGET ${program})
    add_dependencies(holvik_fuzz_targets ${program})
  endif()
endfunction()

# holvik_ffmpeg_fixture(FIXTURE name OUTPUT file ARGS ffmpeg-args...)
# Generates OUTPUT with Debian's ffmpeg ("ffmpeg -y ARGS OUTPUT"); the folder
# of OUTPUT is created.
function(holvik_ffmpeg_fixture)
  cmake_parse_arguments(X "" "FIXTURE;OUTPUT" "ARGS" ${ARGN})
  get_filename_component(base ${X_OUTPUT} NAME)
  get_filename_component(dir ${X_OUTPUT} DIRECTORY)
  file(MAKE_DIRECTORY ${dir})
  holvik_fixture_command(FIXTURE ${X_FIXTURE} TEST fixture_${X_FIXTURE}_${base}
    COMMAND ffmpeg -nostdin -hide_banner -loglevel error -y ${X_ARGS} ${X_OUTPUT})
endfunction()

# engine_feature_gtest(name SOURCES ...): a test of one engine feature on the
# engine alone (EngineFixture.h). Each case runs in a process of its own.
include(GoogleTest)
find_package(Qt5 REQUIRED COMPONENTS Test)

function(engine_feature_gtest name)
  cmake_parse_arguments(T "" "" "SOURCES" ${ARGN})
  add_executable(${name} ${T_SOURCES} ${CMAKE_SOURCE_DIR}/tests/src/display/EngineTestMain.cpp)
  set_target_properties(${name} PROPERTIES AUTOMOC ON)
  target_include_directories(${name} PRIVATE ${CMAKE_SOURCE_DIR}/tests/src/display)
  target_link_libraries(${name} PRIVATE holvik_app holvik_test_support Qt5::Test gmock gtest)
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST NO_PRETTY_VALUES TEST_PREFIX "${name}."
                       PROPERTIES TIMEOUT 60 ENVIRONMENT QT_QPA_PLATFORM=offscreen)
endfunction()

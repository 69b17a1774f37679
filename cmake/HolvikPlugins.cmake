# holvik_plugin_library(NAME SOURCES a.c b.c [INCLUDE dir])
# A media plug-in: a shared library lib<NAME>.so that exports only what it
# marks with KVR_EXPORT, built on the plug-in convention header.
function(holvik_plugin_library name)
  cmake_parse_arguments(P "" "" "SOURCES;INCLUDE" ${ARGN})
  add_library(${name} SHARED ${P_SOURCES})
  set_target_properties(${name} PROPERTIES C_VISIBILITY_PRESET hidden
                        CXX_VISIBILITY_PRESET hidden VISIBILITY_INLINES_HIDDEN ON)
  target_link_libraries(${name} PUBLIC kvr_plugin_convention)
  if(P_INCLUDE)
    target_include_directories(${name} PUBLIC ${P_INCLUDE})
  endif()
  holvik_fuzz_instrument(${name})
endfunction()

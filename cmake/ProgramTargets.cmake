# The test, benchmark and fuzz programs of the folders this build configures.
# Libraries defined before those folders add their links to the programs
# about them from a deferred call (cmake_language(DEFER ...)), once the whole
# tree is read; this gives them the targets to look through.
function(murmelo_program_targets out)
  set(folders "")
  if(MURMELO_BUILD_TESTS)
    list(APPEND folders ${PROJECT_SOURCE_DIR}/tests)
  endif()
  if(MURMELO_BUILD_BENCH)
    list(APPEND folders ${PROJECT_SOURCE_DIR}/bench)
  endif()
  if(MURMELO_BUILD_FUZZ)
    list(APPEND folders ${PROJECT_SOURCE_DIR}/fuzz)
  endif()
  set(all "")
  foreach(folder ${folders})
    get_property(targets DIRECTORY ${folder} PROPERTY BUILDSYSTEM_TARGETS)
    list(APPEND all ${targets})
  endforeach()
  set(${out} ${all} PARENT_SCOPE)
endfunction()

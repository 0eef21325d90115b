# One static library per component, and an include root per component so a
# component can include only what it links.
#
#   murmelo_component(murmelo_net platform/net
#     DEPENDS murmelo_foundation murmelo_runloop     # our components it uses
#     PRIVATE PkgConfig::CURL ZLIB::ZLIB)            # libraries only its sources see
#
# The folder's sources (with its internal/ and sub-folders) make the library.
# Every include of ours is spelled from the repository root
# ("platform/net/URL.h"), but no target sees the repository root: each
# component gets a directory under the build tree that holds one link,
# `<folder>` -> the source folder, and only that directory goes on the
# include path of the component and of what links it. A header of a
# component that is not linked is therefore not found, and a layering
# mistake fails the build instead of passing review.
function(murmelo_component target folder)
  cmake_parse_arguments(ARG "" "" "DEPENDS;PRIVATE;SOURCES" ${ARGN})
  if(ARG_SOURCES)
    set(sources ${ARG_SOURCES})
  else()
    file(GLOB_RECURSE sources CONFIGURE_DEPENDS ${PROJECT_SOURCE_DIR}/${folder}/*.cpp)
  endif()
  add_library(${target} STATIC ${sources})
  murmelo_include_root(${target} ${folder} PUBLIC)
  target_link_libraries(${target} PUBLIC ${ARG_DEPENDS} PRIVATE ${ARG_PRIVATE})
  murmelo_warnings(${target})
endfunction()

# Fails configuration when a `*<suffix>.cpp` program of the current folder has
# no target: a program added without a line naming its links would otherwise
# build without them (or not at all).
function(murmelo_require_listed suffix helper)
  file(GLOB sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/*${suffix}.cpp)
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR} ${CMAKE_CURRENT_SOURCE_DIR})
  foreach(src ${sources})
    get_filename_component(name ${src} NAME_WE)
    if(NOT TARGET ${name})
      message(FATAL_ERROR "${folder}/${name}.cpp has no ${helper}() line in ${folder}/CMakeLists.txt")
    endif()
  endforeach()
endfunction()

# Puts `folder` of the source tree on `target`'s include path under its
# root-relative name, through a link in the build tree.
function(murmelo_include_root target folder scope)
  set(root ${PROJECT_BINARY_DIR}/include/${target})
  get_filename_component(parent ${root}/${folder} DIRECTORY)
  file(MAKE_DIRECTORY ${parent})
  if(NOT EXISTS ${root}/${folder})
    file(CREATE_LINK ${PROJECT_SOURCE_DIR}/${folder} ${root}/${folder} SYMBOLIC)
  endif()
  target_include_directories(${target} ${scope} ${root})
endfunction()

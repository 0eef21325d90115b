# Our own targets build with every warning as an error; third-party headers
# come in as SYSTEM includes so their warnings do not stop us.
function(murmelo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
  # GCC 12 reports a false -Wrestrict overlap inside libstdc++'s
  # `"literal" + std::string&&` once inlined at -O3 (GCC bug 105329, fixed in
  # GCC 13). The warning says nothing about our code there, so GCC 12 goes
  # without it rather than every such concatenation being rewritten.
  if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
    target_compile_options(${target} PRIVATE -Wno-restrict)
  endif()
endfunction()

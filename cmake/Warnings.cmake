# Our own targets build with every warning as an error; third-party headers
# come in as SYSTEM includes so their warnings do not stop us.
function(murmelo_warnings target)
  target_compile_options(${target} PRIVATE -Wall -Wextra -Werror)
endfunction()

# Warnings are set per target, not globally.
function(tq4800_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic)
endfunction()

# Every target of the project compiles with the same strict warnings.
function(shotstamp_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Werror -Wshadow
                                             -Wnon-virtual-dtor -Wcast-align -Wformat=2)
endfunction()

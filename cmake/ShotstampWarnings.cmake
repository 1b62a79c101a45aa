# Every target of the project compiles with the same strict warnings. They become errors with
# SHOTSTAMP_WERROR, which the presets and CI turn on; a plain configure (a packager's build with
# another compiler) only reports them.
option(SHOTSTAMP_WERROR "Treat compiler warnings as errors" OFF)

function(shotstamp_warnings target)
    target_compile_options(${target} PRIVATE -Wall -Wextra -Wpedantic -Wshadow
                                             -Wnon-virtual-dtor -Wcast-align -Wformat=2)
    if(SHOTSTAMP_WERROR)
        target_compile_options(${target} PRIVATE -Werror)
    endif()
endfunction()

# What a target using container_builders.h links: zlib, and Brotli's encoder where it exists
# (Debian libbrotli-dev; the Windows builds have none, and their walkers no Brotli decoder).
find_package(ZLIB REQUIRED)
find_library(SHOTSTAMP_BROTLI_ENCODER brotlienc)
function(shotstamp_container_builders target)
    target_link_libraries(${target} PRIVATE ZLIB::ZLIB)
    if(SHOTSTAMP_BROTLI_ENCODER AND SHOTSTAMP_BROTLI_INCLUDE)
        target_link_libraries(${target} PRIVATE ${SHOTSTAMP_BROTLI_ENCODER})
        target_include_directories(${target} PRIVATE ${SHOTSTAMP_BROTLI_INCLUDE})
        target_compile_definitions(${target} PRIVATE SHOTSTAMP_TEST_BROTLI=1)
    else()
        target_compile_definitions(${target} PRIVATE SHOTSTAMP_TEST_BROTLI=0)
    endif()
endfunction()

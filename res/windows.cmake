# Windows only: the compiled HTML help beside Shotstamp.exe. The .rc itself is compiled into the
# program by app/CMakeLists.txt.
#
# Shotstamp.CHM is made from the pages in res/help/ with chmcmd (Free Pascal's CHM compiler).
# Context 1 names the main topic. chmcmd records a context's topic as the project folder's
# absolute path + the page, while the pages are stored under their relative names; so the pages
# are also staged below a copy of that absolute path, which makes the recorded topic a page that
# exists in the file.
find_program(SHOTSTAMP_CHMCMD chmcmd)
file(GLOB_RECURSE shotstamp_help_files CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/help/*)
# The page shown for help context 1.
set(SHOTSTAMP_HELP_TOPIC shotstamp.html)

if(NOT SHOTSTAMP_CHMCMD)
    message(WARNING "chmcmd not found (Debian package fp-utils): Shotstamp.CHM is not built")
    return()
endif()
if(NOT EXISTS ${CMAKE_CURRENT_SOURCE_DIR}/help/${SHOTSTAMP_HELP_TOPIC})
    message(FATAL_ERROR "res/help/${SHOTSTAMP_HELP_TOPIC} is missing: the help has no main page")
endif()

get_target_property(shotstamp_bin_dir Shotstamp BINARY_DIR)
set(SHOTSTAMP_HELP_CHM ${shotstamp_bin_dir}/Shotstamp.CHM)
add_custom_command(
    OUTPUT ${SHOTSTAMP_HELP_CHM}
    COMMAND ${CMAKE_COMMAND} -DCHMCMD=${SHOTSTAMP_CHMCMD}
            -DHELP_DIR=${CMAKE_CURRENT_SOURCE_DIR}/help -DTOPIC=${SHOTSTAMP_HELP_TOPIC}
            -DSTAGE=${CMAKE_CURRENT_BINARY_DIR}/chm -DOUTPUT=${SHOTSTAMP_HELP_CHM}
            -P ${CMAKE_CURRENT_SOURCE_DIR}/build_chm.cmake
    DEPENDS ${shotstamp_help_files} ${CMAKE_CURRENT_SOURCE_DIR}/build_chm.cmake
    COMMENT "Compiling Shotstamp.CHM"
    VERBATIM)
add_custom_target(shotstamp_help ALL DEPENDS ${SHOTSTAMP_HELP_CHM})
set_target_properties(shotstamp_help PROPERTIES
    HELP_FILE ${SHOTSTAMP_HELP_CHM} HELP_TOPIC ${CMAKE_CURRENT_SOURCE_DIR}/help/${SHOTSTAMP_HELP_TOPIC})
add_dependencies(Shotstamp shotstamp_help)

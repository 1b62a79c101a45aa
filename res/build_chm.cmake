# cmake -DCHMCMD=... -DHELP_DIR=... -DTOPIC=index.html -DSTAGE=... -DOUTPUT=... -P build_chm.cmake
# Stages the help pages, writes the project with context 1 = TOPIC and compiles it.
foreach(var CHMCMD HELP_DIR TOPIC STAGE OUTPUT)
    if(NOT DEFINED ${var})
        message(FATAL_ERROR "build_chm.cmake: ${var} not given")
    endif()
endforeach()

file(REMOVE_RECURSE ${STAGE})
file(MAKE_DIRECTORY ${STAGE})
file(REAL_PATH ${STAGE} stage)
# The absolute stage path without its leading slash: where the recorded topic points.
string(REGEX REPLACE "^/+" "" nested ${stage})

file(GLOB_RECURSE pages RELATIVE ${HELP_DIR} ${HELP_DIR}/*)
list(SORT pages)
set(file_lines "${TOPIC}\n")
foreach(page IN LISTS pages)
    get_filename_component(page_dir ${page} DIRECTORY)
    file(COPY ${HELP_DIR}/${page} DESTINATION ${stage}/${page_dir})
    file(COPY ${HELP_DIR}/${page} DESTINATION ${stage}/${nested}/${page_dir})
    if(NOT page STREQUAL TOPIC)
        string(APPEND file_lines "${page}\n")
    endif()
    string(APPEND nested_lines "${nested}/${page}\n")
endforeach()

file(WRITE ${stage}/shotstamp.hhp
"[OPTIONS]
Compatibility=1.1 or later
Compiled file=Shotstamp.chm
Default topic=${TOPIC}
Display compile progress=No
Language=0x407 German (Germany)
Title=Shotstamp Help

[FILES]
${file_lines}${nested_lines}
[ALIAS]
IDH_SHOTSTAMP=${TOPIC}

[MAP]
#define IDH_SHOTSTAMP 1
")

execute_process(COMMAND ${CHMCMD} --no-html-scan shotstamp.hhp
                WORKING_DIRECTORY ${stage} RESULT_VARIABLE result OUTPUT_VARIABLE log
                ERROR_VARIABLE log)
if(NOT result EQUAL 0 OR NOT EXISTS ${stage}/Shotstamp.chm)
    message(FATAL_ERROR "chmcmd failed:\n${log}")
endif()
file(COPY_FILE ${stage}/Shotstamp.chm ${OUTPUT})

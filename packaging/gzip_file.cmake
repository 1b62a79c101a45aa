# cmake -DINPUT=file -DOUTPUT=file.gz -P gzip_file.cmake
# Compresses one file as Debian wants documentation: best compression, and no original name or
# time stamp in the header, so the same input always gives the same bytes.
find_program(GZIP gzip REQUIRED)
get_filename_component(folder ${OUTPUT} DIRECTORY)
file(MAKE_DIRECTORY ${folder})
execute_process(COMMAND ${GZIP} -9nc ${INPUT} OUTPUT_FILE ${OUTPUT} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
    file(REMOVE ${OUTPUT})
    message(FATAL_ERROR "gzip failed on ${INPUT}: ${result}")
endif()

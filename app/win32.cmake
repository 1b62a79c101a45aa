# Shotstamp.exe: the shared application code, the Win32 back end and the program's resources,
# with the compiled help beside it (res/windows.cmake builds it into the same folder).
if(TARGET shotstamp_app AND TARGET shotstamp_ui_win32)
    add_executable(Shotstamp WIN32 ${CMAKE_CURRENT_LIST_DIR}/main_win32.cpp
                                   ${CMAKE_SOURCE_DIR}/res/shotstamp.rc)
    target_link_libraries(Shotstamp PRIVATE shotstamp_app shotstamp_ui_win32)
    # Files the .rc pulls in, which the resource compiler's dependency scan does not see.
    set_source_files_properties(${CMAKE_SOURCE_DIR}/res/shotstamp.rc PROPERTIES OBJECT_DEPENDS
        "${CMAKE_SOURCE_DIR}/res/shotstamp.manifest;${CMAKE_SOURCE_DIR}/res/shotstamp.ico")
    shotstamp_warnings(Shotstamp)
endif()

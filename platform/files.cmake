# Open, rename without replacing, and "*.jpg" enumeration: Win32 calls on Windows, POSIX elsewhere.
if(WIN32)
    add_library(shotstamp_files STATIC ${CMAKE_CURRENT_LIST_DIR}/win32/files_win32.cpp)
    # The local application data folder, when %LOCALAPPDATA% is not set.
    target_link_libraries(shotstamp_files PUBLIC shell32)
else()
    add_library(shotstamp_files STATIC ${CMAKE_CURRENT_LIST_DIR}/posix/files_posix.cpp)
endif()
target_include_directories(shotstamp_files PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(shotstamp_files PUBLIC shotstamp_text)
shotstamp_warnings(shotstamp_files)

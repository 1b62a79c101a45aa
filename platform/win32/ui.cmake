# The Win32 back end of the window layer (included by platform/ui.cmake on Windows).
add_library(shotstamp_ui_win32 STATIC ${CMAKE_CURRENT_LIST_DIR}/ui_win32.cpp)
target_link_libraries(shotstamp_ui_win32 PUBLIC shotstamp_ui user32)
shotstamp_warnings(shotstamp_ui_win32)

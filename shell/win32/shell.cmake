# ShortcutInstaller over the Windows shell and COM.
add_library(shotstamp_shell STATIC ${CMAKE_CURRENT_LIST_DIR}/shortcut_installer_win32.cpp)
target_include_directories(shotstamp_shell PUBLIC ${CMAKE_SOURCE_DIR})
target_link_libraries(shotstamp_shell PUBLIC shell32 ole32 uuid)
shotstamp_warnings(shotstamp_shell)

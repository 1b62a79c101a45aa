# The window layer: the portable dialog and application base, and its back ends.
#   shotstamp_ui           ui.cpp, no toolkit (always)
#   shotstamp_ui_scripted  in-process back end for unit tests (always)
#   shotstamp_ui_gtk       GTK 3 back end (Linux, SHOTSTAMP_GUI)
#   win32/ui.cmake         the Win32 back end, included on Windows when present
add_library(shotstamp_ui STATIC ${CMAKE_CURRENT_LIST_DIR}/ui.cpp)
target_include_directories(shotstamp_ui PUBLIC ${CMAKE_SOURCE_DIR})
shotstamp_warnings(shotstamp_ui)

if(EXISTS ${CMAKE_CURRENT_LIST_DIR}/scripted/scripted_toolkit.cpp)
    add_library(shotstamp_ui_scripted STATIC ${CMAKE_CURRENT_LIST_DIR}/scripted/scripted_toolkit.cpp)
    target_link_libraries(shotstamp_ui_scripted PUBLIC shotstamp_ui)
    shotstamp_warnings(shotstamp_ui_scripted)
endif()

if(WIN32)
    include(${CMAKE_CURRENT_LIST_DIR}/win32/ui.cmake OPTIONAL)
elseif(SHOTSTAMP_GUI AND EXISTS ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_toolkit.cpp)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(GTK3 REQUIRED IMPORTED_TARGET gtk+-3.0)
    add_library(shotstamp_ui_gtk STATIC ${CMAKE_CURRENT_LIST_DIR}/gtk/gtk_toolkit.cpp)
    target_link_libraries(shotstamp_ui_gtk PUBLIC shotstamp_ui PRIVATE shotstamp_files PkgConfig::GTK3)
    shotstamp_warnings(shotstamp_ui_gtk)
endif()

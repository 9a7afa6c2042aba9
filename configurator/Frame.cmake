add_library(tolvan_configurator_frame STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Icons.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraceFormat.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraceWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/AboutWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TrayIcon.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemTools.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ManualLauncher.cpp
)
target_link_libraries(tolvan_configurator_frame PUBLIC tolvan_common Qt6::Widgets)

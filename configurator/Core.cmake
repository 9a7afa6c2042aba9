# The configurator's core: console client, main window and its frames, settings window,
# settings and service helpers. Links no server library.
add_library(tolvan_configurator_core STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Ask.h ${CMAKE_CURRENT_LIST_DIR}/Ask.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Autostart.h ${CMAKE_CURRENT_LIST_DIR}/Autostart.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ByteText.h
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionList.h ${CMAKE_CURRENT_LIST_DIR}/ConnectionList.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConsoleClient.h ${CMAKE_CURRENT_LIST_DIR}/ConsoleClient.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainWindow.h ${CMAKE_CURRENT_LIST_DIR}/MainWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortCountersFrame.h ${CMAKE_CURRENT_LIST_DIR}/PortCountersFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortSettingsFrame.h ${CMAKE_CURRENT_LIST_DIR}/PortSettingsFrame.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ReportText.h ${CMAKE_CURRENT_LIST_DIR}/ReportText.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SelectAllOnFocus.h ${CMAKE_CURRENT_LIST_DIR}/SelectAllOnFocus.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServerSettings.h ${CMAKE_CURRENT_LIST_DIR}/ServerSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceControl.h ${CMAKE_CURRENT_LIST_DIR}/ServiceControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingField.h ${CMAKE_CURRENT_LIST_DIR}/SettingField.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsWindow.h ${CMAKE_CURRENT_LIST_DIR}/SettingsWindow.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.h ${CMAKE_CURRENT_LIST_DIR}/SingleInstance.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupStyle.h ${CMAKE_CURRENT_LIST_DIR}/StartupStyle.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StatusLine.h ${CMAKE_CURRENT_LIST_DIR}/StatusLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StoredOnlySettings.h ${CMAKE_CURRENT_LIST_DIR}/StoredOnlySettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowFrame.h ${CMAKE_CURRENT_LIST_DIR}/WindowFrame.cpp
)
target_link_libraries(tolvan_configurator_core PUBLIC
    tolvan_common tolvan_configurator_frame tolvan_console_protocol tolvan_settings_store
    Qt6::Widgets Qt6::Network)

qt_add_executable(TolvanServerConfig ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(TolvanServerConfig PRIVATE tolvan_common tolvan_configurator_core)

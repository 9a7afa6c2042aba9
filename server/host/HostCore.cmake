# tolvan_host: clock, event log, store access, port record (plain C++).
if(NOT TARGET PkgConfig::SYSTEMD)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
endif()

add_library(tolvan_host STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Clock.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Conversions.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Counters.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DateTime.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventLog.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventLogSinks.cpp
    ${CMAKE_CURRENT_LIST_DIR}/EventSource.cpp
    ${CMAKE_CURRENT_LIST_DIR}/LogFile.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortSettings.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceSettings.cpp)
target_link_libraries(tolvan_host PUBLIC tolvan_common tolvan_settings_store PRIVATE PkgConfig::SYSTEMD)
set_target_properties(tolvan_host PROPERTIES AUTOMOC OFF)

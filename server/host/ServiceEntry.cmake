# tolvan_service: command line, installer, systemd host, start-up and stop; TolvanServer wires it.
if(NOT TARGET PkgConfig::SYSTEMD)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(SYSTEMD REQUIRED IMPORTED_TARGET libsystemd)
endif()

# The parts that need no bridge: command line, installer, systemd host, device paths.
add_library(tolvan_service_base STATIC
    ${CMAKE_CURRENT_LIST_DIR}/CommandLine.cpp
    ${CMAKE_CURRENT_LIST_DIR}/DevicePaths.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceHost.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ServiceInstaller.cpp)
target_link_libraries(tolvan_service_base
    PUBLIC tolvan_common tolvan_host tolvan_settings_store Qt6::Core
    PRIVATE PkgConfig::SYSTEMD)

add_library(tolvan_service STATIC
    ${CMAKE_CURRENT_LIST_DIR}/ServerApp.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartUp.cpp)
target_link_libraries(tolvan_service
    PUBLIC tolvan_common tolvan_service_base tolvan_bridge tolvan_console tolvan_serial_termios
           tolvan_socket_qt Qt6::Core Qt6::Network)

qt_add_executable(TolvanServer ${CMAKE_CURRENT_LIST_DIR}/main.cpp)
target_link_libraries(TolvanServer PRIVATE tolvan_common tolvan_service)

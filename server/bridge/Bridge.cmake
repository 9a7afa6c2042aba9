# tolvan_bridge: the bridge logic, plain C++ written against the serial device and socket
# interfaces, the clock and the event log.
add_library(tolvan_bridge STATIC
    ${CMAKE_CURRENT_LIST_DIR}/BridgeEvents.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ClientMode.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Connections.cpp
    ${CMAKE_CURRENT_LIST_DIR}/Forwarding.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PasswordGate.cpp
    ${CMAKE_CURRENT_LIST_DIR}/PortControl.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SupervisionTimer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TelnetParser.cpp)
target_link_libraries(tolvan_bridge PUBLIC tolvan_common tolvan_host)
set_target_properties(tolvan_bridge PROPERTIES AUTOMOC OFF)

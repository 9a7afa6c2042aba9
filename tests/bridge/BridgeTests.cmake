# Tests of the bridge logic, on fake devices, sockets and clock.
tolvan_add_test(tolvan_bridge_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ClientModeTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ConnectionsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PasswordGateTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/PortControlTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/SupervisionTimerTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/TelnetTest.cpp
    LIBS tolvan_bridge tolvan_test_support)

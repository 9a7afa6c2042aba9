# Tests of the bridge logic, on fake devices, sockets and clock.
tolvan_add_test(tolvan_bridge_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/ConnectionsTest.cpp
    LIBS tolvan_bridge tolvan_test_support)

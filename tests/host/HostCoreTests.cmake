# Tests of the host core.
tolvan_add_test(tolvan_host_core_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/PortSettingsTests.cpp
        ${CMAKE_CURRENT_LIST_DIR}/EventLogTests.cpp
    LIBS tolvan_host tolvan_test_support)

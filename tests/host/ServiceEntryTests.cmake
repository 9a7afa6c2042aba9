# Tests of the service entry.
tolvan_add_test(tolvan_service_base_tests
    SOURCES
        ${CMAKE_CURRENT_LIST_DIR}/CommandLineTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/DevicePathsTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ServiceHostTest.cpp
        ${CMAKE_CURRENT_LIST_DIR}/ServiceInstallerTest.cpp
    LIBS tolvan_service_base tolvan_test_support)

tolvan_add_test(tolvan_service_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/StartUpTest.cpp
    LIBS tolvan_service tolvan_test_support)

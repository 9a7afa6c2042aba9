# The configurator's real main window against the real server. Read at the end of tests/, once
# tests/e2e has defined the harness.
tolvan_add_e2e_test(configurator_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConfiguratorE2eTest.cpp
    LIBS tolvan_configurator_core Qt6::Test)

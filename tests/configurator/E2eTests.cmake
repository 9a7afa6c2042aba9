# The configurator's real main window against the real server. Read at the end of tests/, once
# tests/e2e has defined the harness.
tolvan_add_e2e_test(configurator_e2e_tests
    SOURCES ${CMAKE_CURRENT_LIST_DIR}/ConfiguratorE2eTest.cpp
    LIBS tolvan_configurator_core Qt6::Test)

# Not a test: the windows against a real server, drawn into PNG files (run under Xvfb with a
# tray host).
add_executable(configurator_live_screenshots ${CMAKE_CURRENT_LIST_DIR}/LiveScreenshots.cpp)
target_link_libraries(configurator_live_screenshots PRIVATE
    tolvan_common tolvan_e2e_harness tolvan_configurator_core Qt6::Test)
set_target_properties(configurator_live_screenshots PROPERTIES AUTOMOC OFF)

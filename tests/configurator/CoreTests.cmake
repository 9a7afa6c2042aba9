# Tests of the configurator core: the real windows on the offscreen platform against a
# scripted console peer, plus the settings, autostart and command helpers.
add_executable(configurator_core_tests
    ${CMAKE_CURRENT_LIST_DIR}/WidgetTestMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConfiguratorFixture.h
    ${CMAKE_CURRENT_LIST_DIR}/ConsolePeer.h ${CMAKE_CURRENT_LIST_DIR}/ConsolePeer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConnectionListTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/ConsoleClientTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/MainWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SettingsWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/StartupTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/WindowFrameTest.cpp
)
target_link_libraries(configurator_core_tests PRIVATE
    tolvan_common tolvan_configurator_core Qt6::Test GTest::gtest)
gtest_discover_tests(configurator_core_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

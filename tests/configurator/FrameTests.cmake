# Tests of the configurator frame pieces: trace window, About, tray, system tools, manual.
include(${PROJECT_SOURCE_DIR}/docs/ManualLocation.cmake)

add_executable(tolvan_configurator_frame_tests
    ${CMAKE_CURRENT_LIST_DIR}/WidgetTestMain.cpp
    ${CMAKE_CURRENT_LIST_DIR}/TraceWindowTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/FrameWindowsTest.cpp
    ${CMAKE_CURRENT_LIST_DIR}/SystemToolsTest.cpp)
target_link_libraries(tolvan_configurator_frame_tests PRIVATE
    tolvan_common tolvan_configurator_frame Qt6::Test GTest::gtest)
gtest_discover_tests(tolvan_configurator_frame_tests
    DISCOVERY_TIMEOUT 60
    PROPERTIES TIMEOUT 120 ENVIRONMENT "QT_QPA_PLATFORM=offscreen")

# Checks the built manual; tolvan_manual (docs/) builds it and fails on a broken layout.
tolvan_manual_pdf_path(tolvan_manual_pdf)
tolvan_add_test(tolvan_manual_tests SOURCES ${CMAKE_CURRENT_LIST_DIR}/ManualPdfTest.cpp
    LIBS Qt6::Core)
target_compile_definitions(tolvan_manual_tests PRIVATE TOLVAN_MANUAL_PDF="${tolvan_manual_pdf}")

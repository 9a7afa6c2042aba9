add_library(tolvan_configurator_frame STATIC
    ${CMAKE_CURRENT_LIST_DIR}/Icons.cpp
)
target_link_libraries(tolvan_configurator_frame PUBLIC tolvan_common Qt6::Widgets)

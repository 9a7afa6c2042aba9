# One INTERFACE target carries the language level, warnings, sanitizers and Qt defines;
# every target of the project links it.
add_library(tolvan_common INTERFACE)
target_compile_features(tolvan_common INTERFACE cxx_std_20)
target_compile_options(tolvan_common INTERFACE -Wall -Wextra -Wpedantic)
target_compile_definitions(tolvan_common INTERFACE
    QT_NO_CAST_FROM_ASCII
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT
    QT_NO_KEYWORDS
    TOLVAN_VERSION_MAJOR=${PROJECT_VERSION_MAJOR}
    TOLVAN_VERSION_MINOR=${PROJECT_VERSION_MINOR}
    TOLVAN_VERSION_REVISION=${PROJECT_VERSION_PATCH})
target_include_directories(tolvan_common INTERFACE ${PROJECT_SOURCE_DIR})
if(TOLVAN_WERROR)
    target_compile_options(tolvan_common INTERFACE -Werror)
endif()
if(TOLVAN_SANITIZE)
    target_compile_options(tolvan_common INTERFACE
        -fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
    target_link_options(tolvan_common INTERFACE -fsanitize=address,undefined)
endif()

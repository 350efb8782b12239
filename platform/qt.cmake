# platform/qt: the Qt 6 Widgets backend of the UI API in platform/ui, with the UI test harness.
# The only part of the code base that includes Qt. Shared, like zelmo_platform, so that the
# console and the plug-in libraries that contribute pages use one set of windows and hooks.
find_package(Qt6 REQUIRED COMPONENTS Widgets)
zelmo_library(zelmo_qt SHARED
    SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/qt/forms.cpp ${CMAKE_CURRENT_SOURCE_DIR}/qt/sheet.cpp
            ${CMAKE_CURRENT_SOURCE_DIR}/qt/harness.cpp
    PUBLIC_DEPS zelmo_platform
    DEPS Qt6::Widgets)

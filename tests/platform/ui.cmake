# Tests of the UI layer: the Qt backend through the toolkit-neutral API, and the test harness.
zelmo_test(platform_ui_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/qt/ui_test.cpp LIBS zelmo_qt)
find_package(Qt6 REQUIRED COMPONENTS Widgets)
zelmo_test(platform_qt_backend_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/qt/qt_backend_test.cpp
           LIBS zelmo_qt Qt6::Widgets)

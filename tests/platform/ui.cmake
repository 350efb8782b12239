# Tests of the UI layer: the Qt backend through the toolkit-neutral API, and the test harness.
zelmo_test(platform_ui_test SOURCES ${CMAKE_CURRENT_SOURCE_DIR}/qt/ui_test.cpp LIBS zelmo_qt)

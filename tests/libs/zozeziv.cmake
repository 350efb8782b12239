# Test data of the support library's tests (GSM 7-bit vectors, a small operator database).
foreach(test libs_zozeziv_gsm7_test libs_zozeziv_operators_test)
    if(TARGET ${test})
        target_compile_definitions(${test} PRIVATE
                                   ZOZEZIV_TEST_DATA="${CMAKE_CURRENT_LIST_DIR}/data")
    endif()
endforeach()

# libFuzzer targets of the message files and the credit files:
#   build-fuzz/fuzz/fuzz_queued_message, build-fuzz/fuzz/fuzz_credit_file
zelmo_fuzzer(fuzz_queued_message SOURCES ${CMAKE_CURRENT_LIST_DIR}/queued_message_fuzz.cpp
             LIBS zelmo_viewers)
zelmo_fuzzer(fuzz_credit_file SOURCES ${CMAKE_CURRENT_LIST_DIR}/credit_file_fuzz.cpp
             LIBS zelmo_users)

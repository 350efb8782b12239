# The support library's parsers: user file images, GSM 7-bit text, the operator database.
zelmo_fuzzer(fuzz_zozeziv SOURCES ${CMAKE_CURRENT_LIST_DIR}/zozeziv_fuzz.cpp LIBS zozeziv)

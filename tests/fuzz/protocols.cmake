# libFuzzer targets of the protocol clients' response parsers (SMPP PDU, UCP frame, CIMD2 packet):
#   cmake --preset fuzz && cmake --build --preset fuzz --target fuzz_smpp_pdu
#   build-fuzz/fuzz/fuzz_smpp_pdu -max_total_time=60
zelmo_fuzzer(fuzz_smpp_pdu SOURCES ${CMAKE_CURRENT_LIST_DIR}/smpp_pdu_fuzz.cpp LIBS rovivez_pdu)
zelmo_fuzzer(fuzz_ucp_frame SOURCES ${CMAKE_CURRENT_LIST_DIR}/ucp_frame_fuzz.cpp LIBS rirera_frame)
zelmo_fuzzer(fuzz_cimd_packet SOURCES ${CMAKE_CURRENT_LIST_DIR}/cimd_packet_fuzz.cpp
             LIBS videder_packet)

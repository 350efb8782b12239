# The protocol client libraries (SMPP, UCP/EMI, CIMD2) and the TLS library, tested against peers
# on loopback. The peers are the node scripts of tools/protocol-peers, openssl s_server and the
# packaged CIMD2 test server; tests whose peer is missing skip with the reason.
find_package(OpenSSL 3 REQUIRED)
add_library(zelmo_protocol_testpeers STATIC protocol_peer.cpp)
target_link_libraries(zelmo_protocol_testpeers PUBLIC zelmo_testmain)
target_compile_definitions(zelmo_protocol_testpeers PRIVATE ZELMO_SOURCE_DIR="${CMAKE_SOURCE_DIR}")

zelmo_test(libs_smpp_login SOURCES smpp_login.cpp
           LIBS rovivez deveri zozeziv zelmo_protocol_testpeers)
zelmo_test(libs_ucp_login SOURCES ucp_login.cpp LIBS rirera zelmo_protocol_testpeers)
zelmo_test(libs_cimd_login SOURCES cimd_login.cpp LIBS videder zelmo_protocol_testpeers)
zelmo_test(libs_tls_session SOURCES tls_session.cpp
           LIBS deveri zozeziv zelmo_protocol_testpeers OpenSSL::SSL OpenSSL::Crypto)
zelmo_test(libs_protocol_frames SOURCES protocol_frames.cpp
           LIBS rovivez_pdu rirera_frame videder_packet)
zelmo_test(libs_protocol_dissectors SOURCES protocol_dissectors.cpp
           LIBS rovivez rirera videder zozeziv zelmo_protocol_testpeers)

// libFuzzer target: the SMPP client's PDU cutter and response parsers on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "libs/rovivez/smpp_pdu.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string buffer(reinterpret_cast<const char*>(data), size);
    rovivez::Pdu pdu;
    while (rovivez::CutPdu(buffer, &pdu) == rovivez::Cut::kFrame) {
        rovivez::BindResponse response;
        rovivez::ParseBindResponse(pdu.body, &response);
        rovivez::Describe(pdu);
    }
    return 0;
}

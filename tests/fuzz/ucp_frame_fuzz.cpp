// libFuzzer target: the UCP/EMI client's frame cutter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "libs/rirera/ucp_frame.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string buffer(reinterpret_cast<const char*>(data), size);
    for (;;) {
        rirera::Frame frame;
        rirera::Cut cut = rirera::CutFrame(buffer, &frame);
        if (cut != rirera::Cut::kFrame && cut != rirera::Cut::kMalformed) {
            break;
        }
        if (cut == rirera::Cut::kFrame) {
            rirera::Describe(frame);
        }
    }
    return 0;
}

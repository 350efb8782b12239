// Fuzzes the message-file reader and the text conversions the viewers apply to what it gives:
// any bytes must give a record within the field limits and well-formed display text.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "viewers/message_file.h"

namespace {

bool WellFormedUtf8(const std::string& s) {
    std::size_t i = 0;
    while (i < s.size()) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = c < 0x80         ? 1
                        : (c >> 5) == 6  ? 2
                        : (c >> 4) == 14 ? 3
                        : (c >> 3) == 30 ? 4
                                         : 0;
        if (n == 0 || i + n > s.size()) {
            return false;
        }
        for (std::size_t k = 1; k < n; ++k) {
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80) {
                return false;
            }
        }
        i += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    viewers::QueuedMessage m = viewers::ParseQueuedMessageText(text);
    if (m.recipient.size() > viewers::kMaxRecipient || m.text.size() > viewers::kMaxText ||
        m.udh.size() > viewers::kMaxUdh || m.lastErrorInfo.size() > viewers::kMaxLastErrorInfo) {
        __builtin_trap();
    }
    // The bytes themselves as a message text, both as hexadecimal data and as 8-bit text.
    m.text.assign(text.substr(0, viewers::kMaxText));
    m.binary = 1;
    m.dcs = 0x08;
    std::string shown = viewers::MessageDisplayText(m, nullptr, 700);
    if (shown.size() >= 700 || !WellFormedUtf8(shown)) {
        __builtin_trap();
    }
    m.binary = 0;
    shown = viewers::MessageDisplayText(m, nullptr, viewers::kDisplayTextCapacity);
    if (shown.size() >= viewers::kDisplayTextCapacity || !WellFormedUtf8(shown)) {
        __builtin_trap();
    }
    if (viewers::HexUcs2ToUtf8(text).size() > text.size()) {
        __builtin_trap();
    }
    viewers::ParseStamp14(text);
    return 0;
}

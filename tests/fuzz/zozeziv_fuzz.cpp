// Fuzzes the support library's parsers: any bytes must read as a user file image (and what is
// read must write back to an image that reads the same), decode as GSM 7-bit text within its
// size bound, and parse or fail as an operator database.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "libs/zozeziv/gsm7.h"
#include "libs/zozeziv/operators.h"
#include "libs/zozeziv/user_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view bytes(reinterpret_cast<const char*>(data), size);

    zozeziv::UserFileImage image = zozeziv::ParseUserFile(bytes);
    if (image.state != zozeziv::UserFileState::kForeign) {
        std::string again = zozeziv::SerializeUserFile(image.records, image.serial);
        zozeziv::UserFileImage back = zozeziv::ParseUserFile(again);
        if (back.state != zozeziv::UserFileState::kOk ||
            back.records.size() != image.records.size() ||
            (!back.records.empty() && std::memcmp(back.records.data(), image.records.data(),
                                                  back.records.size() * sizeof(UserRecord)))) {
            __builtin_trap();
        }
    }

    std::size_t split = size ? data[0] % (size + 1) : 0;
    std::string utf8 = zozeziv::Gsm7HexToUtf8(bytes.substr(0, split), bytes.substr(split));
    // At most 3 bytes per septet, and at most 8 septets per 7 octets (2 digits each).
    if (utf8.size() > 3 * ((size / 2) * 8 / 7 + 1)) {
        __builtin_trap();
    }

    std::vector<zozeziv::OperatorSettings> list;
    zozeziv::ParseOperatorSettings(bytes, &list);
    return 0;
}

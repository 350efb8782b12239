// Fuzzes the profile-string parser: any bytes must parse, answer reads, take a batch and serialize.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/ini.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    platform::IniParseAndRead(text, "ZIZOD", "Modem1");
    platform::IniBatch batch;
    batch.Set("ZIZOD", "Modem1", "COM1:");
    batch.DeleteKey("SMPP", "AddressRange");
    batch.DeleteSection("COM1-");
    batch.Set("New", "Key", "v");
    std::string out = platform::IniParseApplySerialize(text, batch);
    // What we write must read back as written.
    auto v = platform::IniParseAndRead(out, "zizod", "MODEM1");
    if (!v || *v != "COM1:") {
        __builtin_trap();
    }
    return 0;
}

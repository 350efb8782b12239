// libFuzzer target: the CIMD2 client's packet cutter on arbitrary bytes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "libs/videder/cimd_packet.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string buffer(reinterpret_cast<const char*>(data), size);
    for (;;) {
        videder::Packet packet;
        videder::Cut cut = videder::CutPacket(buffer, &packet);
        if (cut != videder::Cut::kFrame && cut != videder::Cut::kMalformed) {
            break;
        }
        if (cut == videder::Cut::kFrame) {
            videder::Describe(packet);
            packet.Find(900);
        }
    }
    return 0;
}

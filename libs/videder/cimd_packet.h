// CIMD2 packets as the client needs them: building login (01) and logout (02), and cutting received
// bytes into packets with their checksum checked.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace videder {

constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr char kTab = '\t';
constexpr size_t kMaxPacket = 8192;  // longer packets are refused as over-long

// The checksum of a packet: the sum of its bytes from STX up to and including the TAB before the
// checksum, modulo 256, as two upper-case hex digits.
std::string Checksum(std::string_view text);

// A packet "<STX>OO:NNN<TAB>PPP:value<TAB>...CC<ETX>" with the checksum filled in.
std::string BuildPacket(int operation, int number,
                        const std::vector<std::pair<int, std::string>>& parameters);
std::string BuildLogin(int number, std::string_view user, std::string_view password);
std::string BuildLogout(int number);

struct Packet {
    int operation = -1;
    int number = -1;
    std::vector<std::pair<int, std::string>> parameters;
    bool hasChecksum = false;  // the checksum is optional in CIMD2
    bool checksumOk = true;
    std::string raw;  // STX to ETX

    const std::string* Find(int code) const;
};

enum class Cut { kNeedMore, kFrame, kGarbage, kTooLong, kMalformed };

// Looks at the start of `buffer`: a complete packet (taken out into `packet`), more bytes needed,
// bytes before an STX (kGarbage), no ETX within kMaxPacket (kTooLong), or a packet whose header or
// parameters are not well formed (kMalformed; taken out). A wrong checksum is reported in the
// packet.
Cut CutPacket(std::string& buffer, Packet* packet);

// One line describing a packet, with the password (parameter 011) masked.
std::string Describe(const Packet& packet);

}  // namespace videder

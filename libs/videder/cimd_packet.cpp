// CIMD2 packets (see cimd_packet.h).
#include "libs/videder/cimd_packet.h"

#include <cctype>
#include <cstdio>

namespace videder {

namespace {

bool Digits(std::string_view s, size_t n) {
    if (s.size() != n) {
        return false;
    }
    for (char c : s) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

bool HexDigit(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

}  // namespace

const std::string* Packet::Find(int code) const {
    for (const auto& p : parameters) {
        if (p.first == code) {
            return &p.second;
        }
    }
    return nullptr;
}

std::string Checksum(std::string_view text) {
    unsigned sum = 0;
    for (unsigned char c : text) {
        sum += c;
    }
    char out[4];
    std::snprintf(out, sizeof out, "%02X", sum & 0xFF);
    return out;
}

std::string BuildPacket(int operation, int number,
                        const std::vector<std::pair<int, std::string>>& parameters) {
    char header[16];
    std::snprintf(header, sizeof header, "%02d:%03d", operation % 100, number % 1000);
    std::string text = std::string(1, kStx) + header + kTab;
    for (const auto& [code, value] : parameters) {
        char name[8];
        std::snprintf(name, sizeof name, "%03d:", code % 1000);
        text += name + value + kTab;
    }
    return text + Checksum(text) + kEtx;
}

std::string BuildLogin(int number, std::string_view user, std::string_view password) {
    return BuildPacket(1, number, {{10, std::string(user)}, {11, std::string(password)}});
}

std::string BuildLogout(int number) {
    return BuildPacket(2, number, {});
}

Cut CutPacket(std::string& buffer, Packet* packet) {
    size_t skip = 0;
    while (skip < buffer.size() && (buffer[skip] == '\r' || buffer[skip] == '\n')) {
        ++skip;
    }
    buffer.erase(0, skip);
    if (buffer.empty()) {
        return Cut::kNeedMore;
    }
    if (buffer[0] != kStx) {
        return Cut::kGarbage;
    }
    size_t etx = buffer.find(kEtx);
    if (etx == std::string::npos) {
        return buffer.size() > kMaxPacket ? Cut::kTooLong : Cut::kNeedMore;
    }
    if (etx + 1 > kMaxPacket) {
        return Cut::kTooLong;
    }
    *packet = Packet{};
    packet->raw = buffer.substr(0, etx + 1);
    buffer.erase(0, etx + 1);
    std::string_view text(packet->raw);
    text.remove_prefix(1);
    text.remove_suffix(1);  // between STX and ETX
    if (text.find(kStx) != std::string_view::npos || text.size() < 7 || text[2] != ':' ||
        !Digits(text.substr(0, 2), 2) || !Digits(text.substr(3, 3), 3) || text[6] != kTab) {
        return Cut::kMalformed;
    }
    packet->operation = std::stoi(std::string(text.substr(0, 2)));
    packet->number = std::stoi(std::string(text.substr(3, 3)));
    size_t pos = 7;
    while (pos < text.size()) {
        size_t tab = text.find(kTab, pos);
        if (tab == std::string_view::npos) {
            // The rest is the checksum: two hex digits.
            std::string_view sum = text.substr(pos);
            if (sum.size() != 2 || !HexDigit(sum[0]) || !HexDigit(sum[1])) {
                return Cut::kMalformed;
            }
            packet->hasChecksum = true;
            std::string expected = Checksum(std::string_view(packet->raw).substr(0, pos + 1));
            packet->checksumOk = expected[0] == std::toupper(static_cast<unsigned char>(sum[0])) &&
                                 expected[1] == std::toupper(static_cast<unsigned char>(sum[1]));
            break;
        }
        std::string_view parameter = text.substr(pos, tab - pos);
        if (parameter.size() < 4 || parameter[3] != ':' || !Digits(parameter.substr(0, 3), 3)) {
            return Cut::kMalformed;
        }
        packet->parameters.emplace_back(std::stoi(std::string(parameter.substr(0, 3))),
                                        std::string(parameter.substr(4)));
        pos = tab + 1;
    }
    return Cut::kFrame;
}

std::string Describe(const Packet& p) {
    char head[48];
    std::snprintf(head, sizeof head, "operation %02d packet %03d", p.operation, p.number);
    std::string line = head;
    for (const auto& [code, value] : p.parameters) {
        char name[8];
        std::snprintf(name, sizeof name, " %03d=", code);
        line += name;
        line += "\"" + (code == 11 ? std::string(value.size(), '*') : value) + "\"";
    }
    if (!p.hasChecksum) {
        line += " (no checksum)";
    } else if (!p.checksumOk) {
        line += " (wrong checksum)";
    }
    return line;
}

}  // namespace videder

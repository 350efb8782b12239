// Scrambling and unscrambling of stored passwords.
#include "users/scrambler.h"

#include <cstdint>

namespace users {
namespace {

uint8_t Swap(uint8_t x) {
    return static_cast<uint8_t>((x << 4) | (x >> 4));
}

uint8_t KeyByte(std::string_view key, std::size_t i) {
    return static_cast<uint8_t>(key[i % key.size()]);
}

}  // namespace

std::string Scramble(std::string_view plain, std::string_view key) {
    plain = plain.substr(0, plain.find('\0'));
    plain = plain.substr(0, kMaxScrambledBytes);
    if (key.empty() || plain.empty()) {
        return {};
    }
    std::string out;
    out.reserve(plain.size() * 2);
    for (std::size_t i = 0; i < plain.size(); ++i) {
        uint8_t b = static_cast<uint8_t>(static_cast<uint8_t>(plain[i]) ^ KeyByte(key, i));
        b = static_cast<uint8_t>(b - Swap(KeyByte(key, i + 2)));
        out.push_back(static_cast<char>('A' + (b >> 4)));
        out.push_back(static_cast<char>('K' + (b & 15)));
    }
    return out;
}

std::string Unscramble(std::string_view text, std::string_view key) {
    text = text.substr(0, text.find('\0'));
    if (key.empty() || text.empty()) {
        return {};
    }
    std::string out;
    for (std::size_t i = 0; i * 2 < text.size() && i < kMaxScrambledBytes; ++i) {
        char high = text[2 * i];
        uint8_t b = (high >= 'A' && high <= 'P') ? static_cast<uint8_t>((high - 'A') * 16) : 0;
        if (2 * i + 1 < text.size()) {
            char low = text[2 * i + 1];
            if (low >= 'K' && low <= 'Z') {
                b = static_cast<uint8_t>(b + (low - 'K'));
            }
        }
        b = static_cast<uint8_t>(b + Swap(KeyByte(key, i + 2)));
        b = static_cast<uint8_t>(b ^ KeyByte(key, i));
        if (b == 0) {
            break;
        }
        out.push_back(static_cast<char>(b));
    }
    return out;
}

}  // namespace users

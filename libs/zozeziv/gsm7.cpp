// GSM 7-bit default alphabet and extension table to UTF-8, for the message viewers.
#include "libs/zozeziv/gsm7.h"

#include <cstdint>
#include <cstring>
#include <vector>

#include "libs/zozeziv/zozeziv.h"

namespace zozeziv {

namespace {

// The default alphabet, code by code (0x1B, the escape, shows as a blank when it stands alone).
// clang-format off
constexpr char16_t kDefault[128] = {
    u'@',      u'\u00A3', u'$',      u'\u00A5', u'\u00E8', u'\u00E9', u'\u00F9', u'\u00EC',  // 0x00
    u'\u00F2', u'\u00C7', u'\n',     u'\u00D8', u'\u00F8', u'\r',     u'\u00C5', u'\u00E5',  // 0x08
    u'\u0394', u'_',      u'\u03A6', u'\u0393', u'\u039B', u'\u03A9', u'\u03A0', u'\u03A8',  // 0x10
    u'\u03A3', u'\u0398', u'\u039E', u' ',      u'\u00C6', u'\u00E6', u'\u00DF', u'\u00C9',  // 0x18
    u' ',      u'!',      u'"',      u'#',      u'\u00A4', u'%',      u'&',      u'\'',      // 0x20
    u'(',      u')',      u'*',      u'+',      u',',      u'-',      u'.',      u'/',       // 0x28
    u'0',      u'1',      u'2',      u'3',      u'4',      u'5',      u'6',      u'7',       // 0x30
    u'8',      u'9',      u':',      u';',      u'<',      u'=',      u'>',      u'?',       // 0x38
    u'\u00A1', u'A',      u'B',      u'C',      u'D',      u'E',      u'F',      u'G',       // 0x40
    u'H',      u'I',      u'J',      u'K',      u'L',      u'M',      u'N',      u'O',       // 0x48
    u'P',      u'Q',      u'R',      u'S',      u'T',      u'U',      u'V',      u'W',       // 0x50
    u'X',      u'Y',      u'Z',      u'\u00C4', u'\u00D6', u'\u00D1', u'\u00DC', u'\u00A7',  // 0x58
    u'\u00BF', u'a',      u'b',      u'c',      u'd',      u'e',      u'f',      u'g',       // 0x60
    u'h',      u'i',      u'j',      u'k',      u'l',      u'm',      u'n',      u'o',       // 0x68
    u'p',      u'q',      u'r',      u's',      u't',      u'u',      u'v',      u'w',       // 0x70
    u'x',      u'y',      u'z',      u'\u00E4', u'\u00F6', u'\u00F1', u'\u00FC', u'\u00E0',  // 0x78
};
// clang-format on

constexpr int kEscape = 0x1B;

// The extension table: 0 where it holds nothing.
char16_t Extension(int code) {
    switch (code) {
        case 0x0A:
            return u'\f';
        case 0x14:
            return u'^';
        case 0x28:
            return u'{';
        case 0x29:
            return u'}';
        case 0x2F:
            return u'\\';
        case 0x3C:
            return u'[';
        case 0x3D:
            return u'~';
        case 0x3E:
            return u']';
        case 0x40:
            return u'|';
        case 0x65:
            return u'\u20AC';
        default:
            return 0;
    }
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

std::vector<std::uint8_t> HexOctets(std::string_view hex) {
    std::vector<std::uint8_t> out;
    out.reserve(hex.size() / 2);
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        int hi = HexDigit(hex[i]);
        int lo = HexDigit(hex[i + 1]);
        if (hi < 0 || lo < 0) {
            break;
        }
        out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
    }
    return out;
}

void AppendUtf8(std::string& out, char16_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | c >> 6));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xE0 | c >> 12));
        out.push_back(static_cast<char>(0x80 | (c >> 6 & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

}  // namespace

int Gsm7FillBits(std::string_view udhHex) {
    std::vector<std::uint8_t> udh = HexOctets(udhHex);
    if (udh.empty()) {
        return 0;
    }
    std::size_t octets = udh[0] == udh.size() - 1 ? udh.size() : udh.size() + 1;
    return static_cast<int>((7 - (octets * 8) % 7) % 7);
}

std::string Gsm7HexToUtf8(std::string_view udhHex, std::string_view dataHex) {
    std::vector<std::uint8_t> data = HexOctets(dataHex);
    std::size_t fill = static_cast<std::size_t>(Gsm7FillBits(udhHex));
    std::size_t bits = data.size() * 8;
    if (bits <= fill) {
        return {};
    }
    bits -= fill;
    std::size_t count = bits / 7;
    auto septet = [&](std::size_t i) {
        std::size_t bit = fill + 7 * i;
        unsigned v = data[bit / 8];
        if (bit / 8 + 1 < data.size()) {
            v |= unsigned{data[bit / 8 + 1]} << 8;
        }
        return static_cast<int>(v >> (bit % 8) & 0x7F);
    };
    if (count > 0 && bits % 7 == 0 && septet(count - 1) == 0) {
        --count;  // the seven spare bits of the last octet
    }
    std::string out;
    out.reserve(count + count / 2);
    for (std::size_t i = 0; i < count; ++i) {
        int code = septet(i);
        if (code != kEscape) {
            AppendUtf8(out, kDefault[code]);
            continue;
        }
        if (i + 1 >= count) {
            out.push_back(' ');
            break;
        }
        int next = septet(++i);
        if (next == kEscape) {
            out.push_back(' ');
        } else if (char16_t ext = Extension(next)) {
            AppendUtf8(out, ext);
        } else {
            AppendUtf8(out, kDefault[next]);
        }
    }
    return out;
}

std::size_t Utf8PrefixLength(std::string_view text, std::size_t max) {
    if (text.size() <= max) {
        return text.size();
    }
    std::size_t n = max;
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) {
        --n;
    }
    return n;
}

}  // namespace zozeziv

extern "C" {

void GSM7ToUTF8StringN(const char* udh, const char* text, char* output, unsigned size) {
    if (!output || size == 0) {
        return;
    }
    std::string utf8 = zozeziv::Gsm7HexToUtf8(udh ? udh : "", text ? text : "");
    std::size_t n = zozeziv::Utf8PrefixLength(utf8, size - 1);
    std::memcpy(output, utf8.data(), n);
    output[n] = '\0';
}

void GSM7ToUTF8String(const char* udh, const char* text, char* output) {
    if (!output) {
        return;
    }
    std::size_t room = text ? std::strlen(text) : 0;
    GSM7ToUTF8StringN(udh, text, output, static_cast<unsigned>(room + 1));
}

}  // extern "C"

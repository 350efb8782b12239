// GSM 7-bit text (the default alphabet with its extension table) as it is stored in message files:
// hexadecimal septets packed as in an SMS's user data, after an optional user data header.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zozeziv {

// Fill bits before the first septet for a user data header given in hexadecimal, with or without
// its length octet (when the first octet equals the number of octets after it, it is the length
// octet; otherwise one is counted for it). Reading stops at the first non-hexadecimal character.
int Gsm7FillBits(std::string_view udhHex);

// Decodes the packed septets of `dataHex` (reading stops at the first non-hexadecimal character;
// a lone last digit is ignored) to UTF-8. A last septet of 0 that exactly fills the seven spare
// bits of the last octet is padding, not "@". An escape followed by a code the extension table
// does not hold gives the default character of that code; a trailing escape, or two escapes,
// give a blank.
std::string Gsm7HexToUtf8(std::string_view udhHex, std::string_view dataHex);

// The longest prefix of UTF-8 `text` of at most `max` bytes that does not split a character.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t max);

}  // namespace zozeziv

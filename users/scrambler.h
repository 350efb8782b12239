// The password scrambler of the older configuration form: the web password kept in ZIZOD.INI
// (`WebPass`) and the challenge password of the certificate request are stored scrambled with a
// fixed key, as capital letters only, so that the INI file never holds them in plain text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace users {

// The longest plain text the scrambler handles (longer input is cut there).
constexpr std::size_t kMaxScrambledBytes = 499;

// The key the web password `WebPass` is scrambled with.
constexpr std::string_view kWebPassKey = "vexolum";

// Scrambles `plain` (up to its first NUL, at most kMaxScrambledBytes bytes) with `key`: two
// letters a byte, the first from "A" ... "P", the second from "K" ... "Z". An empty key or plain
// text gives "".
std::string Scramble(std::string_view plain, std::string_view key);

// The plain text of a scrambled text, up to the first zero byte, at most kMaxScrambledBytes bytes.
// Letters outside their ranges count as 0; a last letter without its partner gives only the high
// half of a byte. An empty key or text gives "".
std::string Unscramble(std::string_view text, std::string_view key);

}  // namespace users

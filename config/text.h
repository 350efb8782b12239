// The small text helpers every part of the console shares: the truth test of configuration values,
// case-blind search, blank skipping and trimming, bounded appends and the leading-digits number
// conversion. They work on 8-bit text; letter case is ASCII's.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace config {

// True when the first character is "Y", "y" or "1", or the whole value is "TRUE" in any case.
bool IsYes(std::string_view value);

// Position of the first case-blind occurrence of `pattern` in `text`; nothing when absent, when
// `text` is empty or when `pattern` is empty.
std::optional<std::size_t> FindNoCase(std::string_view text, std::string_view pattern);
// As FindNoCase, but the position just after the match.
std::optional<std::size_t> FindNoCaseAfter(std::string_view text, std::string_view pattern);

// Skips leading spaces (code 32 only); null stays null.
const char* SkipBlanks(const char* text);
std::string_view SkipBlanks(std::string_view text);
// Skips leading characters with codes 1 to 32; null stays null.
const char* SkipWhite(const char* text);
std::string_view SkipWhite(std::string_view text);
// Removes trailing characters with codes 1 to 32, in place.
void TrimRight(char* text);
void TrimRight(std::string& text);

// Appends `text` to the NUL-terminated `buffer` of capacity `size` (terminator included), cutting
// what does not fit; appends nothing when the buffer already holds `size - 1` characters or more.
void AppendBounded(char* buffer, const char* text, std::size_t size);
// The same for a string standing in for a buffer of capacity `size`.
void AppendBounded(std::string& buffer, std::string_view text, std::size_t size);

// The C library's decimal conversion: leading white space skipped, an optional sign, then digits up
// to the first other character; no digits gives 0. Out-of-range values saturate.
long DecimalValue(std::string_view text);
// The same, saturated to the range of int.
int DecimalInt(std::string_view text);

// Case-blind equality of two texts (ASCII letters).
bool EqualNoCase(std::string_view a, std::string_view b);

}  // namespace config

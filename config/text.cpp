// The shared text helpers of config/text.h.
#include "config/text.h"

#include <climits>
#include <cstring>

namespace config {
namespace {

unsigned char Upper(unsigned char c) {
    return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c;
}
bool IsWhite(unsigned char c) {
    return c >= 1 && c <= 32;
}
bool IsCSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

}  // namespace

bool IsYes(std::string_view value) {
    if (value.empty()) {
        return false;
    }
    char c = value.front();
    return c == 'Y' || c == 'y' || c == '1' || EqualNoCase(value, "TRUE");
}

bool EqualNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) {
        return false;
    }
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(static_cast<unsigned char>(a[i])) != Upper(static_cast<unsigned char>(b[i]))) {
            return false;
        }
    }
    return true;
}

std::optional<std::size_t> FindNoCase(std::string_view text, std::string_view pattern) {
    if (pattern.empty() || pattern.size() > text.size()) {
        return std::nullopt;
    }
    unsigned char first = Upper(static_cast<unsigned char>(pattern.front()));
    for (std::size_t i = 0; i + pattern.size() <= text.size(); ++i) {
        if (Upper(static_cast<unsigned char>(text[i])) == first &&
            EqualNoCase(text.substr(i, pattern.size()), pattern)) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> FindNoCaseAfter(std::string_view text, std::string_view pattern) {
    std::optional<std::size_t> at = FindNoCase(text, pattern);
    if (!at) {
        return std::nullopt;
    }
    return *at + pattern.size();
}

const char* SkipBlanks(const char* text) {
    if (!text) {
        return nullptr;
    }
    while (*text == ' ') {
        ++text;
    }
    return text;
}

std::string_view SkipBlanks(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && text[i] == ' ') {
        ++i;
    }
    return text.substr(i);
}

const char* SkipWhite(const char* text) {
    if (!text) {
        return nullptr;
    }
    while (IsWhite(static_cast<unsigned char>(*text))) {
        ++text;
    }
    return text;
}

std::string_view SkipWhite(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsWhite(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    return text.substr(i);
}

void TrimRight(char* text) {
    if (!text) {
        return;
    }
    std::size_t n = std::strlen(text);
    while (n > 0 && IsWhite(static_cast<unsigned char>(text[n - 1]))) {
        text[--n] = '\0';
    }
}

void TrimRight(std::string& text) {
    std::size_t n = text.size();
    while (n > 0 && IsWhite(static_cast<unsigned char>(text[n - 1]))) {
        --n;
    }
    text.resize(n);
}

void AppendBounded(char* buffer, const char* text, std::size_t size) {
    if (!buffer || !text || size == 0) {
        return;
    }
    std::size_t used = strnlen(buffer, size);
    if (used >= size - 1) {
        return;
    }
    std::size_t room = size - 1 - used;
    std::size_t n = strnlen(text, room);
    std::memcpy(buffer + used, text, n);
    buffer[used + n] = '\0';
}

void AppendBounded(std::string& buffer, std::string_view text, std::size_t size) {
    if (size == 0 || buffer.size() >= size - 1) {
        return;
    }
    std::size_t room = size - 1 - buffer.size();
    buffer.append(text.substr(0, room));
}

long DecimalValue(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsCSpace(text[i])) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    // Accumulate as a negative number so that LONG_MIN is reachable.
    long value = 0;
    bool saturated = false;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        int digit = text[i] - '0';
        if (saturated || value < (LONG_MIN + digit) / 10) {
            saturated = true;
            continue;
        }
        value = value * 10 - digit;
    }
    if (saturated) {
        return negative ? LONG_MIN : LONG_MAX;
    }
    if (!negative) {
        return value == LONG_MIN ? LONG_MAX : -value;
    }
    return value;
}

int DecimalInt(std::string_view text) {
    long v = DecimalValue(text);
    if (v > INT_MAX) {
        return INT_MAX;
    }
    if (v < INT_MIN) {
        return INT_MIN;
    }
    return static_cast<int>(v);
}

}  // namespace config

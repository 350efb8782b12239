// The shared text helpers, as tables of cases.
#include "config/text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>

namespace config {
namespace {

TEST(IsYes, TruthTable) {
    for (const char* yes : {"Yes", "yes", "Y", "y", "1", "TRUE", "True", "true", "10", "Yellow"}) {
        EXPECT_TRUE(IsYes(yes)) << yes;
    }
    for (const char* no : {"No", "0", "T", "true ", " true", "", "on", "truex", "-1"}) {
        EXPECT_FALSE(IsYes(no)) << '"' << no << '"';
    }
}

TEST(FindNoCase, Positions) {
    struct Case {
        const char* text;
        const char* pattern;
        std::optional<std::size_t> at;
    } cases[] = {
        {"-installsmsservice", "-I", 0},
        {"-installsmsservice", "-INSTALLSMSSERVICE", 0},
        {"c:/path/remover -q", "/R", 7},
        {"abcabc", "CA", 2},
        {"aaab", "AAB", 1},  // a partial match must not hide the next start
        {"", "-I", std::nullopt},
        {"", "", std::nullopt},
        {"text", "", std::nullopt},
        {"short", "longer pattern", std::nullopt},
        {"\xe9t\xe9", "\xe9T", 0},  // bytes beyond ASCII compare as they are
        {"\xe9t\xe9", "\xc9T", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindNoCase(c.text, c.pattern), c.at) << c.text << " / " << c.pattern;
    }
    EXPECT_EQ(FindNoCaseAfter("xx/quiet", "/Q"), std::optional<std::size_t>(4));
    EXPECT_EQ(FindNoCaseAfter("xx", "/Q"), std::nullopt);
}

TEST(Skip, BlanksAndWhite) {
    EXPECT_EQ(SkipBlanks(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_EQ(SkipWhite(static_cast<const char*>(nullptr)), nullptr);
    EXPECT_STREQ(SkipBlanks("  \tx"), "\tx");  // only code 32
    EXPECT_STREQ(SkipWhite(" \t\r\n\x01x y"), "x y");
    EXPECT_STREQ(SkipWhite("\x7fx"), "\x7fx");
    EXPECT_EQ(SkipBlanks(std::string_view("   ")), "");
    EXPECT_EQ(SkipWhite(std::string_view("\x01\x20z")), "z");
}

TEST(TrimRight, InPlace) {
    char buf[] = "value \t\r\n\x01";
    TrimRight(buf);
    EXPECT_STREQ(buf, "value");
    char blank[] = " \t ";
    TrimRight(blank);
    EXPECT_STREQ(blank, "");
    TrimRight(static_cast<char*>(nullptr));
    std::string s = "a b  ";
    TrimRight(s);
    EXPECT_EQ(s, "a b");
}

TEST(AppendBounded, CutsToCapacity) {
    struct Case {
        const char* start;
        const char* text;
        std::size_t size;
        const char* result;
    } cases[] = {
        {"abc", "def", 10, "abcdef"},
        {"abc", "defghij", 8, "abcdefg"},
        {"abcdefg", "x", 8, "abcdefg"},  // already size - 1: nothing appended
        {"", "xyz", 1, ""},
        {"", "xyz", 3, "xy"},
        {"abc", "", 10, "abc"},
    };
    for (const Case& c : cases) {
        char buf[32] = {};
        std::strcpy(buf, c.start);
        AppendBounded(buf, c.text, c.size);
        EXPECT_STREQ(buf, c.result) << c.start << " + " << c.text << " in " << c.size;
        std::string s = c.start;
        AppendBounded(s, c.text, c.size);
        EXPECT_EQ(s, c.result);
    }
}

TEST(DecimalValue, LeadingDigits) {
    struct Case {
        const char* text;
        long value;
    } cases[] = {
        {"42", 42},
        {"  42", 42},
        {"\t\n+7x", 7},
        {"-13 apples", -13},
        {"", 0},
        {"abc", 0},
        {"- 5", 0},
        {"0x1F", 0},
        {"007", 7},
        {"99999999999999999999", LONG_MAX},
        {"-99999999999999999999", LONG_MIN},
        {"9223372036854775807", LONG_MAX},
        {"-9223372036854775808", LONG_MIN},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(DecimalValue(c.text), c.value) << c.text;
    }
    EXPECT_EQ(DecimalInt("3000000000"), INT_MAX);
    EXPECT_EQ(DecimalInt("-3000000000"), INT_MIN);
    EXPECT_EQ(DecimalInt("500"), 500);
}

}  // namespace
}  // namespace config

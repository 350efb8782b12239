// The password scrambler: round trips, the letter ranges and the edges of its input.
#include "users/scrambler.h"

#include <gtest/gtest.h>

#include <string>

namespace users {
namespace {

TEST(Scrambler, RoundTripsAndLetterRanges) {
    std::string allBytes;
    for (int b = 1; b < 256; ++b) {
        allBytes.push_back(static_cast<char>(b));
    }
    const std::string plains[] = {
        "a", "secret", "P@ss w0rd!", std::string(50, 'x'), allBytes, std::string(499, 'z')};
    const std::string keys[] = {std::string(kWebPassKey), "k", "\xFF\x01", "a much longer key"};
    for (const std::string& key : keys) {
        for (const std::string& plain : plains) {
            std::string scrambled = Scramble(plain, key);
            ASSERT_EQ(scrambled.size(), plain.size() * 2);
            for (std::size_t i = 0; i < scrambled.size(); i += 2) {
                EXPECT_TRUE(scrambled[i] >= 'A' && scrambled[i] <= 'P') << scrambled;
                EXPECT_TRUE(scrambled[i + 1] >= 'K' && scrambled[i + 1] <= 'Z') << scrambled;
            }
            EXPECT_EQ(Unscramble(scrambled, key), plain) << key;
        }
    }
}

TEST(Scrambler, Vectors) {
    // "a" with the key "k": ('a' ^ 'k') - swap('k') = 0x0A - 0xB6 = 0x54.
    EXPECT_EQ(Scramble("a", "k"), "FO");
    // "LP" unscrambles to the byte 0 with that key: the plain text ends there.
    EXPECT_EQ(Unscramble("FOLPFO", "k"), "a");
    EXPECT_NE(Scramble("secret", "vexolum"), Scramble("secret", "vexoluN"));
}

TEST(Scrambler, Edges) {
    EXPECT_EQ(Scramble("", "key"), "");
    EXPECT_EQ(Scramble("abc", ""), "");
    EXPECT_EQ(Unscramble("", "key"), "");
    EXPECT_EQ(Unscramble("FO", ""), "");
    EXPECT_EQ(Scramble(std::string(600, 'q'), "key").size(), 998u);  // at most 499 bytes
    EXPECT_EQ(Unscramble(std::string(1200, 'B'), "key").size() <= 499, true);
    EXPECT_EQ(Scramble(std::string("ab\0cd", 5), "key"), Scramble("ab", "key"));

    // A last letter without its partner gives the high half of one more byte.
    std::string scrambled = Scramble("hi", "vexolum");
    std::string odd = Unscramble(scrambled + "C", "vexolum");
    EXPECT_EQ(odd.substr(0, 2), "hi");
    EXPECT_LE(odd.size(), 3u);
    // Letters outside their ranges count as 0 and do not stop the reading.
    EXPECT_EQ(Unscramble("zz", "k"), Unscramble("AK", "k"));
}

}  // namespace
}  // namespace users

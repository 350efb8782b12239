// GSM 7-bit text to UTF-8: vectors that independent decoders produced (data/gsm7_vectors.txt,
// made by data/make_gsm7_vectors.cjs), and the rules for headers, padding and the output size.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "libs/zozeziv/gsm7.h"
#include "libs/zozeziv/zozeziv.h"

namespace {

struct Vector {
    std::string note, udh, data, utf8;
};

std::string Unhex(const std::string& hex) {
    std::string out;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
        out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    }
    return out;
}

std::vector<Vector> LoadVectors() {
    std::ifstream in(ZOZEZIV_TEST_DATA "/gsm7_vectors.txt");
    std::vector<Vector> vectors;
    std::string line, note;
    while (std::getline(in, line)) {
        if (line.empty()) {
            continue;
        }
        if (line[0] == '#') {
            note = line.substr(1);
            continue;
        }
        std::istringstream fields(line);
        Vector v;
        std::string expected;
        fields >> v.udh >> v.data >> expected;
        if (v.udh == "-") {
            v.udh.clear();
        }
        v.note = note;
        v.utf8 = Unhex(expected);
        vectors.push_back(v);
    }
    return vectors;
}

TEST(Gsm7, IndependentVectors) {
    std::vector<Vector> vectors = LoadVectors();
    ASSERT_GE(vectors.size(), 20u);
    for (const auto& v : vectors) {
        SCOPED_TRACE(v.note);
        EXPECT_EQ(zozeziv::Gsm7HexToUtf8(v.udh, v.data), v.utf8);
        // In place, as the console calls it: the text buffer is also the output, so the text is
        // cut (at a whole character) where it would outgrow the hexadecimal text it replaces.
        std::vector<char> buf(v.data.begin(), v.data.end());
        buf.push_back('\0');
        GSM7ToUTF8String(v.udh.c_str(), buf.data(), buf.data());
        EXPECT_EQ(std::string(buf.data()),
                  v.utf8.substr(0, zozeziv::Utf8PrefixLength(v.utf8, v.data.size())));
        std::vector<char> big(v.utf8.size() + 1, 'x');
        GSM7ToUTF8StringN(v.udh.c_str(), v.data.c_str(), big.data(), big.size());
        EXPECT_EQ(std::string(big.data()), v.utf8);
    }
}

TEST(Gsm7, HeaderWithOrWithoutItsLengthOctetGivesTheFillBits) {
    struct {
        const char* udh;
        int fill;
    } cases[] = {
        {"", 0},
        {"050003A40201", 1},
        {"0003A40201", 1},
        {"06080474280201", 0},
        {"0B05040B8423F00003A40201", 2},
        {"05 0003", 5 /* read up to the blank */},
        {"zz", 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zozeziv::Gsm7FillBits(c.udh), c.fill) << c.udh;
    }
    // The same data after a header given with and without its length octet.
    EXPECT_EQ(zozeziv::Gsm7HexToUtf8("0003A40201", "A061391DF47697416F33280C62BFDDE7B21C442FE3E9"),
              "Part one of a longer text");
}

TEST(Gsm7, PaddingEscapesAndBadInput) {
    struct {
        const char* data;
        const char* text;
    } cases[] = {
        {"61F1985C369F01", "abcdefg"},  // seven spare bits of zero are padding
        {"", ""},
        {"6", ""},           // a lone digit is no octet
        {"61F1xx98", "ab"},  // reading stops at the first non-hexadecimal character
        {"1B", " "},         // a trailing escape
        {"9B4D18", " a"},    // escape, escape: a blank, then what follows
        {"9B30", "a"},       // escape before a code the table lacks: its default
        {"1B05", "\f"},      // escape 0x0A: form feed
    };
    for (const auto& c : cases) {
        EXPECT_EQ(zozeziv::Gsm7HexToUtf8("", c.data), c.text) << c.data;
    }
}

TEST(Gsm7, OutputNeverOutgrowsTheBuffer) {
    // Eight Greek capitals (two UTF-8 bytes each) come from 14 hexadecimal digits.
    char text[] = "10080402814020";
    std::string full = zozeziv::Gsm7HexToUtf8("", text);
    ASSERT_EQ(full, "\u0394\u0394\u0394\u0394\u0394\u0394\u0394\u0394");  // ΔΔΔΔΔΔΔΔ
    GSM7ToUTF8String(nullptr, text, text);
    EXPECT_EQ(std::string(text), full.substr(0, 14));
    char small[6];
    GSM7ToUTF8StringN("", "10080402814020", small, sizeof small);
    EXPECT_EQ(std::string(small), full.substr(0, 4));  // cut at a whole character
    GSM7ToUTF8StringN("", "41", small, 0);             // no room: nothing written
    GSM7ToUTF8String(nullptr, nullptr, nullptr);
}

}  // namespace

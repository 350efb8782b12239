// Message files: the sections and keys, damaged and odd files, and the text conversions.
#include "viewers/message_file.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

#include "tests/support/temp_root.h"

namespace viewers {
namespace {

using namespace std::string_literals;
using testsupport::TempRoot;

MessageTime Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
    MessageTime t;
    t.year = static_cast<uint16_t>(y);
    t.month = static_cast<uint16_t>(mo);
    t.day = static_cast<uint16_t>(d);
    t.hour = static_cast<uint16_t>(h);
    t.minute = static_cast<uint16_t>(mi);
    t.second = static_cast<uint16_t>(s);
    return t;
}

const MessageTime kY2k = Time(2000, 1, 1);

TEST(MessageFile, TypicalQueueFile) {
    QueuedMessage m = ParseQueuedMessageText(
        "[SMS]\r\n"
        "PhoneNumber=+447700900123\r\n"
        "Sender=Zelmo\r\n"
        "Data=Hello\\nworld\\r!\r\n"
        "udh=050003A70201\r\n"
        "SubmittedBy=127.0.0.1\r\n"
        "SubmitUser=alice\r\n"
        "ServiceType=CMT\r\n"
        "RouteToLocalUser=bob\r\n"
        "SMPPOptions=1403=abc\r\n"
        "SMSCRoute=SMPP - smsc:2775\r\n"
        "Validity=1440\r\n"
        "BillingInfo=acct 7\r\n"
        "ModemName=COM1:\r\n"
        "pid=7F\r\n"
        "dcs=08\r\n"
        "binary=Yes\r\n"
        "ReplyRequested=yes\r\n"
        "ReceiptRequested=1\r\n"
        "NonDelReceiptRequested=Y\r\n"
        "ReceiptMessageId=  id 9  \r\n"
        "[ErrorDetail]\r\n"
        "RetryCount=3\r\n"
        "LastRetryTime=20130702101112\r\n"
        "FirstAttemptTime=20130701235959\r\n"
        "LastErrorInfo=SMSC busy\r\n");
    EXPECT_EQ(m.recipient, "+447700900123");
    EXPECT_EQ(m.sender, "Zelmo");
    EXPECT_EQ(m.text, "Hello\nworld\r!");
    EXPECT_EQ(m.udh, "050003A70201");
    EXPECT_EQ(m.submittedBy, "127.0.0.1");
    EXPECT_EQ(m.submitUser, "alice");
    EXPECT_EQ(m.serviceType, "CMT");
    EXPECT_EQ(m.routeToLocalUser, "bob");
    EXPECT_EQ(m.smppOptions, "1403=abc");
    EXPECT_EQ(m.smscRoute, "SMPP - smsc:2775");
    EXPECT_EQ(m.validity, "1440");
    EXPECT_EQ(m.billingInfo, "acct 7");
    EXPECT_EQ(m.modemName, "COM1:");
    EXPECT_EQ(m.pid, 0x7F);
    EXPECT_EQ(m.dcs, 8);
    EXPECT_EQ(m.binary, 1u);
    EXPECT_EQ(m.receiptFlags, kReplyRequested | kReceiptRequested | kNonDelReceiptRequested);
    EXPECT_EQ(m.receiptMessageId, "  id 9  ");  // values are not trimmed
    EXPECT_EQ(m.retryCount, 3);
    EXPECT_EQ(m.lastRetryTime, Time(2013, 7, 2, 10, 11, 12));
    EXPECT_EQ(m.firstAttemptTime, Time(2013, 7, 1, 23, 59, 59));
    EXPECT_EQ(m.lastErrorInfo, "SMSC busy");
}

TEST(MessageFile, ReceiptFlags) {
    struct Case {
        const char* line;
        uint32_t flags;
    } cases[] = {
        {"ReceiptDelivered=Yes", kIsReceipt | kReceiptDelivered},
        {"ReceiptIntransit=yes", kIsReceipt | kReceiptIntransit},
        {"ReceiptFailed=TRUE", kIsReceipt | kReceiptFailed},
        {"ReceiptFailed=No", 0},
        {"receiptdelivered=1", kIsReceipt | kReceiptDelivered},
    };
    for (const Case& c : cases) {
        QueuedMessage m = ParseQueuedMessageText(std::string("[SMS-IN]\n") + c.line + "\n");
        EXPECT_EQ(m.receiptFlags, c.flags) << c.line;
    }
}

TEST(MessageFile, SectionsAndKeys) {
    struct Case {
        const char* name;
        std::string file;
        const char* recipient;
        int retryCount;
    } cases[] = {
        {"lower-case head", "[sms-in]\nPhoneNumber=123\n", "123", 0},
        {"head with text after it", "[SMS] queued\nphonenumber=9\n", "9", 0},
        {"later [SMS] ignored", "[SMS]\nPhoneNumber=1\n[SMS]\nPhoneNumber=2\n", "1", 0},
        {"section ends at [", "[SMS]\n[Other]\nPhoneNumber=1\n", "", 0},
        {"retry count under [SMS] ignored", "[SMS]\nRetryCount=5\n", "", 0},
        {"retry count under [ErrorDetail]", "[ErrorDetail]\nRetryCount=5\n[SMS]\nPhoneNumber=4\n",
         "4", 5},
        {"only [ErrorDetail]", "[ErrorDetail]\nRetryCount=-2x\n", "", -2},
        {"no section", "PhoneNumber=1\nRetryCount=3\n", "", 0},
        {"leading control characters and blanks", "\x01\x02 \t[SMS]\r\r\n\t  PhoneNumber=7\r", "7",
         0},
        {"CR-only line ends", "[SMS]\rPhoneNumber=8\r[ErrorDetail]\rRetryCount=1\r", "8", 1},
        {"no line end at all", "[SMS]", "", 0},
        {"key without =", "[SMS]\nPhoneNumber 5\n", "", 0},
        {"text after a NUL is not read", "[SMS]\nPhoneNumber=1\0\n[ErrorDetail]\nRetryCount=4\n"s,
         "1", 0},
        {"NUL inside a key line",
         "[SMS]\nPhoneNumber=12\0"s
         "34\n",
         "12", 0},
    };
    for (const Case& c : cases) {
        QueuedMessage m = ParseQueuedMessageText(c.file);
        EXPECT_EQ(m.recipient, c.recipient) << c.name;
        EXPECT_EQ(m.retryCount, c.retryCount) << c.name;
    }
}

TEST(MessageFile, NumbersAndStamps) {
    struct Case {
        const char* lines;
        int pid, dcs;
        MessageTime last;
    } cases[] = {
        {"pid=7F\ndcs=08", 127, 8, {}},  {"dcs=\npid=zz", 0, 0, {}},
        {"dcs=1FF", 0, 0xFF, {}},        {"pid=0x41", 0, 0, {}},  // "0x" stops at the x
        {"dcs=ffffffffff", 0, 0xFF, {}},
    };
    for (const Case& c : cases) {
        QueuedMessage m = ParseQueuedMessageText(std::string("[SMS]\n") + c.lines + "\n");
        EXPECT_EQ(m.pid, c.pid) << c.lines;
        EXPECT_EQ(m.dcs, c.dcs) << c.lines;
    }
    QueuedMessage m = ParseQueuedMessageText(
        "[ErrorDetail]\nLastRetryTime=20130702\nFirstAttemptTime=99999999999999\n");
    EXPECT_EQ(m.lastRetryTime, kY2k);
    EXPECT_EQ(m.firstAttemptTime, Time(9999, 99, 99, 99, 99, 99));  // not range-checked
}

TEST(MessageText, ParseHexNumber) {
    struct Case {
        const char* text;
        uint32_t value;
    } cases[] = {{"7F", 0x7F},   {"08", 8},       {"", 0},   {"g1", 0},
                 {"1FF", 0x1FF}, {"aBc ", 0xABC}, {" 1", 0}, {"123456789", 0x23456789}};
    for (const Case& c : cases) {
        EXPECT_EQ(ParseHexNumber(c.text), c.value) << c.text;
    }
}

TEST(MessageText, ParseStamp14) {
    struct Case {
        const char* text;
        MessageTime time;
    } cases[] = {
        {"20130702101112", Time(2013, 7, 2, 10, 11, 12)},
        {"20130702101112extra", Time(2013, 7, 2, 10, 11, 12)},
        {"20130702", kY2k},
        {"2013070210111x", kY2k},
        {"", kY2k},
        {" 20130702101112", kY2k},
        {"00000000000000", Time(0, 0, 0)},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseStamp14(c.text), c.time) << c.text;
    }
}

TEST(MessageText, DataCodingSchemes) {
    for (int dcs : {0x00, 0x10, 0xF0, 0xF1, 0xC0, 0xD0, 0x03, 0x20, 0xD8}) {
        EXPECT_TRUE(IsGsm7Dcs(static_cast<uint8_t>(dcs))) << dcs;
    }
    for (int dcs : {0x04, 0x08, 0xF4, 0xE0, 0x0C, 0x40, 0x80, 0xB0}) {
        EXPECT_FALSE(IsGsm7Dcs(static_cast<uint8_t>(dcs))) << dcs;
    }
    for (int dcs : {0x08, 0x18, 0x0C, 0xE0, 0x3A, 0xEF}) {
        EXPECT_TRUE(IsUcs2Dcs(static_cast<uint8_t>(dcs))) << dcs;
    }
    for (int dcs : {0x00, 0x04, 0xF0, 0x48, 0xD8, 0xF4}) {
        EXPECT_FALSE(IsUcs2Dcs(static_cast<uint8_t>(dcs))) << dcs;
    }
}

TEST(MessageText, HexUcs2ToUtf8) {
    struct Case {
        const char* hex;
        const char* utf8;
    } cases[] = {
        {"00480069", "Hi"},
        {"0048000000690", "H"},                    // a unit 0 ends the output
        {"0048g0069", "H"},                        // a non-digit ends the reading
        {"004800690", "Hi"},                       // a last group "0" is the unit 0
        {"00480", "H"},                            // ...
        {"0048041", "HA"},                         // "041" is the unit 0x41
        {"00E9", "\xC3\xA9"},                      // é
        {"20ac", "\xE2\x82\xAC"},                  // €, lower-case digits
        {"D83DDE00", "\xED\xA0\xBD\xED\xB8\x80"},  // surrogate halves each by themselves
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HexUcs2ToUtf8(c.hex), c.utf8) << c.hex;
    }
}

TEST(MessageText, Utf8ToDisplayText) {
    struct Case {
        const char* name;
        std::string text;
        std::size_t capacity;
        std::string shown;
    } cases[] = {
        {"ASCII", "Hello", 100, "Hello"},
        {"two-byte letter", "caf\xC3\xA9", 100, "caf\xC3\xA9"},
        {"lone 0xC3 at the end", "abc\xC3", 100, "abc-"},
        {"three-byte lead cut off", "a\xE2\x82", 100, "a-"},
        {"stray continuation byte is Latin-1",
         "\xA3"
         "5",
         100,
         "\xC2\xA3"
         "5"},
        {"continuation not checked",
         "\xC3"
         "A",
         100, "\xC3\x81"},
        {"overlong NUL becomes -",
         "a\xC0\x80"
         "b",
         100, "a-b"},
        {"four-byte keeps low 16 bits", "\xF0\x9F\x98\x80", 100, "\xEF\x98\x80"},
        {"surrogates from UCS-2 are joined", "\xED\xA0\xBD\xED\xB8\x80", 100, "\xF0\x9F\x98\x80"},
        {"lone surrogate",
         "\xED\xA0\xBD"
         "x",
         100,
         "\xEF\xBF\xBD"
         "x"},
        {"capacity counts the terminator", "abcdef", 4, "abc"},
        {"a character is never split", "a\xC3\xA9", 3, "a"},
        {"three-byte character does not fit", "ab\xE2\x82\xAC", 5, "ab"},
        {"capacity 0", "abc", 0, ""},
        {"NUL ends the text", std::string("ab\0cd", 5), 100, "ab"},
    };
    for (const Case& c : cases) {
        std::string text = c.text;
        Utf8ToDisplayText(text, c.capacity);
        EXPECT_EQ(text, c.shown) << c.name;
    }
}

TEST(MessageText, DisplayTextKeepsAtMost8192Units) {
    std::string text(10000, 'x');
    Utf8ToDisplayText(text, 20000);
    EXPECT_EQ(text.size(), 8192u);
}

void FakeGsm7(const char* udh, const char* text, char* output, unsigned size) {
    std::string s = std::string("gsm7[") + udh + "|" + text + "]";
    s.resize(std::min<std::size_t>(s.size(), size - 1));
    std::copy(s.begin(), s.end(), output);
    output[s.size()] = '\0';
}

TEST(MessageText, MessageDisplayText) {
    struct Case {
        const char* name;
        uint32_t binary;
        uint8_t dcs;
        const char* text;
        Gsm7Converter gsm7;
        const char* shown;
    } cases[] = {
        {"plain text", 0, 0x08, "caf\xC3\xA9", FakeGsm7, "caf\xC3\xA9"},
        {"binary UCS-2", 1, 0x08, "00480069", FakeGsm7, "Hi"},
        {"binary GSM 7-bit", 1, 0x00, "C834", FakeGsm7, "gsm7[0500|C834]"},
        {"binary GSM 7-bit without a converter", 1, 0x00, "C834", nullptr, "C834"},
        {"8-bit data stays hexadecimal", 1, 0x04, "00480069", FakeGsm7, "00480069"},
    };
    for (const Case& c : cases) {
        QueuedMessage m;
        m.binary = c.binary;
        m.dcs = c.dcs;
        m.text = c.text;
        m.udh = "0500";
        EXPECT_EQ(MessageDisplayText(m, c.gsm7), c.shown) << c.name;
    }
    QueuedMessage m;
    m.text = std::string(8000, 'y');
    EXPECT_EQ(MessageDisplayText(m, nullptr).size(), kDisplayTextCapacity - 1);
}

// Bad input: every file gives a defined record, and long values are cut to their fields.
TEST(MessageFile, OverlongValuesAreCut) {
    std::string big(20000, 'a');
    std::string file = "[SMS]\nPhoneNumber=" + big + "\nData=" + big + "\nudh=" + big +
                       "\nSubmitUser=" + big + "\nValidity=" + big +
                       "\n[ErrorDetail]\nLastErrorInfo=" + big + "\n";
    QueuedMessage m = ParseQueuedMessageText(file);
    EXPECT_EQ(m.recipient.size(), kMaxRecipient);
    EXPECT_EQ(m.text.size(), kMaxText);
    EXPECT_EQ(m.udh.size(), kMaxUdh);
    EXPECT_EQ(m.submitUser.size(), kMaxSubmitUser);
    EXPECT_EQ(m.validity.size(), kMaxValidity);
    EXPECT_EQ(m.lastErrorInfo.size(), kMaxLastErrorInfo);

    // The escapes are replaced after the cut: an escape split by it stays a backslash.
    std::string data = std::string(kMaxText - 1, 'b') + "\\n";
    m = ParseQueuedMessageText("[SMS]\nData=" + data + "\n");
    EXPECT_EQ(m.text, std::string(kMaxText - 1, 'b') + "\\");
}

TEST(MessageFile, ReadsFilesOfAnyShape) {
    TempRoot root;
    std::string binary;
    for (int i = 0; i < 4096; ++i) {
        binary.push_back(static_cast<char>((i * 131 + 7) & 0xFF));
    }
    std::string megabyte =
        "[SMS]\nPhoneNumber=5\n" + std::string(1 << 20, 'z') + "\n[ErrorDetail]\nRetryCount=2\n";
    struct Case {
        const char* name;
        std::string content;
        const char* recipient;
        int retryCount;
    } cases[] = {
        {"empty", "", "", 0},
        {"binary", binary, "", 0},
        {"1 MB long", megabyte, "5", 2},
        {"1 MB without line ends", std::string(1 << 20, '['), "", 0},
        {"only [ErrorDetail]", "[ErrorDetail]", "", 0},
        {"NUL bytes", std::string("\0\0[SMS]\nPhoneNumber=1\n", 22), "", 0},
    };
    for (const Case& c : cases) {
        std::string path = root.Path("x.REQ");
        testsupport::WriteFile(path, c.content);
        std::optional<QueuedMessage> m = ReadQueuedMessageFile(path);
        ASSERT_TRUE(m.has_value()) << c.name;
        EXPECT_EQ(m->recipient, c.recipient) << c.name;
        EXPECT_EQ(m->retryCount, c.retryCount) << c.name;
    }
}

TEST(MessageFile, FilesThatCannotBeRead) {
    TempRoot root;
    EXPECT_FALSE(ReadQueuedMessageFile(root.Path("gone.REQ")).has_value());
    ASSERT_EQ(mkdir(root.Path("dir.REQ").c_str(), 0775), 0);
    EXPECT_FALSE(ReadQueuedMessageFile(root.Path("dir.REQ")).has_value());
    ASSERT_EQ(mkfifo(root.Path("fifo.REQ").c_str(), 0664), 0);
    EXPECT_FALSE(ReadQueuedMessageFile(root.Path("fifo.REQ")).has_value());  // and no hang
    EXPECT_TRUE(ParseQueuedMessage(-1).recipient.empty());

    // An open file is read from its start whatever its position.
    root.Write("a.IN", "[SMS-IN]\nSender=77\n");
    int fd = open(root.Path("a.IN").c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(lseek(fd, 5, SEEK_SET), 5);
    EXPECT_EQ(ParseQueuedMessage(fd).sender, "77");
    close(fd);
}

}  // namespace
}  // namespace viewers

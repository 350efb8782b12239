// The frames the protocol clients build, byte for byte against the protocols' published examples
// and layouts, and the response parsers on well-formed, split and broken input.
#include <gtest/gtest.h>

#include <string>

#include "libs/rirera/ucp_frame.h"
#include "libs/rovivez/smpp_pdu.h"
#include "libs/videder/cimd_packet.h"

namespace {

using namespace std::string_literals;

TEST(SmppFrames, BindTransmitterOfTheProtocolExample) {
    rovivez::BindRequest r;
    r.command = rovivez::kBindTransmitter;
    r.sequence = 1;
    r.systemId = "SMPP3TEST";
    r.password = "secret08";
    r.systemType = "SUBMIT1";
    r.interfaceVersion = 0x34;
    r.addrTon = 1;
    r.addrNpi = 1;
    EXPECT_EQ(rovivez::BuildBind(r),
              "\x00\x00\x00\x2F\x00\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x01"
              "SMPP3TEST\0secret08\0SUBMIT1\0\x34\x01\x01\0"s);
}

TEST(SmppFrames, OverLongPasswordIsSentAsGiven) {
    rovivez::BindRequest r;
    r.command = rovivez::kBindTransceiver;
    r.sequence = 0x01020304;
    r.systemId = "u";
    r.password = "0123456789ab";
    r.interfaceVersion = 0x33;
    EXPECT_EQ(rovivez::BuildBind(r),
              "\x00\x00\x00\x24\x00\x00\x00\x09\x00\x00\x00\x00\x01\x02\x03\x04"
              "u\0"
              "0123456789ab\0\0\x33\x00\x00\0"s);
}

TEST(SmppFrames, HeaderOnlyPdus) {
    EXPECT_EQ(rovivez::BuildPdu(rovivez::kEnquireLink | rovivez::kResponseBit, 0, 7, ""),
              "\x00\x00\x00\x10\x80\x00\x00\x15\x00\x00\x00\x00\x00\x00\x00\x07"s);
    EXPECT_EQ(rovivez::BuildPdu(rovivez::kUnbind, 0, 2, ""),
              "\x00\x00\x00\x10\x00\x00\x00\x06\x00\x00\x00\x00\x00\x00\x00\x02"s);
}

TEST(SmppFrames, SubmitSmLayout) {
    rovivez::SubmitRequest r;
    r.sequence = 3;
    r.source = "Zelmo";
    r.destination = "+4477";
    r.text = "Hi";
    EXPECT_EQ(rovivez::BuildSubmit(r),
              "\x00\x00\x00\x2C\x00\x00\x00\x04\x00\x00\x00\x00\x00\x00\x00\x03"
              "\0\x05\x00Zelmo\0\x01\x01"
              "4477\0\0\0\0\0\0\0\0\0\0\x02Hi"s);
}

struct SmppCut {
    const char* name;
    std::string bytes;
    rovivez::Cut expected;
};

TEST(SmppFrames, CuttingResponses) {
    const std::string bindResp =
        "\x00\x00\x00\x1F\x80\x00\x00\x02\x00\x00\x00\x00\x00\x00\x00\x05"
        "zelmopeer\0\x02\x10\x00\x01\x34"s;
    const SmppCut cases[] = {
        {"complete", bindResp, rovivez::Cut::kFrame},
        {"three bytes", bindResp.substr(0, 3), rovivez::Cut::kNeedMore},
        {"header only", bindResp.substr(0, 16), rovivez::Cut::kNeedMore},
        {"length below header", "\x00\x00\x00\x0F\x80\x00\x00\x02"s, rovivez::Cut::kGarbage},
        {"length of 1 MiB", "\x00\x10\x00\x00\x80\x00\x00\x02"s, rovivez::Cut::kTooLong},
    };
    for (const SmppCut& c : cases) {
        std::string buffer = c.bytes;
        rovivez::Pdu pdu;
        EXPECT_EQ(rovivez::CutPdu(buffer, &pdu), c.expected) << c.name;
    }
    // Two PDUs in one read: the first is taken, the second stays.
    std::string buffer = bindResp + bindResp.substr(0, 10);
    rovivez::Pdu pdu;
    ASSERT_EQ(rovivez::CutPdu(buffer, &pdu), rovivez::Cut::kFrame);
    EXPECT_EQ(buffer.size(), 10u);
    rovivez::BindResponse response;
    ASSERT_TRUE(rovivez::ParseBindResponse(pdu.body, &response));
    EXPECT_EQ(response.systemId, "zelmopeer");
    EXPECT_EQ(response.scInterfaceVersion, 0x34);
    EXPECT_FALSE(rovivez::ParseBindResponse("abc"s, &response));                      // no NUL
    EXPECT_FALSE(rovivez::ParseBindResponse("a\0\x02\x10\x00\x05\x34"s, &response));  // short TLV
}

TEST(UcpFrames, Operation60OfTheProtocolExample) {
    rirera::LoginRequest r;
    r.trn = 2;
    r.oadc = "07656765";
    r.oton = "2";
    r.onpi = "1";
    r.password = "Password";
    EXPECT_EQ(rirera::BuildLogin(r),
              "\x02"
              "02/00059/O/60/07656765/2/1/1/50617373776F7264//0100//////61\x03");
    EXPECT_EQ(rirera::IraHex("Pass/word"), "506173732F776F7264");
}

struct UcpCut {
    const char* name;
    std::string bytes;
    rirera::Cut expected;
    bool checksumOk;
};

TEST(UcpFrames, CuttingResponses) {
    const UcpCut cases[] = {
        {"positive (protocol example)",
         "\x02"
         "00/00019/R/60/A//6D\x03",
         rirera::Cut::kFrame, true},
        {"negative with text",
         rirera::BuildFrame(1, 'R', 60, {"N", "07", "Authentication failure"}), rirera::Cut::kFrame,
         true},
        {"wrong checksum",
         "\x02"
         "00/00019/R/60/A//6E\x03",
         rirera::Cut::kFrame, false},
        {"wrong length",
         "\x02"
         "00/00020/R/60/A//6D\x03",
         rirera::Cut::kMalformed, false},
        {"half a frame",
         "\x02"
         "00/00019/R/6",
         rirera::Cut::kNeedMore, false},
        {"no frame", "HELLO", rirera::Cut::kGarbage, false},
        {"no end within the limit", "\x02" + std::string(100010, 'A'), rirera::Cut::kTooLong,
         false},
        {"header not digits",
         "\x02"
         "0x/00019/R/60/A//6D\x03",
         rirera::Cut::kMalformed, false},
    };
    for (const UcpCut& c : cases) {
        std::string buffer = c.bytes;
        rirera::Frame frame;
        EXPECT_EQ(rirera::CutFrame(buffer, &frame), c.expected) << c.name;
        if (c.expected == rirera::Cut::kFrame) {
            EXPECT_EQ(frame.checksumOk, c.checksumOk) << c.name;
            EXPECT_EQ(frame.operation, 60) << c.name;
            EXPECT_EQ(frame.kind, 'R') << c.name;
        }
    }
}

TEST(CimdFrames, LoginAndLogout) {
    EXPECT_EQ(videder::BuildLogin(1, "zelmo", "secret"),
              "\x02"
              "01:001\t010:zelmo\t011:secret\t8D\x03");
    EXPECT_EQ(videder::BuildLogout(3),
              "\x02"
              "02:003\t3A\x03");
}

TEST(CimdFrames, CuttingResponses) {
    std::string refused =
        "\x02"
        "51:001\t900:100\t901:Invalid login\t";
    refused += videder::Checksum(refused) + "\x03";
    struct {
        const char* name;
        std::string bytes;
        videder::Cut expected;
        bool hasChecksum;
        bool checksumOk;
    } cases[] = {
        {"accepted",
         "\x02"
         "51:001\t" +
             videder::Checksum("\x02"
                               "51:001\t") +
             "\x03",
         videder::Cut::kFrame, true, true},
        {"refused", refused, videder::Cut::kFrame, true, true},
        {"without checksum",
         "\x02"
         "51:001\t\x03",
         videder::Cut::kFrame, false, true},
        {"lower-case checksum",
         "\x02"
         "02:003\t3a\x03",
         videder::Cut::kFrame, true, true},
        {"wrong checksum",
         "\x02"
         "51:001\t00\x03",
         videder::Cut::kFrame, true, false},
        {"half",
         "\x02"
         "51:0",
         videder::Cut::kNeedMore, false, true},
        {"garbage", "220 hello\r\n", videder::Cut::kGarbage, false, true},
        {"parameter without colon",
         "\x02"
         "51:001\t900100\t\x03",
         videder::Cut::kMalformed, false, true},
        {"too long", "\x02" + std::string(9000, '1'), videder::Cut::kTooLong, false, true},
    };
    for (const auto& c : cases) {
        std::string buffer = c.bytes;
        videder::Packet packet;
        EXPECT_EQ(videder::CutPacket(buffer, &packet), c.expected) << c.name;
        if (c.expected == videder::Cut::kFrame) {
            EXPECT_EQ(packet.hasChecksum, c.hasChecksum) << c.name;
            EXPECT_EQ(packet.checksumOk, c.checksumOk) << c.name;
        }
    }
    std::string buffer = refused;
    videder::Packet packet;
    ASSERT_EQ(videder::CutPacket(buffer, &packet), videder::Cut::kFrame);
    ASSERT_NE(packet.Find(901), nullptr);
    EXPECT_EQ(*packet.Find(901), "Invalid login");
    EXPECT_EQ(*packet.Find(900), "100");
}

}  // namespace

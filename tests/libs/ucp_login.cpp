// The UCP/EMI client library against the UCP/EMI test server of tools/protocol-peers on loopback:
// good and refused logins, answers split across reads, wrong checksums, garbage, over-long and cut
// frames, and a silent server.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "libs/rirera/rirera.h"
#include "tests/libs/protocol_peer.h"

namespace {

std::string Transcript() {
    std::vector<char> buffer(static_cast<size_t>(UCPGetTranscript(nullptr, 0)) + 1);
    UCPGetTranscript(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

struct LoginCase {
    const char* name;
    const char* scenario;
    const char* user;
    const char* password;
    int expected;
    const char* text;        // UCPErrorText(expected), when not null
    const char* transcript;  // in the transcript, when not null
};

class UcpLogin : public ::testing::TestWithParam<LoginCase> {
  protected:
    void SetUp() override {
        std::string missing = protocoltest::NodePeersMissing();
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        UCPSetDebugMode(1);
        UCPSetTimeout(std::string(GetParam().scenario) == "silent" ? 300 : 2000);
    }
    void TearDown() override { UCPSetTimeout(0); }
};

TEST_P(UcpLogin, AgainstTheServer) {
    const LoginCase& c = GetParam();
    protocoltest::Peer peer;
    ASSERT_TRUE(peer.StartNode(
        "ucp-peer.js", {"--scenario", c.scenario, "--user", "0612345", "--password", "Pass/word"}))
        << peer.error();
    int fd = protocoltest::NewSocket();
    ASSERT_EQ(UCPConnect(fd, 0, "127.0.0.1#3", peer.port()), 0);
    int rc = UCPBind(fd, nullptr, c.user, c.password);
    EXPECT_EQ(rc, c.expected) << UCPErrorText(rc) << "\n" << Transcript();
    if (c.text) {
        EXPECT_STREQ(UCPErrorText(rc), c.text);
    }
    if (c.transcript) {
        EXPECT_NE(Transcript().find(c.transcript), std::string::npos) << Transcript();
    }
    // Neither the password nor its IRA hex form shows.
    EXPECT_EQ(Transcript().find("Pass/word"), std::string::npos);
    EXPECT_EQ(Transcript().find("506173732F776F7264"), std::string::npos);
    close(fd);
}

const LoginCase kCases[] = {
    {"GoodLogin", "ok", "0612345", "Pass/word", 0, nullptr, "response operation 60 fields: [A] []"},
    {"BadPassword", "ok", "0612345", "wrong", 7,
     "07: Authentication failure (Authentication failure)", nullptr},
    {"BadUserWithoutServerText", "ok", "999", "Pass/word", 6, "06: AdC invalid", nullptr},
    {"SplitAcrossReads", "split", "0612345", "Pass/word", 0, nullptr, nullptr},
    {"WrongChecksum", "badsum", "0612345", "Pass/word", RIRERA_E_CHECKSUM,
     "The UCP server's response has a wrong checksum", "(wrong checksum)"},
    {"Garbage", "garbage", "0612345", "Pass/word", RIRERA_E_GARBAGE,
     "The server sent data that is not UCP/EMI", "HELLO THERE"},
    {"OverLongFrame", "toolong", "0612345", "Pass/word", RIRERA_E_TOO_LONG, nullptr, nullptr},
    {"ClosedMidFrame", "midclose", "0612345", "Pass/word", RIRERA_E_CLOSED_MID_FRAME, nullptr,
     nullptr},
    {"SilentServer", "silent", "0612345", "Pass/word", RIRERA_E_TIMEOUT, nullptr, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, UcpLogin, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(UcpErrorText, KnownAndUnknownCodes) {
    EXPECT_STREQ(UCPErrorText(1), "01: Checksum error");
    EXPECT_STREQ(UCPErrorText(24), "24: Message too long");
    EXPECT_STREQ(UCPErrorText(28), "28: Unknown error");
    EXPECT_STREQ(UCPErrorText(RIRERA_E_CLOSED), "The UCP server closed the connection");
}

}  // namespace

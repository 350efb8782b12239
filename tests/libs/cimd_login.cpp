// The CIMD2 client library against CIMD2 servers on loopback: the test server of
// tools/protocol-peers (error responses, checksums, broken answers) and, where the package is
// installed, the CIMD2 test server that ships with Debian's kannel-extras.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "libs/videder/videder.h"
#include "tests/libs/protocol_peer.h"

namespace {

std::string Transcript() {
    std::vector<char> buffer(static_cast<size_t>(CIMDGetTranscript(nullptr, 0)) + 1);
    CIMDGetTranscript(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

struct LoginCase {
    const char* name;
    const char* scenario;
    const char* user;
    const char* password;
    int expected;
    const char* text;        // CIMDErrorText(expected), when not null
    const char* transcript;  // in the transcript, when not null
};

class CimdLogin : public ::testing::TestWithParam<LoginCase> {
  protected:
    void SetUp() override {
        std::string missing = protocoltest::NodePeersMissing();
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        CIMDSetDebugMode(1);
        CIMDSetTimeout(std::string(GetParam().scenario) == "silent" ? 300 : 2000);
    }
    void TearDown() override { CIMDSetTimeout(0); }
};

TEST_P(CimdLogin, AgainstTheServer) {
    const LoginCase& c = GetParam();
    protocoltest::Peer peer;
    ASSERT_TRUE(peer.StartNode("cimd-peer.js",
                               {"--scenario", c.scenario, "--user", "zelmo", "--password", "s3cr"}))
        << peer.error();
    int fd = protocoltest::NewSocket();
    ASSERT_EQ(CIMDConnect("", fd, "127.0.0.1", peer.port()), 0);
    int rc = CIMDBind("", fd, c.user, c.password);
    EXPECT_EQ(rc, c.expected) << CIMDErrorText(rc) << "\n" << Transcript();
    if (c.text) {
        EXPECT_STREQ(CIMDErrorText(rc), c.text);
    }
    if (c.transcript) {
        EXPECT_NE(Transcript().find(c.transcript), std::string::npos) << Transcript();
    }
    EXPECT_EQ(Transcript().find("s3cr"), std::string::npos) << "password shown";
    close(fd);
}

const LoginCase kCases[] = {
    {"GoodLoginAndLogout", "ok", "zelmo", "s3cr", 0, nullptr, "operation 52 packet 00"},
    {"BadPassword", "ok", "zelmo", "wrong", 100, "100: Invalid login (Invalid login)",
     "900=\"100\""},
    {"BadUserWithoutText", "notext", "other", "s3cr", 100, "100: Invalid login", nullptr},
    {"AnswersWithoutChecksum", "nochecksum", "zelmo", "s3cr", 0, nullptr, "(no checksum)"},
    {"SplitAcrossReads", "split", "zelmo", "s3cr", 0, nullptr, "logged out"},
    {"WrongChecksum", "badsum", "zelmo", "s3cr", VIDEDER_E_CHECKSUM,
     "The CIMD server's response has a wrong checksum", "(wrong checksum)"},
    {"Garbage", "garbage", "zelmo", "s3cr", VIDEDER_E_GARBAGE,
     "The server sent data that is not CIMD2", nullptr},
    {"OverLongPacket", "toolong", "zelmo", "s3cr", VIDEDER_E_TOO_LONG, nullptr, nullptr},
    {"ClosedMidPacket", "midclose", "zelmo", "s3cr", VIDEDER_E_CLOSED_MID_PACKET, nullptr, nullptr},
    {"SilentServer", "silent", "zelmo", "s3cr", VIDEDER_E_TIMEOUT, nullptr, nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, CimdLogin, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The packaged CIMD2 test server (kannel-extras) as a peer we did not write.
TEST(CimdPackagedServer, LogsInAndIsRefusedAWrongPassword) {
    const char* server = "/usr/lib/kannel/test/test_cimd2";
    struct stat st {};
    if (stat(server, &st) != 0) {
        GTEST_SKIP() << server << " is not installed (package kannel-extras)";
    }
    CIMDSetTimeout(3000);
    for (const char* password : {"bar1", "wrong"}) {
        int port = protocoltest::FreePort();
        protocoltest::Peer peer;
        ASSERT_TRUE(peer.StartListening({server, "--port", std::to_string(port), "--user", "foo1",
                                         "--password", "bar1", "--activity", "1"},
                                        port))
            << peer.error();
        int fd = protocoltest::NewSocket();
        ASSERT_EQ(CIMDConnect("", fd, "127.0.0.1", port), 0);
        int rc = CIMDBind("", fd, "foo1", password);
        if (std::string(password) == "bar1") {
            EXPECT_EQ(rc, 0) << CIMDErrorText(rc) << "\n" << Transcript();
            EXPECT_NE(Transcript().find("logged out"), std::string::npos) << Transcript();
        } else {
            EXPECT_GT(rc, 0) << CIMDErrorText(rc) << "\n" << Transcript();
        }
        close(fd);
    }
    CIMDSetTimeout(0);
}

}  // namespace

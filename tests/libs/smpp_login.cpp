// The SMPP client library against SMPP servers on loopback: the scripted server built on the npm
// package "smpp" (plain and TLS) and raw servers that split, garble, cut or withhold their answers.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "libs/deveri/deveri.h"
#include "libs/rovivez/rovivez.h"
#include "libs/zozeziv/zozeziv.h"
#include "tests/libs/protocol_peer.h"
#include "tests/support/temp_root.h"

namespace {

using protocoltest::Peer;

std::string Transcript() {
    std::vector<char> buffer(static_cast<size_t>(SMPPGetTranscript(nullptr, 0)) + 1);
    SMPPGetTranscript(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

struct LoginCase {
    const char* name;
    const char* scenario;
    int version;
    int command;
    const char* user;
    const char* password;
    int expected;
    const char* textPart;    // in SMPPErrorText(expected), when not null
    const char* transcript;  // in the transcript, when not null
};

class SmppLogin : public ::testing::TestWithParam<LoginCase> {
  protected:
    void SetUp() override {
        std::string missing = protocoltest::NodePeersMissing();
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        SMPPSetDebugMode(1);
        SMPPSetTimeout(2000);
    }
    void TearDown() override { SMPPSetTimeout(0); }
};

TEST_P(SmppLogin, AgainstTheServer) {
    const LoginCase& c = GetParam();
    if (std::string(c.scenario) == "silent") {
        SMPPSetTimeout(300);
    }
    Peer peer;
    ASSERT_TRUE(peer.StartNode("smpp-peer.js", {"--scenario", c.scenario, "--user", "zelmo",
                                                "--password", "longpassword12"}))
        << peer.error();
    int fd = protocoltest::NewSocket();
    ASSERT_EQ(SMPPConnect(fd, 0, "127.0.0.1#2", peer.port()), 0);
    int rc = SMPPBind(fd, nullptr, 0, c.version, c.command, c.user, c.password, "");
    EXPECT_EQ(rc, c.expected) << SMPPErrorText(rc) << "\n" << Transcript();
    if (c.textPart) {
        EXPECT_NE(std::string(SMPPErrorText(rc)).find(c.textPart), std::string::npos)
            << SMPPErrorText(rc);
    }
    if (c.transcript) {
        EXPECT_NE(Transcript().find(c.transcript), std::string::npos) << Transcript();
    }
    if (rc == 0 && std::string(c.scenario) != "split") {
        EXPECT_EQ(SMPPUnbind(fd, nullptr, 0, c.version), 0) << Transcript();
    }
    EXPECT_EQ(Transcript().find("longpassword12"), std::string::npos) << "password shown";
    close(fd);
}

const LoginCase kCases[] = {
    {"GoodTransmitter34", "v34", 0x34, 2, "zelmo", "longpassword12", 0, nullptr,
     "password has 14 characters, more than the 8 SMPP 3.4 allows; sent as given"},
    {"GoodReceiver34", "v34", 0x34, 1, "zelmo", "longpassword12", 0, nullptr, "bind_receiver_resp"},
    {"GoodTransceiver34", "v34", 0x34, 9, "zelmo", "longpassword12", 0, nullptr,
     "bound to \"zelmopeer\""},
    {"BadPassword", "v34", 0x34, 2, "zelmo", "wrong", 0x0E,
     "ESME_RINVPASWD (0x0000000E): Invalid Password", "status=0x0000000E length=16"},
    {"BadSystemId", "v34", 0x34, 2, "nobody", "longpassword12", 0x0F,
     "ESME_RINVSYSID (0x0000000F): Invalid System ID", nullptr},
    {"V33Transceiver", "v33", 0x33, 9, "zelmo", "longpassword12", ROVIVEZ_E_NO_TRANSCEIVER,
     "transceiver not supported by the server", "generic_nack"},
    {"V33Transmitter", "v33", 0x33, 2, "zelmo", "longpassword12", 0, nullptr,
     "interface_version=0x33"},
    {"V33TransceiverWrongPassword", "v33", 0x33, 9, "zelmo", "wrong", ROVIVEZ_E_NO_TRANSCEIVER,
     nullptr, nullptr},
    {"EnquireLinkAnsweredMeanwhile", "enquire", 0x34, 2, "zelmo", "longpassword12", 0, nullptr,
     "sent enquire_link_resp"},
    {"SplitAcrossReads", "split", 0x34, 2, "zelmo", "x", 0, nullptr, "bound to \"zelmopeer\""},
    {"Garbage", "garbage", 0x34, 2, "zelmo", "x", ROVIVEZ_E_GARBAGE, "not SMPP", nullptr},
    {"OverLongPdu", "toolong", 0x34, 2, "zelmo", "x", ROVIVEZ_E_TOO_LONG, "over-long", nullptr},
    {"ClosedMidPdu", "midclose", 0x34, 2, "zelmo", "x", ROVIVEZ_E_CLOSED_MID_PDU, "middle of a PDU",
     nullptr},
    {"SilentServer", "silent", 0x34, 2, "zelmo", "x", ROVIVEZ_E_TIMEOUT, "No answer", nullptr},
};

INSTANTIATE_TEST_SUITE_P(Cases, SmppLogin, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Address range, bind TON and NPI come from section SMPP of the configuration file.
TEST(SmppBind, TakesAddressRangeAndBindTonNpiFromTheConfiguration) {
    std::string missing = protocoltest::NodePeersMissing();
    if (!missing.empty()) {
        GTEST_SKIP() << missing;
    }
    testsupport::TempRoot root;
    std::string ini = root.Path("ZIZOD.INI");
    testsupport::WriteFile(ini, "[SMPP]\r\nAddressRange=^4477\r\nBindTON=1\r\nBindNPI=9\r\n");
    SMSIniSetFilename(ini.c_str());
    Peer peer;
    ASSERT_TRUE(peer.StartNode("smpp-peer.js", {"--user", "zelmo", "--password", "pw"}))
        << peer.error();
    int fd = protocoltest::NewSocket();
    ASSERT_EQ(SMPPConnect(fd, 0, "localhost", peer.port()), 0);
    EXPECT_EQ(SMPPBind(fd, nullptr, 0, 0x34, 2, "zelmo", "pw", "VMA"), 0) << Transcript();
    EXPECT_NE(Transcript().find("system_type=\"VMA\" interface_version=0x34 addr_ton=1 "
                                "addr_npi=9 address_range=\"^4477\""),
              std::string::npos)
        << Transcript();
    char id[32];
    EXPECT_EQ(SMPPSubmitMessage(fd, nullptr, 0, "Zelmo", "+447700900123", "Hello", id, sizeof id),
              0);
    EXPECT_STREQ(id, "peer-1");
    EXPECT_EQ(SMPPUnbind(fd, nullptr, 0, 0x34), 0);
    close(fd);
    SMSIniSetFilename(nullptr);
}

std::string Pdu(uint32_t id, uint32_t status, uint32_t sequence, const std::string& body) {
    std::string out;
    for (uint32_t v : {static_cast<uint32_t>(16 + body.size()), id, status, sequence}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            out += static_cast<char>(v >> shift);
        }
    }
    return out + body;
}

// A server that answers the bind with `before` and then the bind response of `status`, and keeps
// what the client sends after its bind until the client closes.
struct ScriptedBindServer {
    std::string before;
    uint32_t status = 0;
    std::string after;

    void Serve(int fd) {
        std::string got;
        char chunk[512];
        auto u32 = [&](size_t at) {
            uint32_t v = 0;
            for (size_t i = 0; i < 4; ++i) {
                v = v << 8 | static_cast<unsigned char>(got[at + i]);
            }
            return v;
        };
        while (got.size() < 16 || got.size() < u32(0)) {
            long n = recv(fd, chunk, sizeof chunk, 0);
            if (n <= 0) {
                return;
            }
            got.append(chunk, static_cast<size_t>(n));
        }
        const uint32_t sequence = u32(12);
        std::string answer = before + Pdu(u32(4) | 0x80000000u, status, sequence,
                                          status == 0 ? std::string("peer\0", 5) : "");
        send(fd, answer.data(), answer.size(), MSG_NOSIGNAL);
        after = got.substr(u32(0));
        for (long n; (n = recv(fd, chunk, sizeof chunk, 0)) > 0;) {
            after.append(chunk, static_cast<size_t>(n));
        }
    }
};

// Requests of the server met while waiting for the bind response are answered as SMPP 3.4 says,
// and only statuses the protocol knows are passed on as results.
TEST(SmppBind, ServerRequestsAndStatusesMetWhileBinding) {
    // source_addr 1/1 "123", esme_addr 1/1 "456"
    const std::string alertBody =
        std::string("\x01\x01") + "123" + '\0' + "\x01\x01" + "456" + '\0';
    struct Case {
        const char* name;
        std::string before;
        uint32_t status;
        int expected;
        std::string reply;  // what the client sends after its bind
    } cases[] = {
        {"enquire_link", Pdu(0x15, 0, 7, ""), 0, 0, Pdu(0x80000015, 0, 7, "")},
        {"alert_notification has no response", Pdu(0x102, 0, 8, alertBody), 0, 0, ""},
        {"status known to SMPP", "", 0x0E, 0x0E, ""},
        {"status that reads as a library failure", "", 0xFFFFFFFEu, ROVIVEZ_E_BAD_RESPONSE, ""},
        {"status above the int range", "", 0x80000000u, ROVIVEZ_E_BAD_RESPONSE, ""},
    };
    for (const Case& c : cases) {
        ScriptedBindServer script{c.before, c.status, ""};
        int rc = 1;
        {
            protocoltest::LoopbackServer server([&](int fd) { script.Serve(fd); });
            int fd = protocoltest::NewSocket();
            ASSERT_EQ(SMPPConnect(fd, 0, "127.0.0.1", server.port()), 0);
            rc = SMPPBind(fd, nullptr, 0, 0x34, 2, "zelmo", "pw", "");
            close(fd);
        }
        EXPECT_EQ(rc, c.expected) << c.name << "\n" << SMPPErrorText(rc) << "\n" << Transcript();
        EXPECT_EQ(script.after, c.reply) << c.name << "\n" << Transcript();
    }
}

TEST(SmppConnect, RefusedPortGivesAnErrorNumber) {
    int fd = protocoltest::NewSocket();
    int port = protocoltest::FreePort();
    EXPECT_NE(SMPPConnect(fd, 0, "127.0.0.1", port), 0);
    EXPECT_NE(Transcript().find("failed"), std::string::npos);
    close(fd);
}

TEST(SmppErrorText, NamesCodeInHexAndText) {
    EXPECT_STREQ(SMPPErrorText(0x0D), "ESME_RBINDFAIL (0x0000000D): Bind Failed");
    EXPECT_STREQ(SMPPErrorText(0x58),
                 "ESME_RTHROTTLED (0x00000058): Throttling error (ESME has exceeded allowed "
                 "message limits)");
    EXPECT_STREQ(SMPPErrorText(0x401), "0x00000401: SMSC vendor-specific error");
    EXPECT_STREQ(SMPPErrorText(0x1234), "0x00001234: Unknown SMPP error");
}

// The same login over TLS: the SMPP server with a certificate made by the TLS library.
TEST(SmppOverTls, BindsAndUnbindsThroughTheTlsSession) {
    std::string missing = protocoltest::NodePeersMissing();
    if (!missing.empty()) {
        GTEST_SKIP() << missing;
    }
    testsupport::TempRoot root(/*asDataRoot=*/true);
    ASSERT_EQ(sslInitLib(), 1);
    ASSERT_EQ(sslGenerateCertificate("GB", "", "London", "Zelmo Test", "", "localhost",
                                     "ops@example.com", "challenge"),
              1);
    char dir[ZOZEZIV_MAX_PATH];
    GetProgramDataDirectory(dir);
    std::string tls = std::string(dir) + "SSL.KEY," + dir + "SSL.CRT";
    Peer peer;
    ASSERT_TRUE(
        peer.StartNode("smpp-peer.js", {"--tls", tls, "--user", "zelmo", "--password", "pw"}))
        << peer.error();
    int fd = protocoltest::NewSocket();
    ASSERT_EQ(SMPPConnect(fd, 0, "127.0.0.1", peer.port()), 0);
    char reason[DEVERI_ERROR_TEXT_SIZE] = "unset";
    DeveriSession session = sslInitSession(fd, reason);
    ASSERT_NE(session, nullptr) << reason;
    EXPECT_EQ(SMPPBind(fd, session, 0, 0x34, 9, "zelmo", "pw", ""), 0) << Transcript();
    EXPECT_EQ(SMPPBind(fd, session, 0, 0x34, 9, "zelmo", "bad", ""), 0x0E) << Transcript();
    EXPECT_EQ(SMPPUnbind(fd, session, 0, 0x34), 0) << Transcript();
    EXPECT_NE(Transcript().find("over the TLS session"), std::string::npos);
    sslFreeSession(session);
    close(fd);
}

}  // namespace

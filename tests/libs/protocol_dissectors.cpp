// The frames the protocol clients really send, taken at a server on loopback, written into a
// capture file and read back by Wireshark's dissectors (tshark): no malformed field, no error, the
// fields where they belong.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "libs/rirera/rirera.h"
#include "libs/rovivez/rovivez.h"
#include "libs/videder/videder.h"
#include "tests/libs/protocol_peer.h"
#include "tests/support/temp_root.h"

namespace {

// Serves one connection: records the first frame the client sends (up to its end byte, or the
// first `smppLength` bytes read from an SMPP header), then closes.
std::string TakeFirstFrame(int fd, bool smpp) {
    std::string got;
    char buffer[4096];
    for (;;) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            return got;
        }
        ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) {
            return got;
        }
        got.append(buffer, static_cast<size_t>(n));
        if (smpp && got.size() >= 4) {
            size_t length = static_cast<unsigned char>(got[0]) << 24 |
                            static_cast<unsigned char>(got[1]) << 16 |
                            static_cast<unsigned char>(got[2]) << 8 |
                            static_cast<unsigned char>(got[3]);
            if (got.size() >= length) {
                return got.substr(0, length);
            }
        }
        if (!smpp && got.find('\x03') != std::string::npos) {
            return got.substr(0, got.find('\x03') + 1);
        }
    }
}

void Put16(std::string& out, uint16_t v) {
    out += static_cast<char>(v >> 8);
    out += static_cast<char>(v);
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v >> 16));
    Put16(out, static_cast<uint16_t>(v));
}
void PutLe32(std::string& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) {
        out += static_cast<char>(v >> (8 * i));
    }
}

// A capture file (raw IPv4 link type) with one TCP segment per payload, from 127.0.0.1:40000 to
// 127.0.0.1:port.
std::string CaptureFile(const std::vector<std::string>& payloads, uint16_t port) {
    std::string file;
    PutLe32(file, 0xa1b2c3d4);
    file += std::string("\x02\x00\x04\x00", 4);  // version 2.4
    PutLe32(file, 0);
    PutLe32(file, 0);
    PutLe32(file, 65535);
    PutLe32(file, 101);  // raw IP
    uint32_t seq = 1;
    for (size_t i = 0; i < payloads.size(); ++i) {
        std::string ip;
        const std::string& data = payloads[i];
        uint16_t total = static_cast<uint16_t>(20 + 20 + data.size());
        ip += "\x45";
        ip += '\0';
        Put16(ip, total);
        Put16(ip, static_cast<uint16_t>(i + 1));
        Put16(ip, 0x4000);
        ip += '\x40';
        ip += '\x06';
        Put16(ip, 0);
        Put32(ip, 0x7f000001);
        Put32(ip, 0x7f000001);
        uint32_t sum = 0;
        for (size_t b = 0; b < 20; b += 2) {
            sum += static_cast<unsigned char>(ip[b]) << 8 | static_cast<unsigned char>(ip[b + 1]);
        }
        while (sum >> 16) {
            sum = (sum & 0xffff) + (sum >> 16);
        }
        ip[10] = static_cast<char>(~sum >> 8);
        ip[11] = static_cast<char>(~sum);
        Put16(ip, static_cast<uint16_t>(40000 + i));  // one connection per frame
        Put16(ip, port);
        Put32(ip, seq);
        Put32(ip, 1);
        ip += '\x50';  // header of 20 bytes
        ip += '\x18';  // PSH, ACK
        Put16(ip, 65535);
        Put16(ip, 0);  // checksum not computed (not checked by the dissector by default)
        Put16(ip, 0);
        ip += data;
        PutLe32(file, 1700000000 + static_cast<uint32_t>(i));
        PutLe32(file, 0);
        PutLe32(file, static_cast<uint32_t>(ip.size()));
        PutLe32(file, static_cast<uint32_t>(ip.size()));
        file += ip;
    }
    return file;
}

class Dissectors : public ::testing::Test {
  protected:
    void SetUp() override {
        tshark_ = protocoltest::FindProgram("tshark");
        if (tshark_.empty()) {
            GTEST_SKIP() << "tshark is not installed (package tshark)";
        }
    }

    // tshark's full decode of the frames with `protocol` decoded on the port.
    std::string Decode(const std::vector<std::string>& frames, const std::string& protocol,
                       const std::vector<std::string>& fields) {
        std::string path = root_.Path(protocol + ".pcap");
        testsupport::WriteFile(path, CaptureFile(frames, 7777));
        std::string out;
        std::vector<std::string> argv = {
            tshark_, "-n", "-r", path, "-d", "tcp.port==7777," + protocol, "-V"};
        int rc = protocoltest::RunProgram(argv, &out);
        EXPECT_EQ(rc, 0) << out;
        if (!fields.empty()) {
            std::vector<std::string> f = {
                tshark_, "-n", "-r", path, "-d", "tcp.port==7777," + protocol, "-T", "fields"};
            for (const std::string& field : fields) {
                f.push_back("-e");
                f.push_back(field);
            }
            std::string values;
            protocoltest::RunProgram(f, &values);
            out += "\nFIELDS\n" + values;
        }
        return out;
    }

    static void ExpectClean(const std::string& decode) {
        EXPECT_EQ(decode.find("Malformed"), std::string::npos) << decode;
        EXPECT_EQ(decode.find("Expert Info (Error"), std::string::npos) << decode;
        EXPECT_EQ(decode.find("incorrect"), std::string::npos) << decode;
    }

    std::string tshark_;
    testsupport::TempRoot root_;
};

TEST_F(Dissectors, SmppBindFramesOfTheLibrary) {
    SMPPSetTimeout(300);
    std::vector<std::string> frames;
    for (int command : {1, 2, 9}) {
        std::string frame;
        protocoltest::LoopbackServer server([&](int fd) { frame = TakeFirstFrame(fd, true); });
        int fd = protocoltest::NewSocket();
        ASSERT_EQ(SMPPConnect(fd, 0, "127.0.0.1", server.port()), 0);
        SMPPBind(fd, nullptr, 0, 0x34, command, "zelmo", "pw123", "VMA");
        close(fd);
        frames.push_back(frame);
    }
    SMPPSetTimeout(0);
    std::string decode =
        Decode(frames, "smpp",
               {"smpp.command_id", "smpp.system_id", "smpp.password", "smpp.system_type",
                "smpp.interface_version"});  // version in decimal
    ExpectClean(decode);
    EXPECT_NE(decode.find("0x00000001\tzelmo\tpw123\tVMA\t52"), std::string::npos) << decode;
    EXPECT_NE(decode.find("0x00000002\tzelmo\tpw123\tVMA\t52"), std::string::npos) << decode;
    EXPECT_NE(decode.find("0x00000009\tzelmo\tpw123\tVMA\t52"), std::string::npos) << decode;
}

TEST_F(Dissectors, UcpLoginFrameOfTheLibrary) {
    UCPSetTimeout(300);
    std::string frame;
    {
        protocoltest::LoopbackServer server([&](int fd) { frame = TakeFirstFrame(fd, false); });
        int fd = protocoltest::NewSocket();
        ASSERT_EQ(UCPConnect(fd, 0, "127.0.0.1", server.port()), 0);
        UCPBind(fd, nullptr, "0612345", "Pass/word");
        close(fd);
    }
    UCPSetTimeout(0);
    std::string decode =
        Decode({frame}, "ucp", {"ucp.hdr.OT", "ucp.parm.OAdC", "ucp.parm.PWD", "ucp.parm.VERS"});
    ExpectClean(decode);
    EXPECT_NE(decode.find("60\t0612345\tPass/word\t0100"), std::string::npos) << decode;
}

TEST_F(Dissectors, CimdLoginFrameOfTheLibrary) {
    CIMDSetTimeout(300);
    std::string frame;
    {
        protocoltest::LoopbackServer server([&](int fd) { frame = TakeFirstFrame(fd, false); });
        int fd = protocoltest::NewSocket();
        ASSERT_EQ(CIMDConnect("", fd, "127.0.0.1", server.port()), 0);
        CIMDBind("", fd, "zelmo", "s3cr");
        close(fd);
    }
    CIMDSetTimeout(0);
    std::string decode =
        Decode({frame}, "cimd", {"cimd.opcode", "cimd.ui", "cimd.passwd", "cimd.chksum"});
    ExpectClean(decode);
    EXPECT_NE(decode.find("1\tzelmo\ts3cr\t"), std::string::npos) << decode;
}

// Whole sessions against the test servers, captured live on the loopback interface: every SMPP,
// UCP/EMI and CIMD2 frame of both sides read by the dissectors without a fault.
TEST_F(Dissectors, LiveSessionsCapturedOnLoopback) {
    std::string missing = protocoltest::NodePeersMissing();
    if (!missing.empty()) {
        GTEST_SKIP() << missing;
    }
    std::string dumpcap = protocoltest::FindProgram("dumpcap");
    if (dumpcap.empty()) {
        GTEST_SKIP() << "dumpcap is not installed (package tshark)";
    }
    protocoltest::Peer smpp, ucp, cimd;
    ASSERT_TRUE(smpp.StartNode("smpp-peer.js", {"--user", "zelmo", "--password", "pw"}));
    ASSERT_TRUE(ucp.StartNode("ucp-peer.js", {"--user", "0612345", "--password", "pw"}));
    ASSERT_TRUE(cimd.StartNode("cimd-peer.js", {"--user", "zelmo", "--password", "pw"}));
    std::string ports[] = {std::to_string(smpp.port()), std::to_string(ucp.port()),
                           std::to_string(cimd.port())};

    std::string capture = root_.Path("live.pcapng"), log = root_.Path("dumpcap.log");
    protocoltest::Peer capturer;
    ASSERT_TRUE(capturer.StartLogged(
        {dumpcap, "-q", "-i", "lo", "-f",
         "tcp port " + ports[0] + " or tcp port " + ports[1] + " or tcp port " + ports[2], "-w",
         capture},
        log));
    // dumpcap says when it captures, or why it cannot.
    std::string said;
    for (int i = 0; i < 100; ++i) {
        said = testsupport::ReadFile(log);
        if (said.find("Capturing on") != std::string::npos ||
            said.find("dumpcap: ") != std::string::npos) {
            break;
        }
        usleep(100 * 1000);
    }
    if (said.find("Capturing on") == std::string::npos) {
        GTEST_SKIP() << "capturing on loopback is not possible here (" << said
                     << "); the capture-file tests above check the frames";
    }

    int fd = protocoltest::NewSocket();
    ASSERT_EQ(SMPPConnect(fd, 0, "127.0.0.1", smpp.port()), 0);
    ASSERT_EQ(SMPPBind(fd, nullptr, 0, 0x34, 9, "zelmo", "pw", ""), 0);
    EXPECT_EQ(SMPPUnbind(fd, nullptr, 0, 0x34), 0);
    close(fd);
    fd = protocoltest::NewSocket();
    ASSERT_EQ(UCPConnect(fd, 0, "127.0.0.1", ucp.port()), 0);
    EXPECT_EQ(UCPBind(fd, nullptr, "0612345", "pw"), 0);
    close(fd);
    fd = protocoltest::NewSocket();
    ASSERT_EQ(CIMDConnect("", fd, "127.0.0.1", cimd.port()), 0);
    EXPECT_EQ(CIMDBind("", fd, "zelmo", "pw"), 0);
    close(fd);

    std::vector<std::string> read = {tshark_, "-n",
                                     "-r",    capture,
                                     "-d",    "tcp.port==" + ports[0] + ",smpp",
                                     "-d",    "tcp.port==" + ports[1] + ",ucp",
                                     "-d",    "tcp.port==" + ports[2] + ",cimd"};
    std::vector<std::string> fields = read;
    for (const char* f : {"-Y", "smpp || ucp || cimd", "-T", "fields", "-e", "smpp.command_id",
                          "-e", "ucp.hdr.O_R", "-e", "cimd.opcode"}) {
        fields.push_back(f);
    }
    // Ten frames: bind, bind_resp, unbind, unbind_resp; login and answer; login, answer, logout,
    // answer. dumpcap writes them out shortly after they pass.
    std::string seen;
    for (int i = 0; i < 100; ++i) {
        protocoltest::RunProgram(fields, &seen);
        size_t frames = 0;  // lines of fields; tshark may add a line about running as root
        for (size_t at = 0; (at = seen.find('\t', at)) != std::string::npos; ++frames) {
            at = seen.find('\n', at);
            if (at == std::string::npos) {
                break;
            }
        }
        if (frames >= 10) {
            break;
        }
        usleep(100 * 1000);
    }
    capturer.Stop();
    for (const char* expected :
         {"0x00000009\t\t", "0x80000009\t\t", "0x00000006\t\t", "0x80000006\t\t", "\t'O'\t",
          "\t'R'\t", "\t\t1\n", "\t\t51\n", "\t\t2\n", "\t\t52\n"}) {
        EXPECT_NE(seen.find(expected), std::string::npos) << expected << " in\n" << seen;
    }
    std::vector<std::string> full = read;
    full.push_back("-V");
    std::string decode;
    protocoltest::RunProgram(full, &decode);
    ExpectClean(decode);
}

}  // namespace

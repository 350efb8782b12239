// The CIMD2 client library against CIMD2 servers on loopback: the test server of
// tools/protocol-peers (error responses, checksums, broken answers) and, where the package is
// installed, the CIMD2 test server that ships with Debian's kannel-extras.
#include <gtest/gtest.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

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

// The packaged CIMD2 test server (kannel-extras) as a peer we did not write. It listens on every
// interface, so it runs in a network namespace of its own in which only loopback exists: a child
// process enters one, starts the server and runs the client calls, and reports back through a pipe.
std::string RunInPrivateNetwork(const char* server) {
    if (unshare(CLONE_NEWNET) != 0) {
        return "SKIP no private network namespace (needs root): " + std::string(strerror(errno));
    }
    int s = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strcpy(ifr.ifr_name, "lo");
    bool up = ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    ifr.ifr_flags |= IFF_UP | IFF_RUNNING;
    up = up && ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    close(s);
    if (!up) {
        return "SKIP loopback of the private network namespace cannot be brought up";
    }
    CIMDSetTimeout(3000);
    std::string report;
    for (const char* password : {"bar1", "wrong"}) {
        int port = protocoltest::FreePort();
        protocoltest::Peer peer;
        if (!peer.StartListening({server, "--port", std::to_string(port), "--user", "foo1",
                                  "--password", "bar1", "--activity", "1"},
                                 port)) {
            return "FAIL " + peer.error();
        }
        int fd = protocoltest::NewSocket();
        int rc = CIMDConnect("", fd, "127.0.0.1", port);
        if (rc == 0) {
            rc = CIMDBind("", fd, "foo1", password);
        }
        report += std::to_string(rc) + "\n";
        close(fd);
    }
    return report + Transcript();
}

TEST(CimdPackagedServer, LogsInAndIsRefusedAWrongPassword) {
    const char* server = "/usr/lib/kannel/test/test_cimd2";
    struct stat st {};
    if (stat(server, &st) != 0) {
        GTEST_SKIP() << server << " is not installed (package kannel-extras)";
    }
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        close(fds[0]);
        std::string report = RunInPrivateNetwork(server);
        ssize_t ignored = write(fds[1], report.data(), report.size());
        (void)ignored;
        _exit(0);
    }
    close(fds[1]);
    std::string report;
    char buffer[4096];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0) {
        report.append(buffer, static_cast<size_t>(n));
    }
    close(fds[0]);
    waitpid(child, nullptr, 0);
    if (report.rfind("SKIP ", 0) == 0) {
        GTEST_SKIP() << report.substr(5);
    }
    ASSERT_NE(report.rfind("FAIL ", 0), 0u) << report;
    ASSERT_NE(report.find('\n'), std::string::npos) << report;
    int good = std::atoi(report.c_str());
    int wrong = std::atoi(report.c_str() + report.find('\n') + 1);
    EXPECT_EQ(good, 0) << CIMDErrorText(good) << "\n" << report;
    EXPECT_GT(wrong, 0) << CIMDErrorText(wrong) << "\n" << report;
}

}  // namespace

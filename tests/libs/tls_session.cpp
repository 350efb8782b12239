// The TLS library: certificate generation checked with the openssl command, handshakes against
// openssl s_server (good, expired certificate) and against servers that are no TLS servers, and a
// session between the library's own client and server sides.
#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "libs/deveri/deveri.h"
#include "libs/zozeziv/zozeziv.h"
#include "tests/libs/protocol_peer.h"
#include "tests/support/temp_root.h"

namespace {

using protocoltest::RunProgram;

std::string Transcript() {
    std::vector<char> buffer(static_cast<size_t>(sslGetTranscript(nullptr, 0)) + 1);
    sslGetTranscript(buffer.data(), static_cast<int>(buffer.size()));
    return buffer.data();
}

std::string DataDir() {
    char dir[ZOZEZIV_MAX_PATH];
    GetProgramDataDirectory(dir);
    return dir;
}

class Tls : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(sslInitLib(), 1);
        sslSetTimeout(3000);
    }
    void TearDown() override { sslSetTimeout(0); }
    bool HaveOpenssl() { return !protocoltest::FindProgram("openssl").empty(); }
    testsupport::TempRoot root_{/*asDataRoot=*/true};
};

TEST_F(Tls, GeneratedCertificateAndRequestReadByOpenssl) {
    EXPECT_EQ(sslServerCertExists(), 0);
    ASSERT_EQ(sslGenerateCertificate("DE", "Bavaria", "Munich", "Zelmo Test GmbH", "Ops",
                                     "gw.example.com", "ops@example.com", "challenge!"),
              1);
    std::string dir = DataDir();
    struct stat st {};
    ASSERT_EQ(stat((dir + "SSL.KEY").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    EXPECT_EQ(sslServerCertExists(), 1);
    EXPECT_EQ(sslSignedCertExists(), 0);
    if (!HaveOpenssl()) {
        GTEST_SKIP() << "the openssl command is not installed (package openssl)";
    }
    std::string out;
    EXPECT_EQ(RunProgram({"openssl", "req", "-verify", "-noout", "-in", dir + "SSL.CSR"}, &out), 0)
        << out;
    EXPECT_NE(out.find("verify OK"), std::string::npos) << out;
    EXPECT_EQ(RunProgram({"openssl", "req", "-noout", "-text", "-in", dir + "SSL.CSR"}, &out), 0);
    EXPECT_NE(out.find("challengePassword"), std::string::npos) << out;
    EXPECT_NE(out.find("Public-Key: (2048 bit)"), std::string::npos) << out;
    EXPECT_EQ(RunProgram({"openssl", "x509", "-noout", "-subject", "-issuer", "-ext",
                          "subjectAltName", "-nameopt", "RFC2253", "-in", dir + "SSL.CRT"},
                         &out),
              0)
        << out;
    EXPECT_NE(out.find("subject=emailAddress=ops@example.com,CN=gw.example.com,OU=Ops,"
                       "O=Zelmo Test GmbH,L=Munich,ST=Bavaria,C=DE"),
              std::string::npos)
        << out;
    EXPECT_NE(out.find("DNS:gw.example.com"), std::string::npos) << out;
    EXPECT_EQ(RunProgram({"openssl", "rsa", "-check", "-noout", "-in", dir + "SSL.KEY"}, &out), 0)
        << out;

    // A CA signs the request; the signed certificate saved as SSL.CA is recognised. The CA's own
    // certificate, whose key is another, is not.
    std::string ca = root_.Path("ca");
    ASSERT_EQ(
        RunProgram({"openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Zelmo Test CA", "-keyout", ca + ".key", "-out", ca + ".pem"},
                   &out),
        0)
        << out;
    ASSERT_EQ(
        RunProgram({"openssl", "x509", "-req", "-days", "2", "-in", dir + "SSL.CSR", "-CA",
                    ca + ".pem", "-CAkey", ca + ".key", "-CAcreateserial", "-out", dir + "SSL.CA"},
                   &out),
        0)
        << out;
    EXPECT_EQ(sslSignedCertExists(), 1);
    std::rename((ca + ".pem").c_str(), (dir + "SSL.CA").c_str());
    EXPECT_EQ(sslSignedCertExists(), 0);
}

TEST_F(Tls, CountryOfAnotherLengthIsLeftOutAndEmptyFieldsSkipped) {
    ASSERT_EQ(sslGenerateCertificate("Germany", "", "", "Zelmo", "", "10.1.2.3", "a@b.c", "pw"), 1);
    if (!HaveOpenssl()) {
        GTEST_SKIP() << "the openssl command is not installed (package openssl)";
    }
    std::string out;
    RunProgram({"openssl", "x509", "-noout", "-subject", "-ext", "subjectAltName", "-nameopt",
                "RFC2253", "-in", DataDir() + "SSL.CRT"},
               &out);
    EXPECT_NE(out.find("subject=emailAddress=a@b.c,CN=10.1.2.3,O=Zelmo\n"), std::string::npos)
        << out;
    EXPECT_NE(out.find("IP Address:10.1.2.3"), std::string::npos) << out;
}

// Writes a key and a self-signed certificate that expired yesterday.
void WriteExpiredCertificate(const std::string& key, const std::string& cert) {
    EVP_PKEY* pkey = EVP_RSA_gen(2048);
    X509* x = X509_new();
    X509_set_version(x, X509_VERSION_3);
    ASN1_INTEGER_set(X509_get_serialNumber(x), 7);
    X509_NAME* name = X509_get_subject_name(x);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                               reinterpret_cast<const unsigned char*>("expired.test"), -1, -1, 0);
    X509_set_issuer_name(x, name);
    X509_gmtime_adj(X509_getm_notBefore(x), -3L * 24 * 3600);
    X509_gmtime_adj(X509_getm_notAfter(x), -1L * 24 * 3600);
    X509_set_pubkey(x, pkey);
    X509_sign(x, pkey, EVP_sha256());
    FILE* f = std::fopen(key.c_str(), "w");
    PEM_write_PrivateKey(f, pkey, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    f = std::fopen(cert.c_str(), "w");
    PEM_write_X509(f, x);
    std::fclose(f);
    X509_free(x);
    EVP_PKEY_free(pkey);
}

struct ServerCase {
    const char* name;
    bool expired;
    bool ok;
    const char* text;  // in the reason or the transcript
};

class OpensslServer : public Tls, public ::testing::WithParamInterface<ServerCase> {};

TEST_P(OpensslServer, Handshake) {
    const ServerCase& c = GetParam();
    if (!HaveOpenssl()) {
        GTEST_SKIP() << "the openssl command is not installed (package openssl)";
    }
    std::string key = root_.Path("server.key"), cert = root_.Path("server.crt");
    if (c.expired) {
        WriteExpiredCertificate(key, cert);
    } else {
        ASSERT_EQ(sslGenerateCertificate("GB", "", "", "Zelmo", "", "localhost", "a@b.c", "x"), 1);
        key = DataDir() + "SSL.KEY";
        cert = DataDir() + "SSL.CRT";
    }
    int port = protocoltest::FreePort();
    protocoltest::Peer server;
    ASSERT_TRUE(server.StartListening(
        {"openssl", "s_server", "-accept", "127.0.0.1:" + std::to_string(port), "-cert", cert,
         "-key", key, "-quiet"},
        port))
        << server.error();
    int fd = protocoltest::ConnectLoopback(port);
    ASSERT_GE(fd, 0);
    char reason[DEVERI_ERROR_TEXT_SIZE] = "unset";
    DeveriSession session = sslInitSession(fd, reason);
    EXPECT_EQ(session != nullptr, c.ok) << reason;
    std::string seen = std::string(reason) + "\n" + Transcript();
    EXPECT_NE(seen.find(c.text), std::string::npos) << seen;
    if (session) {
        EXPECT_NE(Transcript().find(
                      "Peer certificate subject: emailAddress=a@b.c,CN=localhost,O=Zelmo,C=GB"),
                  std::string::npos)
            << Transcript();
        EXPECT_NE(Transcript().find("Valid until: "), std::string::npos);
        EXPECT_NE(Transcript().find("Verifies against the system's trusted authorities: no ("),
                  std::string::npos)
            << Transcript();
        const char line[] = "ping\n";
        EXPECT_EQ(sslSend(session, line, sizeof line - 1), 5);
        sslFreeSession(session);
    }
    close(fd);
}

const ServerCase kServers[] = {
    {"SelfSignedCertificate", false, true, "Protocol: TLSv1.3"},
    {"ExpiredCertificate", true, false, "certificate has expired"},
};
INSTANTIATE_TEST_SUITE_P(Cases, OpensslServer, ::testing::ValuesIn(kServers),
                         [](const auto& info) { return std::string(info.param.name); });

// Servers that are no TLS servers: the reason says what happened.
TEST_F(Tls, PlainTcpOnATlsPortIsNamed) {
    protocoltest::LoopbackServer server([](int fd) {
        const char banner[] = "220 mail.example.com ESMTP ready\r\n";
        send(fd, banner, sizeof banner - 1, MSG_NOSIGNAL);
        char buffer[512];
        recv(fd, buffer, sizeof buffer, 0);
    });
    int fd = protocoltest::ConnectLoopback(server.port());
    char reason[DEVERI_ERROR_TEXT_SIZE];
    EXPECT_EQ(sslInitSession(fd, reason), nullptr);
    EXPECT_NE(std::string(reason).find("the server does not speak TLS on this port: it answered "
                                       "in plain TCP (\"220 mail.example.com ESMTP ready\")"),
              std::string::npos)
        << reason;
    close(fd);
}

TEST_F(Tls, PeerClosingAtOnceAndSilentPeer) {
    {
        protocoltest::LoopbackServer server([](int) {});
        int fd = protocoltest::ConnectLoopback(server.port());
        char reason[DEVERI_ERROR_TEXT_SIZE];
        EXPECT_EQ(sslInitSession(fd, reason), nullptr);
        EXPECT_EQ(std::string(reason).rfind("peer closed the connection", 0), 0u) << reason;
        close(fd);
    }
    {
        sslSetTimeout(300);
        int done[2];
        ASSERT_EQ(pipe(done), 0);
        protocoltest::LoopbackServer server([&](int) {
            char c;
            read(done[0], &c, 1);  // holds the connection open without a word
        });
        int fd = protocoltest::ConnectLoopback(server.port());
        char reason[DEVERI_ERROR_TEXT_SIZE];
        EXPECT_EQ(sslInitSession(fd, reason), nullptr);
        EXPECT_EQ(std::string(reason).rfind("no answer from the peer within", 0), 0u) << reason;
        write(done[1], "x", 1);
        close(fd);
        close(done[0]);
        close(done[1]);
    }
}

// The library's server side with the generated certificate, and its client side, talk.
TEST_F(Tls, AcceptedSessionCarriesDataBothWays) {
    ASSERT_EQ(sslGenerateCertificate("GB", "", "", "Zelmo", "", "localhost", "a@b.c", "x"), 1);
    std::string serverSaw;
    protocoltest::LoopbackServer server([&](int fd) {
        char reason[DEVERI_ERROR_TEXT_SIZE];
        DeveriSession s = sslAcceptSession(fd, reason);
        if (!s) {
            serverSaw = std::string("accept failed: ") + reason;
            return;
        }
        char buffer[64];
        int n = sslRecv(s, buffer, sizeof buffer);
        serverSaw.assign(buffer, n > 0 ? static_cast<size_t>(n) : 0);
        sslSend(s, "250 OK\r\n250 more\r\n", 18);
        sslFreeSession(s);
    });
    int fd = protocoltest::ConnectLoopback(server.port());
    char reason[DEVERI_ERROR_TEXT_SIZE];
    DeveriSession client = sslInitSession(fd, reason);
    ASSERT_NE(client, nullptr) << reason;
    EXPECT_EQ(sslSend(client, "EHLO zelmo\r\n", 12), 12);
    char buffer[8];
    EXPECT_EQ(sslRecv(client, buffer, 8), 8);  // "250 OK\r\n" of the 18 bytes; the rest waits
    EXPECT_EQ(std::string(buffer, 8), "250 OK\r\n");
    EXPECT_EQ(sslDataPending(client), 10);
    char rest[32];
    EXPECT_EQ(sslRecv(client, rest, sizeof rest), 10);
    EXPECT_EQ(sslRecv(client, rest, sizeof rest), 0);  // the server closed
    sslFreeSession(client);
    close(fd);
    EXPECT_EQ(serverSaw, "EHLO zelmo\r\n");
}

TEST_F(Tls, NoCertificateNoServerSide) {
    protocoltest::LoopbackServer server([](int) {});
    int fd = protocoltest::ConnectLoopback(server.port());
    char reason[DEVERI_ERROR_TEXT_SIZE];
    EXPECT_EQ(sslAcceptSession(fd, reason), nullptr);
    EXPECT_STREQ(reason, "no server certificate: generate one first");
    close(fd);
}

}  // namespace

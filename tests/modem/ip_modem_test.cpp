// IP modems and the TCP helpers against the simulated terminal server on 127.0.0.1: telnet
// replies byte for byte, login and script prompts, the username diagnosis, a server that closes
// at every step, host-name forms and the rotating start address.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "modem/ip_modem.h"
#include "modem_env.h"
#include "platform/ini.h"
#include "platform/net.h"
#include "platform/serial_port.h"

namespace {

using modemsim::ServerOptions;
using modemsim::ServerStep;
using modemtest::ModemEnv;

// The raw bytes the server has received, once at least `size` have arrived (real time, bounded).
std::string ReceivedAtLeast(const modemsim::Simulator& sim, std::size_t size) {
    for (int i = 0; i < 200 && sim.ServerReceived().size() < size; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return sim.ServerReceived();
}

int ConnectTo(const modemsim::Simulator& sim) {
    int s = platform::TcpSocket();
    EXPECT_EQ(modem::ConnectTcp(s, "127.0.0.1", sim.port()), 0);
    return s;
}

std::string Bytes(std::initializer_list<int> values) {
    std::string s;
    for (int v : values) {
        s += static_cast<char>(v);
    }
    return s;
}

class IpModem : public ModemEnv {
  protected:
    IpModem() : config_(false) { modem::SetModemConfigFile(config_.Path("ZIZOD.INI")); }
    ~IpModem() override { modem::SetModemConfigFile(""); }

    std::string Title(const modemsim::Simulator& sim) const {
        return "IPModem - 127.0.0.1:" + std::to_string(sim.port());
    }
    void Set(const modemsim::Simulator& sim, const char* key, const char* value) {
        ASSERT_TRUE(platform::IniWrite(config_.Path("ZIZOD.INI"),
                                       modem::IpModemSectionName(Title(sim)), key, value));
    }

    testsupport::TempRoot config_;
};

TEST_F(IpModem, TelnetCommandsAtTheHeadAreAnsweredByteForByte) {
    const int IAC = 255, DO = 253, DONT = 254, WILL = 251, WONT = 252, SB = 250, SE = 240,
              NOP = 241;
    struct Case {
        std::string greeting;
        std::string replies;
        std::string kept;  // what the buffer holds when the prompt is found
    } cases[] = {
        {Bytes({IAC, DO, 1}) + "Hello>", Bytes({IAC, DO, 3, IAC, WILL, 3, IAC, WONT, 1}), "Hello>"},
        {Bytes({IAC, DO, 3}) + "Hello>", Bytes({IAC, DO, 3, IAC, WILL, 3, IAC, WILL, 3}), "Hello>"},
        {Bytes({IAC, DO, 1, IAC, DO, 0}) + "Hello>",
         Bytes({IAC, DO, 3, IAC, WILL, 3, IAC, WONT, 1, IAC, WONT, 0}), "Hello>"},
        {Bytes({IAC, DONT, 5}) + "Hello>", Bytes({IAC, WONT, 5}), "Hello>"},
        {Bytes({IAC, SB, 24, 1, IAC, SE}) + "Hello>", "", "Hello>"},
        {Bytes({IAC, WILL, 1, IAC, NOP}) + "Hello>", "", "Hello>"},
        // Once text has come, later commands are data.
        {"Hi" + Bytes({IAC, DO, 1}) + "Hello>", "", "Hi" + Bytes({IAC, DO, 1}) + "Hello>"},
        // An escaped 255 is data.
        {Bytes({IAC, IAC}) + "Hello>", "", Bytes({IAC}) + "Hello>"},
    };
    for (const auto& c : cases) {
        ServerOptions o;
        o.steps = {ServerStep{c.greeting, "never"}};
        modemsim::Simulator sim({});
        ASSERT_TRUE(sim.StartServer(o));
        int s = ConnectTo(sim);
        char buffer[modem::kPromptBufferSize];
        std::size_t n = modem::WaitForPrompt(s, buffer, sizeof buffer, "Hello>", 10);
        EXPECT_EQ(std::string(buffer, n), c.kept);
        EXPECT_EQ(ReceivedAtLeast(sim, c.replies.size()), c.replies);
        close(s);
    }
}

TEST_F(IpModem, CommandCutInTheMiddleIsKeptUntilItsRestArrives) {
    const int IAC = 255, DO = 253, SB = 250, SE = 240;
    struct Case {
        std::string first, second, replies;
    } cases[] = {
        {Bytes({IAC}), Bytes({DO, 1}) + "Hello>", Bytes({IAC, DO, 3, 255, 251, 3, IAC, 252, 1})},
        {Bytes({IAC, DO}), Bytes({1}) + "Hello>", Bytes({IAC, DO, 3, 255, 251, 3, IAC, 252, 1})},
        {Bytes({IAC, SB, 24, 1}), Bytes({IAC, SE}) + "Hello>", ""},
    };
    for (const auto& c : cases) {
        ServerOptions o;
        o.steps = {ServerStep{c.first, ""}, ServerStep{c.second, "never", 50}};
        modemsim::Simulator sim({});
        ASSERT_TRUE(sim.StartServer(o));
        int s = ConnectTo(sim);
        char buffer[modem::kPromptBufferSize];
        std::size_t n = modem::WaitForPrompt(s, buffer, sizeof buffer, "Hello>", 10);
        EXPECT_EQ(std::string(buffer, n), "Hello>");
        EXPECT_EQ(ReceivedAtLeast(sim, c.replies.size()), c.replies);
        close(s);
    }
}

TEST_F(IpModem, PromptAlternativesAndTimeOut) {
    ServerOptions o;
    o.steps = {ServerStep{std::string("\0garbage\0", 9) + "User name:", "never"}};
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartServer(o));
    int s = ConnectTo(sim);
    char buffer[modem::kPromptBufferSize];
    EXPECT_EQ(modem::WaitForPrompt(s, buffer, sizeof buffer, "Username+++User name+++Login", 10),
              19u);
    uint64_t start = VirtualMs();
    EXPECT_EQ(modem::WaitForPrompt(s, buffer, sizeof buffer, "Password+++pass", 10), 0u);
    EXPECT_GE(VirtualMs() - start, 10000u);
    EXPECT_LT(VirtualMs() - start, 11000u);
    close(s);
}

TEST_F(IpModem, FloodWithoutPromptKeepsWaitingAndEnds) {
    ServerOptions o;
    o.steps = {ServerStep{std::string(10240, 'x') + "Login:", "never"}};
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartServer(o));
    int s = ConnectTo(sim);
    char buffer[modem::kPromptBufferSize];
    EXPECT_GT(modem::WaitForPrompt(s, buffer, sizeof buffer, "Login", 10), 0u);
    close(s);
}

TEST_F(IpModem, LoginScriptAndWakeUpGiveAModemAnsweringAt) {
    ServerOptions o;
    o.steps = {ServerStep{Bytes({255, 253, 1}) + "Terminal server\r\nUsername: ", "admin"},
               ServerStep{"Password: ", "secret"}, ServerStep{"\r\nport> ", "connect 2"},
               ServerStep{"\r\nConnected\r\n", ""}};
    // Counted with the simulator stopped: it runs in this process and holds descriptors too.
    int before = testsupport::OpenDescriptorCount();
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartServer(o));
    Set(sim, "Username", "admin");
    Set(sim, "Password", "secret");
    Set(sim, "IPModemInitWaitFor1", "menu>+++port>");
    Set(sim, "IPModemInitSend1", "connect 2\\r\\n");
    Set(sim, "IPModemInitWaitFor2", "Connected\\r\\n");
    modem::ModemConnection c = modem::OpenIpModem(Title(sim));
    ASSERT_GE(c.link, 0) << boxes_.Last() << "\n" << sim.Transcript();
    EXPECT_TRUE(boxes_.shown.empty()) << boxes_.Last();
    EXPECT_TRUE(modem::IpModemFlag());
    EXPECT_EQ(sim.Commands(), (std::vector<std::string>{"ATE1", "AT"}));
    // The link is used like any other.
    modem::ResponseBuffer r;
    ASSERT_TRUE(modem::ModemWrite(c.link, "AT+CPIN?\r"));
    std::size_t n = modem::ModemRead(c.link, r, 10);
    EXPECT_NE(std::string(r.data(), n).find("+CPIN: READY"), std::string::npos);
    modem::CloseModemConnection(c);
    sim.Stop();
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    modemtest::ExpectTranscript(sim, "ip_modem_login.transcript");
}

TEST_F(IpModem, FailuresShowTheirMessage) {
    struct Case {
        std::vector<ServerStep> steps;
        bool userPromptForever;
        std::vector<std::pair<const char*, const char*>> settings;
        std::string message;  // "%s" stands for the section name
        uint64_t atLeastMs;
    } cases[] = {
        // A lower-case login prompt is not a login prompt.
        {{ServerStep{"login: ", "admin"}},
         false,
         {{"Username", "admin"}},
         "IP Modem connection failed, waiting for login/username prompt",
         10000},
        {{ServerStep{"Username: ", "admin"}},
         false,
         {{"Username", "admin"}, {"Password", "x"}},
         "IP Modem connection failed, waiting for password prompt",
         10000},
        {{ServerStep{"menu> ", ""}},
         false,
         {{"IPModemInitWaitFor1", "port>+++Port>"}},
         "IP Modem connection failed, waiting for prompt:  port>+++Port>",
         30000},
        // A modem that wants a login that is not configured.
        {{},
         true,
         {},
         "IP Modem requires username for connection.\r\nEdit ZIZOD.INI, and add Username= "
         "setting under [%s] header.",
         30000},
    };
    for (const auto& c : cases) {
        boxes_.shown.clear();
        ServerOptions o;
        o.steps = c.steps;
        o.userPromptForever = c.userPromptForever;
        int before = testsupport::OpenDescriptorCount();
        modemsim::Simulator sim({});
        ASSERT_TRUE(sim.StartServer(o));
        for (const auto& [key, value] : c.settings) {
            Set(sim, key, value);
        }
        uint64_t start = VirtualMs();
        modem::ModemConnection m = modem::OpenIpModem(Title(sim));
        EXPECT_EQ(m.link, -1);
        std::string expected = c.message;
        if (auto at = expected.find("%s"); at != std::string::npos) {
            expected.replace(at, 2, modem::IpModemSectionName(Title(sim)));
        }
        ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{expected});
        EXPECT_EQ(boxes_.shown[0].request.icon, platform::MbIcon::Error);
        EXPECT_TRUE(boxes_.shown[0].request.foreground);
        EXPECT_GE(VirtualMs() - start, c.atLeastMs);
        sim.Stop();
        EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    }
}

TEST_F(IpModem, ServerClosingAtEachStepFailsCleanly) {
    std::vector<ServerStep> steps = {ServerStep{"Username: ", "admin"},
                                     ServerStep{"Password: ", "secret"}};
    for (int closeAt = 0; closeAt <= 2; ++closeAt) {
        boxes_.shown.clear();
        ServerOptions o;
        o.steps = steps;
        o.closeAtStep = closeAt;
        int before = testsupport::OpenDescriptorCount();
        modemsim::Simulator sim({});
        ASSERT_TRUE(sim.StartServer(o));
        Set(sim, "Username", "admin");
        Set(sim, "Password", "secret");
        modem::ModemConnection m = modem::OpenIpModem(Title(sim));
        EXPECT_EQ(m.link, -1);
        EXPECT_EQ(boxes_.shown.size(), closeAt == 2 ? 2u : 1u) << closeAt;
        sim.Stop();
        EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    }
}

TEST_F(IpModem, PortAndConnectFailures) {
    uint16_t port = 0;
    int l = platform::ListenLoopback(&port);
    ASSERT_GE(l, 0);
    close(l);  // nobody listens there any more
    struct Case {
        std::string title;
        std::string message;
    } cases[] = {
        {"IPModem - gw", "Cannot parse port number for IP Modem - gw"},
        {"IPModem - gw:0", "Cannot parse port number for IP Modem - gw:0"},
        {"IPModem - gw:", "Cannot parse port number for IP Modem - gw:"},
        {"IPModem - 127.0.0.1:" + std::to_string(port),
         "Cannot connect to IP Modem at 127.0.0.1:" + std::to_string(port)},
    };
    int before = testsupport::OpenDescriptorCount();
    for (const auto& c : cases) {
        boxes_.shown.clear();
        EXPECT_EQ(modem::OpenModem(c.title).link, -1);
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{c.message});
    }
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

// ---- TCP helpers -------------------------------------------------------------------------

TEST(TcpHelpers, DottedLiteralsAreNormalised) {
    struct Case {
        const char* in;
        bool literal;
        const char* out;
    } cases[] = {
        {"010.1.1.1", true, "10.1.1.1"},
        {"10.1", true, "10.1.0.0"},
        {"", true, "0.0.0.0"},
        {"  127.0.0.1 \t", true, "127.0.0.1"},
        {"256.1.1.1", false, ""},
        {"1.2.3.4.5", false, ""},
        {"gw", false, "gw"},
        {"1.2.3.4 ", true, "1.2.3.4"},
    };
    for (const auto& c : cases) {
        std::string text = c.in;
        EXPECT_EQ(modem::NormalizeDottedIpv4(text), c.literal) << c.in;
        if (c.literal || std::string(c.out) == "gw") {
            EXPECT_EQ(text, c.out) << c.in;
        }
    }
}

TEST(TcpHelpers, UnescapeAndSectionNames) {
    std::string s = "a\\rb\\nc\\\\n\\t";
    modem::UnescapeCrLf(s);
    EXPECT_EQ(s, "a\rb\nc\\\n\\t");
    EXPECT_EQ(modem::IpModemSectionName("IPModem - [gw]:23"), "IPModem - \\x5Bgw\\x5D:23");
}

// Resolves every name to the scripted addresses and connects for real only to 127.0.0.1.
struct RecordingNet {
    std::vector<std::string> resolved;
    std::vector<uint32_t> tried;
    std::vector<uint32_t> addresses;
    platform::NetOps ops{&RecordingNet::Resolve, &RecordingNet::Connect, this};

    RecordingNet() { platform::SetNetOps(&ops); }
    ~RecordingNet() { platform::SetNetOps(nullptr); }
    static int Resolve(void* ctx, const std::string& host, std::vector<uint32_t>* out) {
        auto* self = static_cast<RecordingNet*>(ctx);
        self->resolved.push_back(host);
        *out = self->addresses;
        return out->empty() ? 1 : 0;
    }
    static int Connect(void* ctx, int fd, uint32_t address, uint16_t port) {
        static_cast<RecordingNet*>(ctx)->tried.push_back(address);
        if (address != htonl(INADDR_LOOPBACK)) {
            return 1;
        }
        return platform::SystemNetOps().connect(nullptr, fd, address, port);
    }
};

class Tcp : public ModemEnv {};

TEST_F(Tcp, HashSuffixIsCutOnlyWhenNumeric) {
    uint16_t port = 0;
    int l = platform::ListenLoopback(&port);
    ASSERT_GE(l, 0);
    RecordingNet net;
    net.addresses = {htonl(INADDR_LOOPBACK)};
    for (const char* host : {"gw#3", "gw#", "gw#x", "gw"}) {
        int s = platform::TcpSocket();
        EXPECT_EQ(modem::ConnectTcp(s, host, port), 0);
        close(s);
    }
    EXPECT_EQ(net.resolved, (std::vector<std::string>{"gw", "gw", "gw#x", "gw"}));
    net.addresses.clear();
    int s = platform::TcpSocket();
    EXPECT_NE(modem::ConnectTcp(s, "nowhere", port), 0);
    close(s);
    close(l);
}

TEST_F(Tcp, ThreeAddressesAreTriedFromDifferentStarts) {
    uint16_t port = 0;
    int l = platform::ListenLoopback(&port);
    ASSERT_GE(l, 0);
    RecordingNet net;
    const uint32_t a = inet_addr("192.0.2.1"), b = inet_addr("192.0.2.2");
    const uint32_t lo = htonl(INADDR_LOOPBACK);
    net.addresses = {a, b, lo};
    std::vector<uint32_t> firsts;
    for (int attempt = 0; attempt < 3; ++attempt) {
        net.tried.clear();
        int s = platform::TcpSocket();
        EXPECT_EQ(modem::ConnectTcp(s, "gw", port), 0);
        close(s);
        ASSERT_FALSE(net.tried.empty());
        firsts.push_back(net.tried.front());
        EXPECT_EQ(net.tried.back(), lo);  // wraps round until the one that answers
        virtual_.Advance(1);
    }
    std::sort(firsts.begin(), firsts.end());
    EXPECT_EQ(std::unique(firsts.begin(), firsts.end()), firsts.end());
    close(l);
}

TEST_F(Tcp, GracefulCloseDrainsUntilThePeerCloses) {
    uint16_t port = 0;
    int l = platform::ListenLoopback(&port);
    ASSERT_GE(l, 0);
    int before = testsupport::OpenDescriptorCount();
    int s = platform::TcpSocket();
    ASSERT_EQ(modem::ConnectTcp(s, "127.0.0.1", port), 0);
    int peer = accept(l, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    std::thread server([peer] {
        char buf[64];
        ASSERT_EQ(write(peer, "goodbye", 7), 7);
        while (read(peer, buf, sizeof buf) > 0) {
        }
        close(peer);  // after our half-close
    });
    modem::CloseSocketGracefully(s);
    server.join();
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    // A socket that never connected is simply closed.
    modem::CloseSocketGracefully(platform::TcpSocket());
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    close(l);
}

}  // namespace

// The serial and telephony transport against the simulated modem on pseudo-terminals: name forms,
// the speed search, ports held elsewhere, the two readers, the telephony passes and the listing.
#include <gtest/gtest.h>

#include "modem/modem.h"
#include "modem_env.h"
#include "platform/serial_port.h"
#include "platform/telephony.h"

namespace {

using modemtest::ModemEnv;
using platform::MbIcon;

TEST(ModemNames, FormsAreTakenFromTheText) {
    struct Case {
        const char* name;
        modem::ModemNameForm form;
    } cases[] = {
        {"COM3:", modem::ModemNameForm::DirectSerial},
        {"com12:", modem::ModemNameForm::DirectSerial},
        {"COM:", modem::ModemNameForm::DirectSerial},
        {"COM3", modem::ModemNameForm::TelephonyLine},
        {"COM3: ", modem::ModemNameForm::TelephonyLine},
        {"COMX:", modem::ModemNameForm::TelephonyLine},
        {"IPModem - gw:2000", modem::ModemNameForm::IpModem},
        {"ipmodem - gw:2000", modem::ModemNameForm::IpModem},
        {"Standard 33600 bps Modem", modem::ModemNameForm::TelephonyLine},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modem::ClassifyModemName(c.name), c.form) << c.name;
    }
}

TEST(ModemNames, IsOkResponse) {
    struct Case {
        const char* text;
        bool ok;
    } cases[] = {
        {"\r\nOK\r\n", true},     {"OK\r\n", false},     {"\rOK", true},
        {"\nOK", true},           {"\r\nok\r\n", false}, {"\r\n+CMS ERROR: 500\r\n", false},
        {"AT\r\r\nOK\r\n", true}, {"", false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(modem::IsOkResponse(c.text), c.ok) << c.text;
    }
}

class Transport : public ModemEnv {
  protected:
    ~Transport() override { modem::SetUseOldModemHandler(false); }
};

TEST_F(Transport, DirectPortOpensAtTheFirstSpeedAndClosesCleanly) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(3, sim);
    int before = testsupport::OpenDescriptorCount();
    modem::ModemConnection c = modem::OpenModem("COM3:");
    ASSERT_GE(c.link, 0);
    EXPECT_EQ(c.lineApp, 0u);
    EXPECT_EQ(c.line, 0u);
    EXPECT_EQ(c.call, 0u);
    ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{"Initialised modem at 115200 bps"});
    EXPECT_EQ(boxes_.shown[0].request.icon, MbIcon::Information);
    EXPECT_EQ(boxes_.shown[0].request.owner, nullptr);
    EXPECT_TRUE(boxes_.shown[0].request.foreground);
    modem::CloseModemConnection(c);
    EXPECT_EQ(c.link, -1);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

TEST_F(Transport, ModemAnsweringOnlyAt9600IsFoundAfterFourSpeeds) {
    modemsim::Profile p;
    p.speeds = {9600};
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(3, sim);
    modem::ModemConnection c = modem::OpenModem("COM3:");
    ASSERT_GE(c.link, 0);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Initialised modem at 9600 bps"});
    std::string t = sim.Transcript();
    for (const char* speed : {"115200", "57600", "38400", "19200"}) {
        EXPECT_NE(t.find(std::string("-- not heard at ") + speed), std::string::npos) << speed;
    }
    modem::CloseModemConnection(c);
}

TEST_F(Transport, PortHeldElsewhereIsReportedAsAccessDenied) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(3, sim);
    int holder = platform::SerialOpen("COM3");
    ASSERT_GE(holder, 0);
    int before = testsupport::OpenDescriptorCount();
    modem::ModemConnection c = modem::OpenModem("COM3:");
    EXPECT_EQ(c.link, -1);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    const auto& r = boxes_.shown[0].request;
    EXPECT_EQ(r.text.rfind("Unable to access modem at COM3: -- Error 5 -- ", 0), 0u) << r.text;
    EXPECT_NE(r.text.find("\r\nAnother application is already using this device."),
              std::string::npos);
    EXPECT_EQ(r.icon, MbIcon::Error);
    EXPECT_EQ(r.caption, platform::kCaption);
    EXPECT_TRUE(r.foreground);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
    platform::LinkClose(holder);
}

TEST_F(Transport, MissingPortIsReportedWithoutTheSharingLine) {
    modem::ModemConnection c = modem::OpenModem("COM9:");
    EXPECT_EQ(c.link, -1);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.Last().rfind("Unable to access modem at COM9: -- Error 2 -- ", 0), 0u);
    EXPECT_EQ(boxes_.Last().find("Another application"), std::string::npos);
}

TEST_F(Transport, SilentModemGetsOneRecoveryPassAndFails) {
    modemsim::Profile p;
    p.silent = true;
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(4, sim);
    int before = testsupport::OpenDescriptorCount();
    modem::ModemConnection c = modem::OpenModem("COM4:");
    EXPECT_EQ(c.link, -1);
    EXPECT_TRUE(boxes_.shown.empty());  // the caller reports
    // Two full searches of six speeds (plus the recovery's hang-ups) were made, once each.
    int hangups = 0;
    for (const auto& cmd : sim.Commands()) {
        hangups += cmd == "ATH0";
    }
    EXPECT_EQ(hangups, 5);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

TEST_F(Transport, NormalReaderCollectsPiecesUntilTheFinalResult) {
    modemsim::Profile p;
    p.pieces = 3;
    p.pieceDelayMs = 5;
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    int fd = platform::SerialOpen(sim.devicePath());
    ASSERT_GE(fd, 0);
    platform::SerialSetTimeouts(fd, {200, 1000, 2000});
    modem::ResponseBuffer r;
    ASSERT_TRUE(modem::ModemWrite(fd, "AT+CPMS?\r"));
    std::size_t n = modem::ModemRead(fd, r, 10);
    EXPECT_EQ(std::string(r.data(), n),
              "AT+CPMS?\r\r\n+CPMS: \"SM\",0,20,\"SM\",0,20,\"SM\",0,20\r\n\r\nOK\r\n");
    platform::LinkClose(fd);
}

TEST_F(Transport, OlderReaderStopsAtTheFirstPiece) {
    modemsim::Profile p;
    p.echo = false;
    p.pieces = 2;
    p.pieceDelayMs = 400;
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    int fd = platform::SerialOpen(sim.devicePath());
    ASSERT_GE(fd, 0);
    platform::SerialSetTimeouts(fd, {200, 1000, 2000});
    modem::SetUseOldModemHandler(true);
    modem::ResponseBuffer r;
    ASSERT_TRUE(modem::ModemWrite(fd, "AT+CFUN?\r"));
    std::size_t n = modem::ModemRead(fd, r, 5);
    EXPECT_EQ(std::string(r.data(), n), "\r\n+CFUN: ");  // the first half only
    platform::LinkClose(fd);
}

TEST_F(Transport, ErrorEndsTheNormalReaderButIsNotOk) {
    modemsim::Profile p;
    p.cpmsErrors = 1;
    p.echo = false;
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    int fd = platform::SerialOpen(sim.devicePath());
    ASSERT_GE(fd, 0);
    platform::SerialSetTimeouts(fd, {200, 1000, 2000});
    modem::ResponseBuffer r;
    modem::ModemWrite(fd, "AT+CPMS?\r");
    uint64_t start = VirtualMs();
    std::size_t n = modem::ModemRead(fd, r, 10);
    EXPECT_EQ(std::string(r.data(), n), "\r\n+CMS ERROR: 314\r\n");
    EXPECT_LT(VirtualMs() - start, 10000u);
    EXPECT_FALSE(modem::IsOkResponse(r.data()));
    platform::LinkClose(fd);
}

TEST_F(Transport, GarbageNulBytesAndLongLinesEndInTime) {
    struct Case {
        std::string garbage;
        std::size_t expect;  // bytes collected
    } cases[] = {
        {std::string("\0\0\x01\xff noise", 10), 0},  // then the answer
        {std::string(10240, 'x'), 499},              // fills the buffer: that is the answer
    };
    for (const auto& c : cases) {
        modemsim::Profile p;
        p.echo = false;
        p.garbage = c.garbage;
        modemsim::Simulator sim(p);
        ASSERT_TRUE(sim.StartSerial());
        int fd = platform::SerialOpen(sim.devicePath());
        ASSERT_GE(fd, 0);
        platform::SerialSetTimeouts(fd, {200, 1000, 2000});
        modem::ResponseBuffer r;
        modem::ModemWrite(fd, "AT\r");
        std::size_t n = modem::ModemRead(fd, r, 30);
        if (c.expect == 0) {
            EXPECT_EQ(std::string(r.data(), n), c.garbage + "\r\nOK\r\n");
            EXPECT_TRUE(modem::IsOkResponse(std::string_view(r.data(), n)));
        } else {
            EXPECT_EQ(n, c.expect);
            EXPECT_EQ(r[499], '\0');
        }
        platform::LinkClose(fd);
    }
}

TEST_F(Transport, HalfAnAnswerIsReturnedWhenTheTimeRunsOut) {
    modemsim::Profile p;
    p.echo = false;
    p.replies["AT+CFUN?"] = "\r\n+CFUN: ";
    modemsim::Simulator sim(p);
    ASSERT_TRUE(sim.StartSerial());
    int fd = platform::SerialOpen(sim.devicePath());
    ASSERT_GE(fd, 0);
    platform::SerialSetTimeouts(fd, {200, 1000, 2000});
    modem::ResponseBuffer r;
    modem::ModemWrite(fd, "AT+CFUN?\r");
    uint64_t start = VirtualMs();
    EXPECT_EQ(std::string(r.data(), modem::ModemRead(fd, r, 10)), "\r\n+CFUN: ");
    EXPECT_GE(VirtualMs() - start, 10000u);
    platform::LinkClose(fd);
}

TEST_F(Transport, ResetTriesTheCommandsInOrder) {
    struct Case {
        std::vector<std::string> known;
        bool result;
        std::vector<std::string> sent;
    } cases[] = {
        {{"AT+CFUN=1,1"}, true, {"AT+CFUN=?", "AT+CFUN=1,1"}},
        {{"AT*E2RESET"}, true, {"AT+CFUN=?", "AT*E2RESET=?", "AT*E2RESET"}},
        {{"AT!RESET"}, true, {"AT+CFUN=?", "AT*E2RESET=?", "AT!RESET"}},
        {{}, true, {"AT+CFUN=?", "AT*E2RESET=?", "AT!RESET", "AT+CFUN=1"}},
    };
    for (const auto& c : cases) {
        modemsim::Profile p;
        p.echo = false;
        p.resets = c.known;
        modemsim::Simulator sim(p);
        ASSERT_TRUE(sim.StartSerial());
        int fd = platform::SerialOpen(sim.devicePath());
        ASSERT_GE(fd, 0);
        platform::SerialSetTimeouts(fd, {200, 1000, 2000});
        EXPECT_EQ(modem::ResetModem(fd), c.result);
        EXPECT_EQ(sim.Commands(), c.sent);
        platform::LinkClose(fd);
    }
}

// ---- Telephony lines -----------------------------------------------------------------------

class Telephony : public ModemEnv {
  protected:
    Telephony() { platform::SetTelephonyProvider(&lines_.provider()); }
    ~Telephony() override { platform::SetTelephonyProvider(nullptr); }
    platform::ScriptedTelephony lines_;
};

TEST_F(Telephony, OnlyDataModemLinesAreListedInDeviceOrder) {
    platform::ScriptedTelephony::Line voice;
    voice.name = "Voice Line";
    voice.mediaModes = platform::kLineMediaInteractiveVoice;
    platform::ScriptedTelephony::Line data;
    data.name = "GSM Modem";
    platform::ScriptedTelephony::Line big = data;
    big.name = "Big Caps Modem";
    big.capsNeeded = 5000;  // needs a second, larger buffer
    lines_.lines = {voice, data, big};
    std::vector<std::string> choices = {"kept"};
    modem::ListTelephonyModems(choices);
    EXPECT_EQ(choices, (std::vector<std::string>{"kept", "GSM Modem", "Big Caps Modem"}));
    EXPECT_EQ(lines_.OpenInstances(), 0);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(Telephony, InitializeFailureIsShown) {
    lines_.initializeError = platform::kLineErrReinit;
    std::vector<std::string> choices;
    modem::ListTelephonyModems(choices);
    EXPECT_TRUE(choices.empty());
    ASSERT_EQ(
        boxes_.Texts(),
        std::vector<std::string>{"Unable to initialize TAPI:  Error 80000052 from lineInitialize"});
    EXPECT_EQ(boxes_.shown[0].request.icon, MbIcon::None);
    modem::ModemConnection c = modem::OpenModem("GSM Modem");
    EXPECT_EQ(c.link, -1);
    EXPECT_EQ(boxes_.shown.back().request.icon, MbIcon::Error);
}

TEST_F(Telephony, NameWithoutColonIsATelephonyLineThatHandsOutTheLink) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    platform::ScriptedTelephony::Line line;
    line.name = "COM3";
    line.device = sim.devicePath();
    line.portName = "COM3";
    lines_.lines = {line};
    int before = testsupport::OpenDescriptorCount();
    modem::ModemConnection c = modem::OpenModem("com3");
    ASSERT_GE(c.link, 0);
    EXPECT_NE(c.lineApp, 0u);
    EXPECT_NE(c.line, 0u);
    EXPECT_NE(c.call, 0u);
    EXPECT_TRUE(boxes_.shown.empty());
    modem::ResponseBuffer r;
    modem::ModemWrite(c.link, "AT\r");
    EXPECT_TRUE(modem::IsOkResponse(std::string_view(r.data(), modem::ModemRead(c.link, r, 5))));
    modem::CloseModemConnection(c);
    EXPECT_EQ(lines_.OpenInstances() + lines_.OpenLines() + lines_.OpenCalls(), 0);
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

TEST_F(Telephony, FailingLineIsResetThroughItsPortAndReportedOnlyOnTheSecondPass) {
    modemsim::Simulator sim({});
    ASSERT_TRUE(sim.StartSerial());
    LinkCom(7, sim);
    platform::ScriptedTelephony::Line line;
    line.name = "GSM Modem";
    line.openError = platform::kLineErrResourceUnavail;
    lines_.lines = {line};
    lines_.registry = {{"Other", "COM1"}, {"gsm modem", "COM7"}};
    uint64_t start = VirtualMs();
    modem::ModemConnection c = modem::OpenModem("GSM Modem");
    EXPECT_EQ(c.link, -1);
    EXPECT_EQ(lines_.openAttempts().size(), 2u);
    // The recovery found the modem at once, reset it, paused 15 s and found it again.
    EXPECT_EQ(boxes_.Texts(),
              (std::vector<std::string>{
                  "Initialised modem at 115200 bps", "Initialised modem at 115200 bps",
                  "Unable to initialize modem:  Error 80000047 from lineOpen"}));
    EXPECT_GE(VirtualMs() - start, 15000u);
    auto cmds = sim.Commands();
    EXPECT_NE(std::find(cmds.begin(), cmds.end(), "AT+CFUN=1,1"), cmds.end());
    EXPECT_EQ(lines_.OpenInstances() + lines_.OpenLines() + lines_.OpenCalls(), 0);
}

TEST_F(Telephony, CallFailuresAreWordedByStep) {
    struct Case {
        long callError;
        bool noCallHandle;
        bool noLink;
        const char* message;
    } cases[] = {
        {platform::kLineErrOperationFailed, false, false,
         "Unable to initialize modem:  Error 80000048 from lineMakeCall"},
        {0, true, false, "Unable to initialize modem:  lineMakeCall failed to init modem"},
        {0, false, true, "Unable to initialize modem:  Error 80000048 from lineGetID"},
    };
    for (const auto& k : cases) {
        boxes_.shown.clear();
        platform::ScriptedTelephony::Line line;
        line.name = "GSM Modem";
        line.callError = k.callError;
        line.noCallHandle = k.noCallHandle;
        line.noLink = k.noLink;
        lines_.lines = {line};  // no port name anywhere: messages on the first pass
        modem::ModemConnection c = modem::OpenModem("GSM Modem");
        EXPECT_EQ(c.link, -1);
        EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{k.message});
        EXPECT_EQ(lines_.OpenInstances() + lines_.OpenLines() + lines_.OpenCalls(), 0);
    }
}

TEST_F(Telephony, ReplyWaitRunsOutInVirtualTime) {
    lines_.lines = {};
    uint32_t app = 0, count = 0;
    ASSERT_EQ(lines_.provider().initialize(lines_.provider().ctx, "x", &app, &count), 0);
    uint64_t start = VirtualMs();
    modem::WaitTelephonyReply(app, 15);
    EXPECT_GE(VirtualMs() - start, 15000u);
    EXPECT_LT(VirtualMs() - start, 17000u);
    lines_.provider().shutdown(lines_.provider().ctx, app);
}

TEST_F(Telephony, FindModemPortMatchesFriendlyNamesWithAPort) {
    lines_.registry = {{"Modem A", ""}, {"Modem A", "COM5"}, {"modem b", "COM6"}};
    std::string port = "stale";
    EXPECT_TRUE(modem::FindModemPort("MODEM A", port));
    EXPECT_EQ(port, "COM5");
    EXPECT_TRUE(modem::FindModemPort("Modem B", port));
    EXPECT_EQ(port, "COM6");
    EXPECT_FALSE(modem::FindModemPort("Modem C", port));
    EXPECT_EQ(port, "");
}

}  // namespace

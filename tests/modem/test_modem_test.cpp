// The SMS capability test against simulated modems: each step's message, the PIN rules, the
// service-selection retries and the worst-case waits in virtual time, the send-command check and
// the close. The dialogues of one passing and one failing test are kept under data/.
#include <gtest/gtest.h>

#include <algorithm>

#include "modem/modem.h"
#include "modem/test_modem.h"
#include "modem_env.h"
#include "platform/serial_port.h"

namespace {

using modemsim::CmgsAnswer;
using modemsim::Profile;
using modemtest::ModemEnv;
using platform::MbIcon;

int Count(const std::vector<std::string>& commands, const std::string& command) {
    return static_cast<int>(std::count(commands.begin(), commands.end(), command));
}

class TestModem : public ModemEnv {
  protected:
    // Runs the test on COM3: against a simulator with `profile`.
    int Run(const Profile& profile, const std::string& pin = "") {
        sim_ = std::make_unique<modemsim::Simulator>(profile);
        EXPECT_TRUE(sim_->StartSerial());
        LinkCom(3, *sim_);
        before_ = testsupport::OpenDescriptorCount();
        int result = modem::TestModem(owner_, "COM3:", pin);
        EXPECT_EQ(testsupport::OpenDescriptorCount(), before_) << "descriptors left open";
        EXPECT_EQ(platform::WaitCursorDepth(), 0);
        return result;
    }
    std::vector<std::string> Commands() const { return sim_->Commands(); }
    // The boxes the test itself showed (after the one of the open).
    std::vector<std::string> TestBoxes() const {
        std::vector<std::string> t;
        for (const auto& s : boxes_.shown) {
            EXPECT_EQ(s.cursorDepth, 0) << "wait cursor still shown for " << s.request.text;
            EXPECT_EQ(s.request.caption, platform::kCaption);
            if (s.request.owner == owner_) {
                t.push_back(s.request.text);
            }
        }
        return t;
    }

    // Stands for the dialog that owns the boxes; only its address is used.
    char ownerTag_ = 0;
    platform::Form* const owner_ = reinterpret_cast<platform::Form*>(&ownerTag_);
    std::unique_ptr<modemsim::Simulator> sim_;
    int before_ = 0;
};

TEST_F(TestModem, PinLockedModemPassesAndIsLeftInCommandMode) {
    struct Cursor {
        int pushes = 0, depth = 0;
        platform::WaitCursorBackend backend{[](void* c) {
                                                ++static_cast<Cursor*>(c)->pushes;
                                                ++static_cast<Cursor*>(c)->depth;
                                            },
                                            [](void* c) { --static_cast<Cursor*>(c)->depth; },
                                            this};
    } cursor;
    platform::SetWaitCursorBackend(&cursor.backend);
    Profile p;
    p.pin = "1234";
    EXPECT_EQ(Run(p, "1234"), 1);
    platform::SetWaitCursorBackend(nullptr);
    EXPECT_EQ(cursor.pushes, 2);  // shown, taken away for the open's box, shown again
    EXPECT_EQ(cursor.depth, 0);
    EXPECT_EQ(TestBoxes(), std::vector<std::string>{"Modem successfully tested!"});
    EXPECT_EQ(boxes_.shown.back().request.icon, MbIcon::Information);
    sim_->Stop();
    modemtest::ExpectTranscript(*sim_, "test_modem_pass.transcript");
}

TEST_F(TestModem, WrongPinFailsBeforeTheEchoCommands) {
    Profile p;
    p.pin = "1234";
    EXPECT_EQ(Run(p, "9999"), 0);
    EXPECT_EQ(TestBoxes(),
              std::vector<std::string>{"Invalid PIN --\r\n\r\n\r\n+CME ERROR: 16\r\n"});
    EXPECT_EQ(boxes_.shown.back().request.icon, MbIcon::Error);
    auto cmds = Commands();
    EXPECT_EQ(cmds.back(), "AT+CPIN=\"9999\"");
    sim_->Stop();
    modemtest::ExpectTranscript(*sim_, "test_modem_wrong_pin.transcript");
}

TEST_F(TestModem, ReadySimIsNotSentThePin) {
    EXPECT_EQ(Run(Profile{}, "1234"), 1);
    auto cmds = Commands();
    EXPECT_EQ(Count(cmds, "AT+CPIN?"), 1);
    EXPECT_EQ(Count(cmds, "AT+CPIN=\"1234\""), 0);
}

TEST_F(TestModem, EmptyPinSkipsThePinStep) {
    Profile p;
    p.pin = "1234";  // the modem would ask, but no PIN is configured
    Run(p, "");
    EXPECT_EQ(Count(Commands(), "AT+CPIN?"), 0);
}

TEST_F(TestModem, LongPinAnswerIsCutToTheMessageBuffer) {
    Profile p;
    p.pin = "1234";
    p.replies["AT+CPIN=\"0000\""] = "\r\n" + std::string(800, 'E') + "\r\nERROR\r\n";
    EXPECT_EQ(Run(p, "0000"), 0);
    auto shown = TestBoxes();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].rfind("Invalid PIN --\r\n\r\n\r\nEEE", 0), 0u);
    EXPECT_EQ(shown[0].size(), 499u);
}

TEST_F(TestModem, PinWithQuoteCannotAddCommands) {
    Profile p;
    p.pin = "12";
    Run(p, "12\"\r\nAT+CFUN=0");
    EXPECT_EQ(Count(Commands(), "AT+CPIN=\"12\""), 1);
    EXPECT_EQ(Count(Commands(), "AT+CFUN=0"), 0);
}

TEST_F(TestModem, BothServiceSelectionsRejectedWithFullFunctionalityGoesStraightOn) {
    Profile p;
    p.csms0 = false;
    p.csms128 = false;
    uint64_t start = VirtualMs();
    EXPECT_EQ(Run(p), 1);
    auto cmds = Commands();
    EXPECT_EQ(Count(cmds, "AT+CSMS=0"), 1);
    EXPECT_EQ(Count(cmds, "AT+CSMS=128"), 1);
    EXPECT_EQ(Count(cmds, "AT+COPS?"), 0);
    EXPECT_EQ(Count(cmds, "AT+CMGF=0"), 1);
    EXPECT_LT(VirtualMs() - start, 10000u);  // no retries, no 5 s pauses
}

TEST_F(TestModem, ReducedFunctionalityRunsEveryWorstCaseInVirtualTime) {
    Profile p;
    p.cfun = 4;
    p.cfunStuck = true;  // accepts AT+CFUN=1 but never registers
    p.csms0 = false;
    p.csms128 = false;
    p.replies["AT+CSMS?"] = "\r\nERROR\r\n";
    uint64_t start = VirtualMs();
    EXPECT_EQ(Run(p), 1);  // the service selection never fails the test
    auto cmds = Commands();
    EXPECT_EQ(Count(cmds, "AT+COPS?"), 2 * 18);
    EXPECT_EQ(Count(cmds, "AT+CSMS=0"), 1 + 8);
    EXPECT_EQ(Count(cmds, "AT+CSMS?"), 8);
    EXPECT_EQ(Count(cmds, "AT+CPMS?"), 0);
    EXPECT_GE(VirtualMs() - start, 2u * 17 * 5000 + 8 * 5000);
}

TEST_F(TestModem, TextModeFallbackReportsAnErrorToTheSendCommand) {
    Profile p;
    p.pdu = false;
    p.cmgs = CmgsAnswer::Error;
    EXPECT_EQ(Run(p), 0);
    EXPECT_EQ(TestBoxes(),
              std::vector<std::string>{
                  "Modem does not properly support command for sending SMS (AT+CMGS - text mode)"});
    EXPECT_EQ(Count(Commands(), "AT+CMGS=\"123456789\""), 1);
}

TEST_F(TestModem, SendCommandAnswers) {
    struct Case {
        CmgsAnswer answer;
        int result;
        std::vector<std::string> boxes;
    } cases[] = {
        {CmgsAnswer::Prompt, 1, {"Modem successfully tested!"}},
        {CmgsAnswer::Silence, 1, {"Modem successfully tested!"}},
        {CmgsAnswer::Ok,
         0,
         {"Modem does not properly support command for sending SMS (AT+CMGS - PDU mode)"}},
    };
    for (const auto& c : cases) {
        boxes_.shown.clear();
        Profile p;
        p.cmgs = c.answer;
        EXPECT_EQ(Run(p), c.result);
        EXPECT_EQ(TestBoxes(), c.boxes);
        auto cmds = Commands();
        if (c.result == 1) {
            // Aborted with ESC, then back in command mode: "AT" was answered OK.
            ASSERT_GE(cmds.size(), 2u);
            EXPECT_EQ(cmds[cmds.size() - 2], "<ESC>");
            EXPECT_EQ(cmds.back(), "AT");
            std::string t = sim_->Transcript();
            EXPECT_EQ(t.substr(t.size() - 22), "-> <CR><LF>OK<CR><LF>\n");
        }
        sim_.reset();
    }
}

TEST_F(TestModem, WaitForNetworkWorstCasesAndSuccess) {
    struct Case {
        int copsAfter, cpmsErrors;
        bool result;
        int cops, cpms;
        uint64_t atLeastMs;
    } cases[] = {
        {0, 0, true, 1, 1, 0},
        {3, 2, true, 4, 3, 3 * 5000 + 2 * 2000},
        {100, 0, false, 18, 0, 17 * 5000},
        {0, 100, false, 1, 10, 9 * 2000},
    };
    for (const auto& c : cases) {
        Profile p;
        p.echo = false;
        p.copsAfter = c.copsAfter;
        p.cpmsErrors = c.cpmsErrors;
        modemsim::Simulator sim(p);
        ASSERT_TRUE(sim.StartSerial());
        int fd = platform::SerialOpen(sim.devicePath());
        ASSERT_GE(fd, 0);
        platform::SerialSetTimeouts(fd, {200, 1000, 2000});
        uint64_t start = VirtualMs();
        EXPECT_EQ(modem::WaitForNetwork(fd), c.result);
        EXPECT_GE(VirtualMs() - start, c.atLeastMs);
        auto cmds = sim.Commands();
        EXPECT_EQ(Count(cmds, "AT+COPS?"), c.cops);
        EXPECT_EQ(Count(cmds, "AT+CPMS?"), c.cpms);
        platform::LinkClose(fd);
    }
}

TEST_F(TestModem, FullFunctionalityIsOnlySetWhenBelowLevelOne) {
    for (int level : {0, 1, 4}) {
        Profile p;
        p.echo = false;
        p.cfun = level;
        modemsim::Simulator sim(p);
        ASSERT_TRUE(sim.StartSerial());
        int fd = platform::SerialOpen(sim.devicePath());
        ASSERT_GE(fd, 0);
        platform::SerialSetTimeouts(fd, {200, 1000, 2000});
        EXPECT_EQ(modem::EnsureFullFunctionality(fd), level != 1) << level;
        EXPECT_EQ(Count(sim.Commands(), "AT+CFUN=1"), level != 1 ? 1 : 0);
        platform::LinkClose(fd);
    }
}

TEST_F(TestModem, UnreachableModemGetsTheGeneralMessageAfterTheSpecificOne) {
    before_ = testsupport::OpenDescriptorCount();
    EXPECT_EQ(modem::TestModem(owner_, "COM9:", ""), 0);
    ASSERT_EQ(boxes_.shown.size(), 2u);
    EXPECT_EQ(boxes_.shown[0].request.text.rfind("Unable to access modem at COM9:", 0), 0u);
    EXPECT_EQ(TestBoxes(), std::vector<std::string>{"Unable to access modem, ensure that it is "
                                                    "powered on and passes diagnostic tests."});
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before_);
}

TEST_F(TestModem, IpModemIsTestedOverItsSocket) {
    modemsim::ServerOptions o;
    o.steps = {modemsim::ServerStep{"\xff\xfd\x01Welcome\r\n", ""}};
    int before = testsupport::OpenDescriptorCount();
    modemsim::Simulator sim(Profile{});
    ASSERT_TRUE(sim.StartServer(o));
    std::string title = "IPModem - 127.0.0.1:" + std::to_string(sim.port());
    EXPECT_EQ(modem::TestModem(owner_, title, ""), 1) << boxes_.Last();
    EXPECT_EQ(TestBoxes(), std::vector<std::string>{"Modem successfully tested!"});
    EXPECT_EQ(Count(sim.Commands(), "AT+CMGS=86"), 1);
    sim.Stop();  // its side of the connection is counted too
    EXPECT_EQ(testsupport::OpenDescriptorCount(), before);
}

}  // namespace

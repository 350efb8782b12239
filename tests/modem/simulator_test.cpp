// The modem simulator itself: its profile text, and the zelmo-modemsim program run as a child
// process that the console opens through the port map.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "modem/modem.h"
#include "modem_env.h"

extern char** environ;

namespace {

TEST(SimulatorProfile, KeysAndErrors) {
    modemsim::Profile p;
    std::string error;
    ASSERT_TRUE(
        modemsim::ParseProfile("# a modem\nspeeds=9600,19200\npin=1234\ncfun=4\n"
                               "cmgs=silence\nresets=AT+CFUN=1,1;AT!RESET\ngarbage=\\x00x\\r\\n\n"
                               "reply:at+cops?=\\r\\nERROR\\r\\n\ncsms0=no\n",
                               &p, &error))
        << error;
    EXPECT_EQ(p.speeds, (std::vector<uint32_t>{9600, 19200}));
    EXPECT_EQ(p.pin, "1234");
    EXPECT_EQ(p.cfun, 4);
    EXPECT_EQ(p.cmgs, modemsim::CmgsAnswer::Silence);
    EXPECT_EQ(p.resets, (std::vector<std::string>{"AT+CFUN=1,1", "AT!RESET"}));
    EXPECT_EQ(p.garbage, std::string("\0x\r\n", 4));
    EXPECT_EQ(p.replies.at("AT+COPS?"), "\r\nERROR\r\n");
    EXPECT_FALSE(p.csms0);
    for (const char* bad : {"colour=red", "cfun=high", "cmgs=maybe", "echo=perhaps", "novalue"}) {
        EXPECT_FALSE(modemsim::ParseProfile(bad, &p, &error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

class ChildSimulator : public modemtest::ModemEnv {};

TEST_F(ChildSimulator, ProgramServesAPortUntilTerminated) {
    std::string com = ports_.Path("COM6");
    std::string transcript = ports_.Path("child.transcript");
    int out[2];
    ASSERT_EQ(pipe2(out, O_CLOEXEC), 0);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::vector<std::string> args = {ZELMO_MODEMSIM_PROGRAM, "--com",    com,
                                     "--transcript",         transcript, "speeds=19200"};
    std::vector<char*> argv;
    for (auto& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    // The first line names the pseudo-terminal once the port is ready.
    std::string line;
    char c = 0;
    pollfd p{out[0], POLLIN, 0};
    while (line.find('\n') == std::string::npos && poll(&p, 1, 5000) > 0 &&
           read(out[0], &c, 1) == 1) {
        line += c;
    }
    close(out[0]);
    ASSERT_EQ(line.rfind("/dev/pts/", 0), 0u) << line;

    modem::ModemConnection m = modem::OpenModem("COM6:");
    EXPECT_GE(m.link, 0);
    EXPECT_EQ(boxes_.Texts(), std::vector<std::string>{"Initialised modem at 19200 bps"});
    modem::CloseModemConnection(m);

    kill(pid, SIGTERM);
    int status = 0;
    ASSERT_EQ(waitpid(pid, &status, 0), pid);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    std::string text = testsupport::ReadFile(transcript);
    EXPECT_NE(text.find("<- ATE0V1<CR>  (echoed)"), std::string::npos) << text;
}

}  // namespace

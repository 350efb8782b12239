// The gateway simulator smsgwnt, run as a real child process in a temporary data root: what the
// one-shot mode lays down is read back through the console's own readers, and the running mode
// publishes its status blocks, holds its flag files and modem reservations, moves its figures,
// reloads on the restart trigger and ends on SIGTERM and on the stop byte within a second.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <thread>

#include "libs/zozeziv/zozeziv.h"
#include "monitor/counters.h"
#include "platform/eventlog.h"
#include "platform/ini.h"
#include "platform/service_manager.h"
#include "platform/share.h"
#include "service/status_block.h"
#include "tests/support/temp_root.h"
#include "tools/gateway-sim/files.h"
#include "users/credits.h"
#include "viewers/message_file.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;
using testsupport::ReadFile;
using testsupport::TempRoot;

int g_blockSerial = 0;

class GatewaySim : public ::testing::Test {
  protected:
    GatewaySim() : root_(true) {
        // Blocks of this test only, apart from any other simulator on the machine.
        prefix_ =
            "zgstest" + std::to_string(::getpid()) + "n" + std::to_string(++g_blockSerial) + ".";
        ::setenv("ZELMOSMS_SHM_PREFIX", prefix_.c_str(), 1);
        paths_ = monitor::CurrentDataPaths();
        SMSIniSetFilename(paths_.configFile.c_str());
        time_t now = ::time(nullptr);
        today_ = monitor::LocalDate(now);
    }
    ~GatewaySim() override {
        if (child_ > 0) {
            ::kill(child_, SIGKILL);
            ::waitpid(child_, nullptr, 0);
        }
        for (const char* name : {"ZELMO_ZIZOD_ShMem", "ZELMO_MMSC_ShMem"}) {
            ::shm_unlink(("/" + prefix_ + name).c_str());
        }
        ::unsetenv("ZELMOSMS_SHM_PREFIX");
        SMSIniSetFilename("");
    }

    std::string WriteScenario(std::string_view text, std::string_view relative = "scenario.ini") {
        root_.Write(relative, text);
        return root_.Path(relative);
    }

    pid_t Spawn(std::vector<std::string> args) {
        args.insert(args.begin(), GATEWAY_SIM_EXE);
        std::vector<char*> argv;
        for (auto& a : args) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = -1;
        EXPECT_EQ(::posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ), 0);
        return pid;
    }

    // The exit status of a child that ends within `ms`; nothing when it is still running.
    static std::optional<int> WaitExit(pid_t pid, int ms) {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        for (;;) {
            int status = 0;
            if (::waitpid(pid, &status, WNOHANG) == pid) {
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            if (Clock::now() >= end) {
                return std::nullopt;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    int RunOnce(const std::string& scenario) {
        pid_t pid = Spawn({"--scenario", scenario, "--once"});
        auto status = WaitExit(pid, 20000);
        EXPECT_TRUE(status);
        return status.value_or(-1);
    }

    // Starts the running mode as the service manager does: no arguments, the installed scenario.
    void StartService(std::string_view scenario) {
        root_.Write("ProgramData/GATEWAYSIM.INI", scenario);
        child_ = Spawn({});
        ASSERT_TRUE(WaitFor([] {
            return service::ReadGatewayStatus().has_value() &&
                   service::ReadMmscStatus().has_value();
        }));
    }

    static bool WaitFor(const std::function<bool()>& done, int ms = 5000) {
        auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (!done()) {
            if (Clock::now() >= end) {
                return false;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return true;
    }

    // Whether some other process holds a lock on the file (the console's delete would refuse it).
    static bool Held(const std::string& path) {
        int fd = ::open(path.c_str(), O_RDONLY);
        if (fd < 0) {
            return false;
        }
        bool held = ::flock(fd, LOCK_EX | LOCK_NB) != 0;
        ::close(fd);
        return held;
    }

    std::vector<platform::EventRecord> Events() {
        return platform::ReadEvents(platform::ApplicationEventLogPath(), 0, 1000)
            .value_or(std::vector<platform::EventRecord>{});
    }
    bool HasEvent(std::string_view message) {
        for (const auto& e : Events()) {
            if (!e.strings.empty() && e.strings[0] == message) {
                return true;
            }
        }
        return false;
    }

    TempRoot root_;
    std::string prefix_;
    monitor::DataPaths paths_;
    monitor::CalendarDate today_;
    pid_t child_ = -1;
};

constexpr std::string_view kLayDown = R"([Counters]
SMSSENT=5,1,1,1,1,1,1,100
SMSFAILED.LastYear=9,8
SMSQSIZE=7

[Connection1]
Title=SMPP - smsc.test:2775
Counts=4,6
Error=bind refused
[Connection2]
Title=COM2:

[Route1]
Name=Op/MMSC
Error=connection refused

[Queue1]
Stem=A
Count=2
PhoneNumber=+15550001
Data=first
[Queue2]
Route=SMPP - smsc.test:2775
PhoneNumber=+15550002
Data=retried
RetryCount=3
LastRetryTime=20260102030405
FirstAttemptTime=20260102020000
LastErrorInfo=throttled
[Queue3]
Route=MMSQ__1
PhoneNumber=+15550003

[Received1]
Extension=REC
Coding=UCS2
PhoneNumber=+15550004
Text=Hi
[Received2]
Extension=SMS
Coding=GSM7
Text=hello
[Received3]
Text=line\nbreak

[Mms1]
From=+15550005/TYPE=PLMN
To=+15550006/TYPE=PLMN
Subject=photo
Content1=a.txt;text/plain;hello there

[User1]
Name=alice
Credit=2.5
Quota=3,4

[Client1]
User=bob
ClientKey=K
ConnectionKey=9
Bind=R

[Event1]
Type=Error
Message=bad
[Event2]
Type=Warning
Message=odd
[Event3]
Message=fine
[Event4]
Source=Other
Type=AuditFailure
Message=elsewhere
)";

TEST_F(GatewaySim, OneShotLaysDownWhatTheConsoleReads) {
    ASSERT_EQ(RunOnce(WriteScenario(kLayDown)), 0);

    // Counters of the gateway, the year-less queue counter and last year's file.
    monitor::DailyCounts sent = monitor::ReadDailyCounter(paths_, "SMSSENT", today_);
    EXPECT_EQ(sent.today, 5u);
    EXPECT_EQ(sent.last7, 11u);
    EXPECT_EQ(sent.last30, 111u);
    monitor::DailyCounts queued = monitor::ReadDailyCounter(paths_, "SMSQSIZE", today_);
    EXPECT_EQ(queued.today, 7u);
    EXPECT_EQ(queued.last30, 7u);
    monitor::CounterFile counts{};
    int lastYear = today_.year - 1;
    ASSERT_TRUE(monitor::ReadCounterFile(monitor::GatewayCounterPath(paths_, "SMSFAILED", lastYear),
                                         &counts));
    int last = monitor::IsLeapYear(lastYear) ? 365 : 364;
    EXPECT_EQ(counts[last], 9u);
    EXPECT_EQ(counts[last - 1], 8u);

    // A connection's own counter, its error, an MMSC route's error.
    ASSERT_TRUE(monitor::ReadCounterFile(
        monitor::ConnectionCounterPath(paths_, "SMPP - smsc.test:2775", today_.year), &counts));
    EXPECT_EQ(counts[monitor::DayOfYear(today_) - 1], 4u);
    EXPECT_EQ(monitor::ReadConnectionError(paths_, "SMPP - smsc.test:2775"), "bind refused");
    EXPECT_EQ(monitor::ReadConnectionError(paths_, "COM2:"), "");
    EXPECT_EQ(monitor::ReadMmscRouteError(paths_, "Op/MMSC"), "connection refused");
    EXPECT_NE(monitor::ConnectionErrorLines(paths_, 500, 4096).find("bind refused"),
              std::string::npos);

    // The connections are listed in ZIZOD.INI.
    EXPECT_EQ(platform::IniGetString(paths_.configFile, "ZIZOD", "Modem1"),
              "SMPP - smsc.test:2775");
    EXPECT_EQ(platform::IniGetString(paths_.configFile, "ZIZOD", "Modem2"), "COM2:");

    // Queue: two files in the queue directory, one in a route and one in an MMS subdirectory.
    EXPECT_EQ(monitor::CountOutboundQueue(paths_), 4u);
    ASSERT_TRUE(platform::IniWrite(paths_.configFile, "ZIZOD", "CacheQSize", "Yes"));
    EXPECT_EQ(monitor::CountOutboundQueue(paths_), 7u + 1u);
    auto retried = viewers::ReadQueuedMessageFile(
        monitor::ResolveQDir(paths_, "SMPP - smsc.test:2775") + "Q2.REQ");
    ASSERT_TRUE(retried);
    EXPECT_EQ(retried->recipient, "+15550002");
    EXPECT_EQ(retried->text, "retried");
    EXPECT_EQ(retried->retryCount, 3);
    EXPECT_EQ(retried->lastErrorInfo, "throttled");
    EXPECT_EQ(retried->lastRetryTime.year, 2026);
    EXPECT_EQ(retried->lastRetryTime.second, 5);
    EXPECT_EQ(retried->firstAttemptTime.hour, 2);
    auto first = viewers::ReadQueuedMessageFile(monitor::ResolveQDir(paths_) + "A1.REQ");
    ASSERT_TRUE(first);
    EXPECT_EQ(first->recipient, "+15550001");
    EXPECT_EQ(first->retryCount, 0);

    // Received messages in their three codings.
    std::string smsIn = monitor::ResolveSmsInDir(paths_);
    struct {
        const char* file;
        const char* shown;
    } received[] = {{"R1.REC", "Hi"}, {"R2.SMS", "hello"}, {"R3.IN", "line\nbreak"}};
    for (const auto& r : received) {
        auto message = viewers::ReadQueuedMessageFile(smsIn + r.file);
        ASSERT_TRUE(message) << r.file;
        EXPECT_EQ(viewers::MessageDisplayText(*message, GSM7ToUTF8StringN), r.shown) << r.file;
    }
    EXPECT_NE(ReadFile(smsIn + "R1.REC").find("Data=00480069\r\ndcs=08\r\nbinary=Yes\r\n"),
              std::string::npos);
    EXPECT_NE(ReadFile(smsIn + "R2.SMS").find("Data=E8329BFD06\r\ndcs=00\r\nbinary=Yes\r\n"),
              std::string::npos);

    // A received MMS: its header names its content object in the content directory.
    std::string mms = monitor::ResolveMMSDir(paths_);
    std::string header = ReadFile(mms + "MMS1.HDR");
    EXPECT_NE(header.find("From: +15550005/TYPE=PLMN\r\n"), std::string::npos);
    EXPECT_NE(header.find("Subject: photo\r\n"), std::string::npos);
    EXPECT_NE(header.find("X-ZelmoMMS-Content-Location: MMS1\\a.txt;text/plain;\r\n"),
              std::string::npos);
    EXPECT_EQ(ReadFile(mms + "MMS1/a.txt"), "hello there");

    // A user's credit (thousandths, 8 bytes) and quota (the counter layout).
    std::string usersDir = users::UsersDirectory(paths_.configFile);
    EXPECT_EQ(ReadFile(usersDir + "alice/SMS.CTR"), std::string("\xC4\x09\0\0\0\0\0\0", 8));
    EXPECT_EQ(users::AdjustCredit(usersDir, "alice", nullptr, 0, true), 2500);
    EXPECT_EQ(users::ReadUserQuota(usersDir, "alice", today_).today, 3u);

    // The user's account is in the user file.
    uint32_t users = 0;
    ASSERT_TRUE(SMSOpenUserFile(&users, ZOZEZIV_USERS_READ));
    UserRecord record = zozeziv::EmptyUserRecord();
    EXPECT_TRUE(SMSFindUserRecord(users, "alice", zozeziv::RecordBytes(record)));
    SMSCloseUserFile(users);
    EXPECT_EQ(record.smppLoginEnabled, 1);

    // The client's flag file is left unheld: the console may delete it as stale.
    std::string flag = paths_.privateData + "SMPPData/ActiveUsers/K-9-R-bob.FLG";
    EXPECT_TRUE(root_.Exists("Private/SMPPData/ActiveUsers/K-9-R-bob.FLG"));
    EXPECT_EQ(platform::DeleteShared(flag), platform::DeleteResult::kDeleted);

    // Events of all three types, and of another source.
    auto events = Events();
    ASSERT_EQ(events.size(), 4u);
    EXPECT_EQ(events[0].type, platform::EventType::kError);
    EXPECT_EQ(events[1].type, platform::EventType::kWarning);
    EXPECT_EQ(events[2].type, platform::EventType::kInformation);
    EXPECT_EQ(events[2].source, "ZelmoSMS");
    EXPECT_EQ(events[3].source, "Other");
    EXPECT_EQ(events[3].strings, std::vector<std::string>{"elsewhere"});

    // The scenario is kept for the service, which starts without arguments.
    EXPECT_EQ(root_.Read("ProgramData/GATEWAYSIM.INI"), kLayDown);
    // No temporary file is left behind.
    EXPECT_FALSE(root_.Exists("Private/STATS/.~SMSSENT-" + std::to_string(today_.year) + ".CTR." +
                              std::to_string(::getpid()) + ".tmp"));
}

TEST_F(GatewaySim, LayingDownTwiceGivesTheSameFiguresAndList) {
    std::string scenario = WriteScenario(kLayDown);
    ASSERT_EQ(RunOnce(scenario), 0);
    ASSERT_EQ(RunOnce(scenario), 0);
    EXPECT_EQ(monitor::ReadDailyCounter(paths_, "SMSSENT", today_).today, 5u);
    EXPECT_EQ(platform::IniGetString(paths_.configFile, "ZIZOD", "Modem3"), "");
    EXPECT_EQ(monitor::CountOutboundQueue(paths_), 4u);
}

TEST_F(GatewaySim, AScenarioWithAValueItCannotUseLaysDownNothing) {
    for (std::string_view bad :
         {"[Client1]\nUser=a\nBind=X\n", "[Counters]\nSMSSENT=1,x\n", "[Gateway]\nTickMs=fast\n",
          "[Received1]\nCoding=EBCDIC\n", "[Connection1]\nCounts=1\n", "[Event1]\nType=Fatal\n",
          "[User1]\nName=.hidden\n", "[User1]\nName=a..b\n"}) {
        SCOPED_TRACE(bad);
        std::string scenario(bad);
        scenario += "[Counters]\nSMSRECEIVED=3\n";
        EXPECT_EQ(RunOnce(WriteScenario(scenario)), 1);
        EXPECT_EQ(monitor::ReadDailyCounter(paths_, "SMSRECEIVED", today_).today, 0u);
    }
}

// A counter or quota file that cannot be written (a directory stands in its place) makes the
// one-shot mode fail instead of reporting the data root laid down.
TEST_F(GatewaySim, ACounterFileThatCannotBeWrittenFailsTheOneShotMode) {
    const std::string year = std::to_string(today_.year);
    struct Case {
        std::string_view scenario;
        std::string blocked;
    };
    const Case cases[] = {
        {"[Counters]\nSMSSENT=5\n", paths_.privateData + "STATS/SMSSENT-" + year + ".CTR"},
        {"[Connection1]\nTitle=Modem A\nCounts=2\n",
         paths_.privateData + "Modem A-" + year + ".CTR"},
        {"[User1]\nName=alice\nQuota=3\n", paths_.programData + "USERS/alice/" + year + ".QTA"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.scenario);
        std::filesystem::create_directories(c.blocked);
        EXPECT_EQ(RunOnce(WriteScenario(c.scenario)), 1);
        std::filesystem::remove(c.blocked);
    }
}

constexpr std::string_view kRunning = R"([Gateway]
WebPortInUse=Yes
SmppServerActive=Yes
SmppPortInUse=No
MmscSmtpPortInUse=Yes
TickMs=50
[Client1]
User=bob
ClientKey=K
ConnectionKey=1
Bind=T
[Modem1]
Name=COM1:
)";

TEST_F(GatewaySim, RunningPublishesHoldsMovesAndStopsOnSigterm) {
    StartService(kRunning);
    auto gateway = service::ReadGatewayStatus();
    ASSERT_TRUE(gateway);
    EXPECT_FALSE(gateway->stopRequested);
    EXPECT_TRUE(gateway->webPortInUse);
    EXPECT_TRUE(gateway->smppServerActive);
    EXPECT_FALSE(gateway->smppPortInUse);
    auto mmsc = service::ReadMmscStatus();
    ASSERT_TRUE(mmsc);
    EXPECT_FALSE(mmsc->httpPortInUse);
    EXPECT_TRUE(mmsc->smtpPortInUse);

    std::string flag = paths_.privateData + "SMPPData/ActiveUsers/K-1-T-bob.FLG";
    std::string modem = paths_.privateData + "ModemReservations/COM1-.RSV";
    ASSERT_TRUE(WaitFor([&] { return Held(flag) && Held(modem); }));
    EXPECT_EQ(platform::DeleteShared(flag), platform::DeleteResult::kInUse);
    EXPECT_TRUE(root_.Exists("Private/SMPPData/ActiveUsers/K-1-T-bob.FLG"));

    // The figures move: messages are counted and the queue counter is kept.
    EXPECT_TRUE(WaitFor([&] {
        return monitor::ReadDailyCounter(paths_, "SMSSUBMIT", today_).today > 0 &&
               root_.Exists("Private/STATS/SMSQSIZE.CTR");
    }));
    EXPECT_TRUE(HasEvent("Zelmo SMS/MMS Gateway service started."));

    ASSERT_EQ(::kill(child_, SIGTERM), 0);
    auto status = WaitExit(child_, 1000);
    ASSERT_TRUE(status) << "still running a second after SIGTERM";
    child_ = -1;
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(service::ReadGatewayStatus());
    EXPECT_FALSE(service::ReadMmscStatus());
    // The flag file stays, no longer held: the console's delete now succeeds.
    EXPECT_TRUE(root_.Exists("Private/SMPPData/ActiveUsers/K-1-T-bob.FLG"));
    EXPECT_FALSE(Held(modem));
    EXPECT_EQ(platform::DeleteShared(flag), platform::DeleteResult::kDeleted);
    EXPECT_TRUE(HasEvent("Zelmo SMS/MMS Gateway service stopped."));
}

// With CacheQSize the console takes the queue size from "SMSQSIZE" and adds only the MMS queues
// itself, so the counter must hold the route queues as well as the queue directory.
TEST_F(GatewaySim, TheQueueCounterHoldsEveryQueueButTheMmsQueues) {
    for (std::string_view file :
         {"Q/A.REQ", "Q/SMPP - h-1/B.REQ", "Q/SMPP - h-1/C.REQ", "Q/MMSQ__route/D.REQ"}) {
        root_.Write("ProgramData/" + std::string(file), "[SMS]\r\nPhoneNumber=1\r\n");
    }
    ASSERT_TRUE(platform::IniWrite(paths_.configFile, "ZIZOD", "CacheQSize", "Yes"));
    StartService("[Gateway]\nTickMs=50\nMaxQueue=0\n");
    EXPECT_TRUE(WaitFor([&] {
        monitor::CounterFile counts{};
        return monitor::ReadCounterFile(monitor::QueueCounterPath(paths_, "SMSQSIZE"), &counts) &&
               counts[0] == 3u;
    }));
    EXPECT_EQ(monitor::CountOutboundQueue(paths_), 4u);
}

TEST_F(GatewaySim, TheStopByteEndsTheRunningModeWithinASecond) {
    StartService(kRunning);
    ASSERT_TRUE(service::SignalGatewayStop());
    auto status = WaitExit(child_, 1000);
    ASSERT_TRUE(status) << "still running a second after the stop byte";
    child_ = -1;
    EXPECT_EQ(*status, 0);
    EXPECT_FALSE(service::ReadGatewayStatus());
}

TEST_F(GatewaySim, AGrownRestartTriggerReloadsTheScenario) {
    std::string running(kRunning);
    StartService(running);
    std::string flag = paths_.privateData + "SMPPData/ActiveUsers/K-1-T-bob.FLG";
    ASSERT_TRUE(WaitFor([&] { return Held(flag); }));

    // The SMPP server goes off and the client leaves: written, then announced by the trigger.
    std::string changed = running.substr(0, running.find("[Client1]"));
    changed.replace(changed.find("SmppServerActive=Yes"), 20, "SmppServerActive=No");
    root_.Write("ProgramData/GATEWAYSIM.INI", changed);
    std::this_thread::sleep_for(std::chrono::milliseconds(700));
    EXPECT_TRUE(service::ReadGatewayStatus()->smppServerActive) << "reloaded without a trigger";

    ASSERT_TRUE(platform::IniWrite(paths_.configFile, "ZIZOD", "ConfigurationUpdateTriggerRestart",
                                   "20261211120000"));
    EXPECT_TRUE(WaitFor([] {
        auto status = service::ReadGatewayStatus();
        return status && !status->smppServerActive;
    }));
    EXPECT_TRUE(WaitFor([&] { return HasEvent("Configuration reloaded."); }));
    EXPECT_FALSE(root_.Exists("Private/SMPPData/ActiveUsers/K-1-T-bob.FLG"));

    ASSERT_EQ(::kill(child_, SIGTERM), 0);
    EXPECT_TRUE(WaitExit(child_, 1000));
    child_ = -1;
}

TEST_F(GatewaySim, TheLocalSupervisorRunsAndStopsItAsTheGatewayService) {
    root_.Write("ProgramData/GATEWAYSIM.INI", kRunning);
    const platform::ServiceManager& manager = platform::LocalServiceManager();
    platform::ServiceSettings settings{"ZelmoSMS", "Zelmo SMS/MMS Gateway", GATEWAY_SIM_EXE};
    ASSERT_EQ(manager.create(settings), 0u);
    ASSERT_EQ(manager.start("ZelmoSMS"), 0u);
    platform::ServiceState state{};
    EXPECT_TRUE(manager.query("ZelmoSMS", &state));
    EXPECT_EQ(state, platform::ServiceState::Running);
    ASSERT_TRUE(WaitFor([] { return service::ReadGatewayStatus().has_value(); }));
    EXPECT_TRUE(service::ReadGatewayStatus()->smppServerActive);

    ASSERT_EQ(manager.stop("ZelmoSMS"), 0u);
    EXPECT_TRUE(WaitFor(
        [&] {
            return manager.query("ZelmoSMS", &state) && state == platform::ServiceState::Stopped;
        },
        2000));
    EXPECT_FALSE(service::ReadGatewayStatus());
    EXPECT_TRUE(HasEvent("Zelmo SMS/MMS Gateway service stopped."));
    EXPECT_EQ(manager.remove("ZelmoSMS"), 0u);
}

TEST_F(GatewaySim, CreditIsSpentOnlyWhileTheConsoleDoesNotHoldTheFile) {
    std::string scenario(kRunning);
    scenario += "[User1]\nName=alice\nCredit=1000\nDebit=Yes\n";
    ASSERT_EQ(RunOnce(WriteScenario(scenario)), 0);
    std::string usersDir = users::UsersDirectory(paths_.configFile);
    ASSERT_EQ(users::AdjustCredit(usersDir, "alice", nullptr, 0, true), 1000000);

    // The console updating the balance holds the file as a writer that lets others only read.
    auto held =
        platform::OpenShared(usersDir + "alice/SMS.CTR", platform::FileAccess::kReadWrite,
                             platform::FileShare::kRead, platform::FileDisposition::kOpenExisting);
    ASSERT_TRUE(held.ok());
    StartService(scenario);
    // Quota counts on while the credit file is held; the balance does not move.
    ASSERT_TRUE(WaitFor([&] { return users::ReadUserQuota(usersDir, "alice", today_).today > 3; }));
    EXPECT_EQ(users::ReadCreditBalance(held.file.fd()), 1000000);
    held.file.Close();
    EXPECT_TRUE(WaitFor(
        [&] { return users::AdjustCredit(usersDir, "alice", nullptr, 0, true) < 1000000; }));

    ASSERT_EQ(::kill(child_, SIGTERM), 0);
    EXPECT_TRUE(WaitExit(child_, 1000));
    child_ = -1;
}

TEST(GatewaySimText, EncodersGiveTheStoredForms) {
    struct {
        std::string_view text, ucs2, gsm7;
    } cases[] = {
        {"Hi", "00480069", "C834"},
        {"hello", "00680065006C006C006F", "E8329BFD06"},
        {"@£", "004000A3", "8000"},
        {"€", "20AC", "9B32"},
        {"", "", ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(gatewaysim::Ucs2Hex(c.text), c.ucs2) << c.text;
        EXPECT_EQ(gatewaysim::Gsm7PackedHex(c.text), c.gsm7) << c.text;
    }
    EXPECT_EQ(gatewaysim::Ucs2Hex("\xF0\x9F\x98\x80"), "D83DDE00");
    // Outside the alphabet, and the escape septet's place in the table, give '?'.
    EXPECT_EQ(gatewaysim::Gsm7PackedHex("\xEF\xBF\xBF"), "3F");
    EXPECT_EQ(gatewaysim::Gsm7PackedHex("\xE4\xB8\xAD"), "3F");
    // The support library's converter reads the packed form back, spare bits and escapes too.
    for (std::string_view text : {"Hi", "hello", "abcdefg", "@\xC2\xA3$ [x] \xE2\x82\xAC 15:00",
                                  "Meeting moved to 15:00 @ room 4"}) {
        std::string hex = gatewaysim::Gsm7PackedHex(text);
        std::string out(hex.size() * 2 + 1, '\0');
        GSM7ToUTF8StringN("", hex.c_str(), out.data(), static_cast<unsigned>(out.size()));
        EXPECT_EQ(std::string(out.c_str()), text) << hex;
    }
    EXPECT_EQ(gatewaysim::ParseCreditText("2.5"), 2500);
    EXPECT_EQ(gatewaysim::ParseCreditText("12.345"), 12345);
    EXPECT_EQ(gatewaysim::ParseCreditText("7"), 7000);
}

}  // namespace

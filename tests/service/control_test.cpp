// The gateway service operations against the local supervisor, with a stub service executable
// registered as "smsgwnt" and every wait of the operations run in virtual time.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>

#include <fcntl.h>

#include <algorithm>
#include <functional>
#include <thread>

#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/ini.h"
#include "platform/service_manager.h"
#include "platform/shm.h"
#include "platform/spawn.h"
#include "service/restart_trigger.h"
#include "service/service_control.h"
#include "tests/service/service_fixture.h"

namespace {

using servicetest::BoxRecorder;
using servicetest::ScopedEnv;
using servicetest::ScopedNoWrite;
using servicetest::WaitForFile;
using testsupport::ReadFile;

const char* const kModifyRights =
    "Administrator rights are required for service installation or modification.";

// A gateway status block as the running service would create it.
class TestBlock {
  public:
    TestBlock() : name_(platform::SharedMemoryObjectName("ZELMO_ZIZOD_ShMem")) {
        int fd = ::shm_open(name_.c_str(), O_CREAT | O_RDWR, 0600);
        EXPECT_GE(fd, 0);
        EXPECT_EQ(::ftruncate(fd, 64), 0);
        data_ =
            static_cast<uint8_t*>(::mmap(nullptr, 64, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
        ::close(fd);
    }
    ~TestBlock() {
        ::munmap(data_, 64);
        ::shm_unlink(name_.c_str());
    }
    uint8_t operator[](std::size_t i) const { return data_[i]; }

  private:
    std::string name_;
    uint8_t* data_;
};

class ServiceControlTest : public ::testing::Test {
  protected:
    ServiceControlTest()
        : manager_("ZELMOSMS_SERVICE_MANAGER", "local"),
          shmPrefix_("ZELMOSMS_SHM_PREFIX", "zelmotest" + std::to_string(::getpid()) + "."),
          path_("PATH", root_.Path("path")),
          stubDir_("ZELMO_STUB_DIR", root_.Path("stub")),
          mode_("ZELMO_STUB_MODE", "normal"),
          clock_(time_.source) {
        for (const char* dir : {"bin", "path", "stub"}) {
            ::mkdir(root_.Path(dir).c_str(), 0755);
        }
        EXPECT_EQ(::symlink(STUB_SERVICE, Bin("smsgwnt").c_str()), 0);
        service::SetGatewayProgramDirectory(root_.Path("bin"));
    }
    ~ServiceControlTest() override {
        platform::LocalServiceManager().remove(service::kServiceName);
        service::SetGatewayProgramDirectory("");
    }

    std::string Bin(const char* name) const { return root_.Path("bin") + "/" + name; }
    std::string Registry() const { return root_.Path("Services"); }
    std::string ServiceIni() const { return Registry() + "/ZelmoSMS/service.ini"; }
    std::string StateIni() const { return Registry() + "/ZelmoSMS/state.ini"; }
    uint64_t Elapsed() const { return time_.Tick() - start_; }

    // Waits for the stub to be up and returns its process id (the "ready" file is consumed).
    pid_t ReadyPid() {
        std::string ready = root_.Path("stub/ready");
        if (!WaitForFile(ready)) {
            return -1;
        }
        pid_t pid = std::stoi(ReadFile(ready));
        ::unlink(ready.c_str());
        return pid;
    }
    int Runs() const {
        std::string runs = ReadFile(root_.Path("stub/runs"));
        return static_cast<int>(std::count(runs.begin(), runs.end(), '\n'));
    }
    void InstallPkexecStub() {
        servicetest::WriteScript(
            root_.Path("path/pkexec"),
            "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + root_.Path("pkexec.args") + "'\nexit 0\n");
    }

    testsupport::TempRoot root_{true};
    ScopedEnv manager_, shmPrefix_, path_, stubDir_, mode_;
    platform::VirtualTime time_;
    platform::ScopedClock clock_;
    uint64_t start_ = time_.Tick();
    BoxRecorder boxes_;
};

TEST_F(ServiceControlTest, InstallRegistersAndStartsWithoutWaiting) {
    EXPECT_EQ(service::IsSMSServiceInstalled(), 0);
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
    EXPECT_EQ(service::InstallSMSService(false), 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Elapsed(), 0u);
    EXPECT_EQ(service::IsSMSServiceInstalled(), 1);
    EXPECT_EQ(platform::IniGetString(ServiceIni(), "Service", "DisplayName"),
              "Zelmo SMS/MMS Gateway");
    EXPECT_EQ(platform::IniGetString(ServiceIni(), "Service", "Executable"), Bin("smsgwnt"));
    EXPECT_GT(ReadyPid(), 0);
    EXPECT_EQ(service::IsSMSServiceActive(), 1);
}

TEST_F(ServiceControlTest, InstallOverAnExistingServiceReappliesItsSettingsAndStillStarts) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_GT(ReadyPid(), 0);
    service::StopSMSService(false);
    ASSERT_EQ(service::IsSMSServiceActive(), 0);
    platform::IniWrite(ServiceIni(), "Service", "DisplayName", "Old name");
    platform::IniWrite(ServiceIni(), "Service", "Executable", "/nowhere/smsgwnt");

    EXPECT_EQ(service::InstallSMSService(false), 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(platform::IniGetString(ServiceIni(), "Service", "DisplayName"),
              "Zelmo SMS/MMS Gateway");
    EXPECT_EQ(platform::IniGetString(ServiceIni(), "Service", "Executable"), Bin("smsgwnt"));
    EXPECT_GT(ReadyPid(), 0);
    EXPECT_EQ(Runs(), 2);
    EXPECT_EQ(service::IsSMSServiceActive(), 1);
}

TEST_F(ServiceControlTest, InstallRunsTheFirewallHelperWithTheGatewayPathAndName) {
    std::string args = root_.Path("helper.args");
    servicetest::WriteScript(Bin("zureveri"), "#!/bin/sh\nprintf '%s\\n' \"$@\" > '" + args +
                                                  ".tmp' && mv '" + args + ".tmp' '" + args +
                                                  "'\n");
    // The helper script needs mv; the PATH of this test has only the stubs.
    ::symlink("/bin/mv", root_.Path("path/mv").c_str());
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_TRUE(WaitForFile(args));
    EXPECT_EQ(ReadFile(args), Bin("smsgws") + "\nZelmo SMS/MMS Gateway\n");
}

TEST_F(ServiceControlTest, StartingARunningServiceStartsNoSecondProcess) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_GT(ReadyPid(), 0);
    service::StartSMSService(false);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(Runs(), 1);
    EXPECT_EQ(Elapsed(), 0u);
}

TEST_F(ServiceControlTest, StopSignalsTheServiceAndWaitsUntilItIsGone) {
    TestBlock block;
    ASSERT_EQ(service::InstallSMSService(false), 1);
    pid_t pid = ReadyPid();
    ASSERT_GT(pid, 0);
    service::StopSMSService(false);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_EQ(block[0], 1);
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
    EXPECT_TRUE(WaitForFile(root_.Path("stub/stopped")));
    EXPECT_FALSE(servicetest::ProcessExists(pid));
    EXPECT_FALSE(platform::IniRead(StateIni(), "State", "Pid").has_value());
    EXPECT_EQ(service::IsSMSServiceInstalled(), 1);
}

TEST_F(ServiceControlTest, StopEndsAServiceThatIgnoresTheTerminationSignal) {
    ScopedEnv ignore("ZELMO_STUB_MODE", "ignore");
    ASSERT_EQ(service::InstallSMSService(false), 1);
    pid_t pid = ReadyPid();
    ASSERT_GT(pid, 0);
    const platform::ServiceManager& local = platform::LocalServiceManager();
    EXPECT_EQ(local.stop(service::kServiceName), 0u);
    platform::ServiceState state;
    ASSERT_TRUE(local.query(service::kServiceName, &state));
    EXPECT_EQ(state, platform::ServiceState::StopPending);
    EXPECT_EQ(local.start(service::kServiceName), static_cast<uint32_t>(EBUSY));

    service::StopSMSService(false);
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
    EXPECT_FALSE(servicetest::ProcessExists(pid));
    EXPECT_GE(Elapsed(), platform::kLocalStopGraceSeconds * 1000u);
    EXPECT_LT(Elapsed(), service::kServicePolls * 1000u);
}

TEST_F(ServiceControlTest, ARefusedStartShowsTheErrorAndStillWaits) {
    ::unlink(Bin("smsgwnt").c_str());
    EXPECT_EQ(service::InstallSMSService(false), 1);  // the start after installing is not checked
    EXPECT_TRUE(boxes_.shown.empty());

    service::StartSMSService(false);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text, "Error 2 starting service");
    EXPECT_EQ(boxes_.shown[0].icon, platform::MbIcon::Error);
    EXPECT_EQ(boxes_.shown[0].buttons, platform::MbButtons::Ok);
    EXPECT_EQ(boxes_.shown[0].owner, nullptr);
    EXPECT_FALSE(boxes_.shown[0].foreground);
    EXPECT_FALSE(boxes_.shown[0].taskModal);
    EXPECT_EQ(boxes_.shown[0].caption, "Zelmo SMS/MMS Gateway v2013.07.02");
    EXPECT_EQ(Elapsed(), (service::kServicePolls - 1) * 1000u);
}

TEST_F(ServiceControlTest, AServiceThatDiedIsReportedStoppedAndCanStartAgain) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    pid_t pid = ReadyPid();
    ASSERT_GT(pid, 0);
    ::kill(pid, SIGKILL);
    for (int i = 0; i < 400 && service::IsSMSServiceActive(); ++i) {
        ::usleep(5000);
    }
    EXPECT_EQ(service::IsSMSServiceActive(), 0);
    EXPECT_FALSE(platform::IniRead(StateIni(), "State", "Pid").has_value());

    // A record naming a live process that is not the service is no running service either.
    platform::IniWrite(StateIni(), "State", "Pid", std::to_string(::getpid()));
    EXPECT_EQ(service::IsSMSServiceActive(), 0);

    service::StartSMSService(false);
    EXPECT_GT(ReadyPid(), 0);
    EXPECT_EQ(service::IsSMSServiceActive(), 1);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ServiceControlTest, RemoveOfAServiceNotInstalledReturnsOneWithoutAsking) {
    InstallPkexecStub();
    EXPECT_EQ(service::RemoveSMSService(false), 1);
    EXPECT_EQ(service::RemoveSMSService(true), 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_FALSE(root_.Exists("Services"));  // the manager was never opened for changes
    EXPECT_FALSE(root_.Exists("pkexec.args"));
}

TEST_F(ServiceControlTest, RemoveStopsTheServiceAndDeletesItsRegistration) {
    TestBlock block;
    ASSERT_EQ(service::InstallSMSService(false), 1);
    pid_t pid = ReadyPid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(service::RemoveSMSService(false), 1);
    EXPECT_TRUE(boxes_.shown.empty());
    EXPECT_TRUE(WaitForFile(root_.Path("stub/stopped")));
    EXPECT_FALSE(servicetest::ProcessExists(pid));
    EXPECT_EQ(service::IsSMSServiceInstalled(), 0);
    EXPECT_FALSE(root_.Exists("Services/ZelmoSMS"));
}

TEST_F(ServiceControlTest, RestartStopsAndStartsUnderTheWaitCursorAndRecordsItsStamp) {
    servicetest::CursorRecorder cursor;
    ASSERT_EQ(service::InstallSMSService(false), 1);
    pid_t first = ReadyPid();
    ASSERT_GT(first, 0);
    std::string stamp = service::RestartStamp(time_.Wall());
    service::RestartSMSService(false);
    pid_t second = ReadyPid();
    EXPECT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_EQ(service::IsSMSServiceActive(), 1);
    EXPECT_EQ(cursor.pushes, 1);
    EXPECT_EQ(cursor.pops, 1);
    EXPECT_GE(Elapsed(), service::kRestartPauseMs);
    EXPECT_EQ(platform::IniGetString(service::ZizodIniPath(), "ZIZOD",
                                     "ConfigurationUpdateTriggerRestart"),
              stamp);
    EXPECT_EQ(service::RestartTriggerSeen(), stamp);
    EXPECT_TRUE(boxes_.shown.empty());
}

TEST_F(ServiceControlTest, RestartWritesTheTriggerEvenWithoutRights) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_GT(ReadyPid(), 0);
    std::string stamp = service::RestartStamp(time_.Wall());
    ASSERT_EQ(stamp.size(), 14u);
    {
        ScopedNoWrite noRights(Registry());
        service::RestartSMSService(true);
    }
    EXPECT_EQ(platform::IniGetString(service::ZizodIniPath(), "ZIZOD",
                                     "ConfigurationUpdateTriggerRestart"),
              stamp);
    EXPECT_EQ(service::RestartTriggerSeen(), stamp);
    ASSERT_EQ(boxes_.Texts(), std::vector<std::string>{kModifyRights});
    EXPECT_EQ(Runs(), 1);  // the running service was left alone
}

TEST_F(ServiceControlTest, RestartStoresItsStampAsSeenBeforeItWritesIt) {
    // The watcher of this console may read the key at any moment: while the write is held up by
    // another writer's lock, the stamp must already count as seen, or the console would take its
    // own restart for another process's and relaunch itself.
    std::string ini = service::ZizodIniPath();
    ASSERT_FALSE(ini.empty());
    ASSERT_TRUE(platform::MakeDirectories(ini.substr(0, ini.rfind('/'))));
    std::string stamp = service::RestartStamp(time_.Wall());
    service::SetRestartTriggerSeen("");
    int fd = ::open(ini.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    std::thread restart([] { service::RestartSMSService(true); });
    bool seenWhileHeldUp = false;
    for (int i = 0; i < 1000 && !seenWhileHeldUp; ++i) {
        seenWhileHeldUp = service::RestartTriggerSeen() == stamp;
        if (!seenWhileHeldUp) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    bool writtenMeanwhile =
        platform::IniGetString(ini, "ZIZOD", "ConfigurationUpdateTriggerRestart") == stamp;
    ::flock(fd, LOCK_UN);
    ::close(fd);
    restart.join();
    EXPECT_TRUE(seenWhileHeldUp);
    EXPECT_FALSE(writtenMeanwhile);
    EXPECT_EQ(platform::IniGetString(ini, "ZIZOD", "ConfigurationUpdateTriggerRestart"), stamp);
}

// Every operation without rights: the prompt, the re-run and the rights message.
struct RightsCase {
    const char* name;
    std::function<int(bool)> run;
    const char* switchText;
    const char* message;
    platform::MbIcon icon;
    bool taskModal;
};

const RightsCase kRightsCases[] = {
    {"install", service::InstallSMSService, "/INSTALLSMSSERVICE",
     "Administrator rights are required for service installation.", platform::MbIcon::None, false},
    {"remove", service::RemoveSMSService, "/REMOVESMSSERVICE",
     "Administrator rights are required for service modification.", platform::MbIcon::None, false},
    {"start", [](bool c) { return service::StartSMSService(c), 0; }, "/STARTSMSSERVICE",
     kModifyRights, platform::MbIcon::Error, true},
    {"stop", [](bool c) { return service::StopSMSService(c), 0; }, "/STOPSMSSERVICE", kModifyRights,
     platform::MbIcon::Error, true},
    {"restart", [](bool c) { return service::RestartSMSService(c), 0; }, "/RESTARTSMSSERVICE",
     kModifyRights, platform::MbIcon::Error, true},
};

TEST_F(ServiceControlTest, WithoutRightsEachOperationReRunsOnlyWithConsentAndNeverFromASwitch) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_GT(ReadyPid(), 0);
    std::string args = root_.Path("pkexec.args");
    enum Scenario { kSwitchRun, kNoElevation, kAnswerNo, kAnswerCancel, kAnswerYes };
    for (const RightsCase& c : kRightsCases) {
        for (Scenario s : {kSwitchRun, kNoElevation, kAnswerNo, kAnswerCancel, kAnswerYes}) {
            SCOPED_TRACE(std::string(c.name) + " scenario " + std::to_string(s));
            ::unlink(root_.Path("path/pkexec").c_str());
            ::unlink(args.c_str());
            if (s != kNoElevation) {
                InstallPkexecStub();
            }
            boxes_.shown.clear();
            boxes_.answers = {s == kAnswerYes      ? platform::IDYES
                              : s == kAnswerCancel ? platform::IDCANCEL
                                                   : platform::IDNO};
            int result;
            {
                ScopedNoWrite noRights(Registry());
                result = c.run(s == kSwitchRun);
            }
            // After a re-run what counts is the state the elevated run left: still installed.
            EXPECT_EQ(result, s == kAnswerYes && c.switchText == std::string("/INSTALLSMSSERVICE"));
            std::size_t next = 0;
            if (s == kAnswerNo || s == kAnswerCancel || s == kAnswerYes) {
                ASSERT_GE(boxes_.shown.size(), 1u);
                const auto& q = boxes_.shown[0];
                EXPECT_EQ(q.text,
                          "Administrator rights are required for service installation or "
                          "modification.\r\n\r\nIf you continue, Windows will ask you to confirm "
                          "that you will allow this application to assume administrator rights "
                          "to perform this task.\r\n\r\nDo you wish to continue?");
                EXPECT_EQ(q.buttons, platform::MbButtons::YesNoCancel);
                EXPECT_EQ(q.icon, platform::MbIcon::None);  // a plain box
                EXPECT_TRUE(q.taskModal);
                EXPECT_TRUE(q.foreground);
                EXPECT_EQ(q.owner, nullptr);
                next = 1;
            }
            if (s == kAnswerYes) {
                EXPECT_EQ(boxes_.shown.size(), 1u);
                EXPECT_EQ(ReadFile(args),
                          platform::OwnExecutablePath() + "\n" + c.switchText + "\n");
            } else {
                ASSERT_EQ(boxes_.shown.size(), next + 1);
                const auto& m = boxes_.shown[next];
                EXPECT_EQ(m.text, c.message);
                EXPECT_EQ(m.icon, c.icon);
                EXPECT_EQ(m.buttons, platform::MbButtons::Ok);
                EXPECT_EQ(m.taskModal, c.taskModal);
                EXPECT_TRUE(m.foreground);
                EXPECT_EQ(m.caption, "Zelmo SMS/MMS Gateway v2013.07.02");
                EXPECT_FALSE(root_.Exists("pkexec.args"));
            }
        }
    }
    // Nothing of that changed the service.
    EXPECT_EQ(service::IsSMSServiceInstalled(), 1);
    EXPECT_EQ(service::IsSMSServiceActive(), 1);
    EXPECT_EQ(Runs(), 1);
}

TEST_F(ServiceControlTest, TheReRunIsWaitedForAtMostSixtySeconds) {
    ASSERT_EQ(service::InstallSMSService(false), 1);
    ASSERT_GT(ReadyPid(), 0);
    // An elevated run that never ends (until the test ends it).
    std::string pidFile = root_.Path("pkexec.pid");
    servicetest::WriteScript(root_.Path("path/pkexec"),
                             "#!/bin/sh\nprintf '%s' $$ > '" + pidFile + "'\nexec /bin/sleep 30\n");
    boxes_.answers = {platform::IDYES};
    {
        ScopedNoWrite noRights(Registry());
        service::StopSMSService(false);
    }
    EXPECT_EQ(Elapsed(), service::kRerunWaitMs);
    EXPECT_EQ(boxes_.shown.size(), 1u);  // the question only
    ASSERT_TRUE(WaitForFile(pidFile));
    ::kill(std::stoi(ReadFile(pidFile)), SIGKILL);
}

TEST_F(ServiceControlTest, ACreationThatFailsShowsTheCodeAndReturnsZero) {
    // The registry directory is writable, but a file stands where the service's folder goes.
    ASSERT_TRUE(platform::MakeDirectories(Registry()));
    testsupport::WriteFile(Registry() + "/ZelmoSMS", "");
    EXPECT_EQ(service::InstallSMSService(true), 0);
    ASSERT_EQ(boxes_.shown.size(), 1u);
    EXPECT_EQ(boxes_.shown[0].text,
              "CreateService Failed, 20\r\nAdministrator rights are required for service "
              "installation.");
    EXPECT_EQ(boxes_.shown[0].icon, platform::MbIcon::None);
    EXPECT_TRUE(boxes_.shown[0].foreground);
}

}  // namespace

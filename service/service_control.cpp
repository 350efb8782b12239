// The gateway service operations over the service manager, the elevated re-run and the messages
// they show.
#include "service/service_control.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <mutex>
#include <vector>

#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/elevation.h"
#include "platform/ini.h"
#include "platform/service_manager.h"
#include "platform/spawn.h"
#include "platform/ui/message_box.h"
#include "platform/ui/wait_cursor.h"
#include "service/restart_trigger.h"
#include "service/status_block.h"

namespace service {
namespace {

constexpr const char* kElevationQuestion =
    "Administrator rights are required for service installation or modification.\r\n\r\nIf you "
    "continue, Windows will ask you to confirm that you will allow this application to assume "
    "administrator rights to perform this task.\r\n\r\nDo you wish to continue?";
constexpr const char* kInstallRights =
    "Administrator rights are required for service installation.";
constexpr const char* kRemoveRights = "Administrator rights are required for service modification.";
constexpr const char* kModifyRights =
    "Administrator rights are required for service installation or modification.";
constexpr const char* kCreateFailed =
    "CreateService Failed, %lu\r\nAdministrator rights are required for service installation.";
constexpr const char* kStartFailed = "Error %lu starting service";

std::mutex g_dirMutex;
std::string g_programDir;

// How a rights message is shown: a plain box (install, remove) or an error box that is
// task-modal (start, stop, restart). Both have no owner and come to the foreground.
enum class RightsBox { Plain, Error };

void ShowRightsMessage(const char* text, RightsBox kind) {
    platform::MessageBoxRequest r;
    r.text = text;
    r.foreground = true;
    if (kind == RightsBox::Error) {
        r.icon = platform::MbIcon::Error;
        r.taskModal = true;
    }
    platform::ShowMessageBox(r);
}

std::string WithCode(const char* format, uint32_t code) {
    char text[256];
    std::snprintf(text, sizeof text, format, static_cast<unsigned long>(code));
    return text;
}

// The re-run with rights: with the user's consent the console runs again elevated with `switchText`
// as its only argument, and this call waits for it. Otherwise (a switch run, no elevation on this
// system, any answer but Yes, or pkexec failing to start) the rights message is shown. True when
// the re-run took place.
bool RerunWithRights(bool fromCommandLine, const char* switchText, const char* message,
                     RightsBox kind) {
    if (!fromCommandLine && IsElevationCapableSystem() && ConfirmElevation() &&
        platform::RunElevated(switchText, kRerunWaitMs)) {
        return true;
    }
    ShowRightsMessage(message, kind);
    return false;
}

// True when the manager and the service open with full access.
bool HaveFullAccess(const platform::ServiceManager& sm) {
    return sm.openManager() == 0 && sm.openService(kServiceName) == 0;
}

// Polls IsSMSServiceActive() until it gives `wanted`, at most kServicePolls polls with a sleep of
// kPollIntervalMs between two of them; with `signalStop` the stop signal goes before each sleep.
// Ends after the last poll whether or not the state was reached.
void WaitForActive(bool wanted, bool signalStop) {
    for (int poll = 1;; ++poll) {
        if ((IsSMSServiceActive() != 0) == wanted || poll >= kServicePolls) {
            return;
        }
        if (signalStop) {
            SignalGatewayStop();
        }
        platform::SleepMs(kPollIntervalMs);
    }
}

bool RegularFile(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The firewall helper, when installed: "zureveri <dir>smsgws "Zelmo SMS/MMS Gateway"", not waited
// for; a helper that will not start is ignored.
void RunFirewallHelper(const std::string& dir) {
    std::string helper = dir + "zureveri";
    if (!RegularFile(helper)) {
        return;
    }
    pid_t pid = platform::SpawnChild({helper, dir + "smsgws", kServiceDisplayName}, {});
    platform::ReapChildLater(pid);
}

}  // namespace

void SetGatewayProgramDirectory(const std::string& directory) {
    std::lock_guard<std::mutex> lock(g_dirMutex);
    g_programDir = directory;
    if (!g_programDir.empty() && g_programDir.back() != '/') {
        g_programDir += '/';
    }
}

std::string GatewayProgramDirectory() {
    {
        std::lock_guard<std::mutex> lock(g_dirMutex);
        if (!g_programDir.empty()) {
            return g_programDir;
        }
    }
    return platform::ProgramDirectory();
}

std::string GatewayExecutablePath() {
    return GatewayProgramDirectory() + "smsgwnt";
}

std::string ZizodIniPath() {
    std::vector<char> dir(ZOZEZIV_MAX_PATH + 1, '\0');
    GetProgramDataDirectory(dir.data());
    std::string path = dir.data();
    return path.empty() ? std::string() : path + "ZIZOD.INI";
}

int IsElevationCapableSystem() {
    return platform::ElevationAvailable() ? 1 : 0;
}

int ConfirmElevation() {
    platform::MessageBoxRequest r;
    r.text = kElevationQuestion;
    r.buttons = platform::MbButtons::YesNoCancel;
    r.taskModal = true;
    r.foreground = true;
    return platform::ShowMessageBox(r) == platform::IDYES ? 1 : 0;
}

int IsSMSServiceActive() {
    platform::ServiceState state;
    if (!platform::CurrentServiceManager().query(kServiceName, &state)) {
        return 0;
    }
    return state == platform::ServiceState::Running ||
                   state == platform::ServiceState::StartPending ||
                   state == platform::ServiceState::StopPending
               ? 1
               : 0;
}

int IsSMSServiceInstalled() {
    return platform::CurrentServiceManager().installed(kServiceName) ? 1 : 0;
}

int InstallSMSService(bool fromCommandLine) {
    const platform::ServiceManager& sm = platform::CurrentServiceManager();
    // After a re-run the elevated console did the work; what counts is whether it is there now.
    auto rerun = [&] {
        return RerunWithRights(fromCommandLine, "/INSTALLSMSSERVICE", kInstallRights,
                               RightsBox::Plain)
                   ? IsSMSServiceInstalled()
                   : 0;
    };
    if (sm.openManager() != 0) {
        return rerun();
    }
    std::string dir = GatewayProgramDirectory();
    RunFirewallHelper(dir);
    platform::ServiceSettings settings{kServiceName, kServiceDisplayName, dir + "smsgwnt"};
    if (sm.openService(kServiceName) == 0) {
        if (sm.change(settings) == EACCES) {
            return rerun();
        }
    } else if (uint32_t rc = sm.create(settings)) {
        platform::MessageBoxRequest r;
        r.text = WithCode(kCreateFailed, rc);
        r.foreground = true;
        platform::ShowMessageBox(r);
        return 0;
    }
    sm.start(kServiceName);
    return 1;
}

int RemoveSMSService(bool fromCommandLine) {
    if (!IsSMSServiceInstalled()) {
        return 1;
    }
    const platform::ServiceManager& sm = platform::CurrentServiceManager();
    auto rerun = [&] {
        return RerunWithRights(fromCommandLine, "/REMOVESMSSERVICE", kRemoveRights,
                               RightsBox::Plain)
                   ? 1 - IsSMSServiceInstalled()
                   : 0;
    };
    if (!HaveFullAccess(sm) || sm.stop(kServiceName) == EACCES) {
        return rerun();
    }
    WaitForActive(false, true);
    sm.remove(kServiceName);
    return 1;
}

void StopSMSService(bool fromCommandLine) {
    const platform::ServiceManager& sm = platform::CurrentServiceManager();
    if (!HaveFullAccess(sm) || sm.stop(kServiceName) == EACCES) {
        RerunWithRights(fromCommandLine, "/STOPSMSSERVICE", kModifyRights, RightsBox::Error);
        return;
    }
    SignalGatewayStop();
    WaitForActive(false, true);
}

void StartSMSService(bool fromCommandLine) {
    const platform::ServiceManager& sm = platform::CurrentServiceManager();
    uint32_t rc = HaveFullAccess(sm) ? sm.start(kServiceName) : EACCES;
    if (rc == EACCES) {
        RerunWithRights(fromCommandLine, "/STARTSMSSERVICE", kModifyRights, RightsBox::Error);
        return;
    }
    if (rc != 0) {
        // An error box like the others, but not brought to the foreground.
        platform::MessageBoxRequest r;
        r.text = WithCode(kStartFailed, rc);
        r.icon = platform::MbIcon::Error;
        platform::ShowMessageBox(r);
    }
    WaitForActive(true, false);
}

void RestartSMSService(bool fromCommandLine) {
    std::string stamp = RestartStamp(platform::WallSeconds());
    // Seen before written: the restart watcher of this console reads the key every 500 ms and
    // must never find our own stamp newer than the one it has seen.
    SetRestartTriggerSeen(stamp);
    if (std::string ini = ZizodIniPath(); !ini.empty()) {
        platform::IniWrite(ini, kRestartTriggerSection, kRestartTriggerKey, stamp);
    }

    if (HaveFullAccess(platform::CurrentServiceManager())) {
        platform::WaitCursor cursor;
        StopSMSService(fromCommandLine);
        platform::SleepMs(kRestartPauseMs);
        StartSMSService(fromCommandLine);
    } else {
        RerunWithRights(fromCommandLine, "/RESTARTSMSSERVICE", kModifyRights, RightsBox::Error);
    }
}

}  // namespace service

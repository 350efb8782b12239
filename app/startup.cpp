// Start-up steps, the sheet with its watcher, and shutdown; see startup.h.
#include "app/startup.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "app/command_line.h"
#include "app/pages.h"
#include "app/plugins/plugin_libraries.h"
#include "app/program.h"
#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/dirs.h"
#include "platform/ini.h"
#include "platform/ui/message_box.h"
#include "service/service_control.h"

namespace app {
namespace {

std::string SupportDirectory(void (*get)(char*)) {
    std::vector<char> buffer(ZOZEZIV_MAX_PATH + 1, '\0');
    get(buffer.data());
    return buffer.data();
}

bool Exists(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0;
}

bool NonEmptyFile(const std::string& path) {
    struct stat st;
    return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
           st.st_size > 0 && ::access(path.c_str(), R_OK) == 0;
}

// Creates an empty file when none exists; failures are ignored (later reads find no keys).
void CreateEmpty(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (fd >= 0) {
        ::close(fd);
    }
}

void Grant(const StartupHooks& hooks, std::string directory) {
    if (directory.empty() || directory.back() != '/') {
        return;
    }
    directory.pop_back();
    if (hooks.grantRights) {
        hooks.grantRights(directory);
    } else {
        SetZelmoSMSTrustees(directory.c_str());
    }
}

void ShowForeground(const std::string& text, platform::MbIcon icon) {
    platform::MessageBoxRequest r;
    r.text = text;
    r.icon = icon;
    r.foreground = true;
    platform::ShowMessageBox(r);
}

std::string RealProgramDirectory(const StartupHooks& hooks) {
    return hooks.realProgramDirectory.empty() ? SupportDirectory(GetRealProgramDirectory)
                                              : hooks.realProgramDirectory;
}

// Boxes of a run without a screen: written to standard error; a question is answered No (or
// Cancel), so that nothing is deleted or changed without someone having said yes.
int ShowOnTerminal(void*, const platform::MessageBoxRequest& r) {
    std::fprintf(stderr, "[%s] %s\n", r.caption.c_str(), r.text.c_str());
    switch (r.buttons) {
        case platform::MbButtons::Ok:
            return platform::IDOK;
        case platform::MbButtons::OkCancel:
            return platform::IDCANCEL;
        default:
            return platform::IDNO;
    }
}
const platform::MessageBoxBackend kTerminalBoxes{ShowOnTerminal, nullptr};

std::string Modem1() {
    return platform::IniGetString(Program().configFilePath, "ZIZOD", "Modem1", "", 500);
}

}  // namespace

bool CleanUpUserCopy(const std::string& profile, const StartupHooks& hooks) {
    if (profile.empty()) {
        return false;
    }
    std::string copy = profile;
    if (copy.back() != '/' && copy.back() != '\\') {
        copy += '/';
    }
    copy += kUserVirtualStore;
    if (!Exists(copy)) {
        return false;
    }
    struct stat st;
    if (::lstat(copy.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        // A link in the user's own folder: the link goes, what it points to is not a copy of ours
        // (and may be anything, when the console runs with more rights than that user).
        ::unlink(copy.c_str());
    } else {
        DeleteDirectoryTree(copy);
    }
    Grant(hooks, SupportDirectory(GetProgramDataDirectory));
    return true;
}

StartupOutcome StartUp(const std::string& arguments, const StartupHooks& hooks) {
    StartupOutcome outcome;
    ProgramValues& program = Program();
    program = ProgramValues{};

    // 1. The socket layer.
    if (hooks.startSockets && !hooks.startSockets()) {
        ShowForeground(kSocketErrorText, platform::MbIcon::Error);
        outcome.ended = true;
        outcome.exitStatus = -1;
        return outcome;
    }

    // 2. ZIZOD.INI; a first run grants the rights on both data directories and creates it.
    std::string programData = SupportDirectory(GetProgramDataDirectory);
    program.configFilePath = programData + "ZIZOD.INI";
    // Without a data directory there is nothing to create (and no relative file in the working
    // directory either); later reads then find no keys.
    if (!programData.empty() && !Exists(program.configFilePath)) {
        Grant(hooks, programData);
        Grant(hooks, SupportDirectory(GetPrivateDataDirectory));
        CreateEmpty(program.configFilePath);
    }
    SMSIniSetFilename(program.configFilePath.c_str());

    // 3. MMSC.INI, without rights of its own.
    std::string mmscIni = programData + "MMSC.INI";
    if (!programData.empty() && !Exists(mmscIni)) {
        CreateEmpty(mmscIni);
    }
    MMSCIniSetFilename(mmscIni.c_str());

    // 4. A stale library of old installations.
    std::string realProgram = RealProgramDirectory(hooks);
    if (!realProgram.empty()) {
        ::unlink((realProgram + "virazad.dll").c_str());
    }

    // 5. The manual.
    program.manualPath = realProgram + "zelmosms.pdf";
    program.manualPresent = Exists(program.manualPath);

    // 6. and 7. The optional libraries.
    PluginLibraries& libs = Plugins();
    ReleaseAllLibraries(libs);  // a new run tries every library afresh
    libs = PluginLibraries{};
    libs.directory = hooks.libraryDirectory;
    BindStartupLibraries(libs);
    if (BindTlsLibrary(libs) && libs.tls.sslInitLib()) {
        program.sslAvailable = true;
        program.serverCertificatePresent = libs.tls.sslServerCertExists() != 0;
    }

    // 8. The command line.
    program.quietMode = HasQuietSwitch(arguments);
    if (std::optional<SwitchAction> action = FindSwitch(arguments)) {
        DataDirectoryPlaces places{SupportDirectory(GetPrivateDataDirectory), realProgram};
        outcome.exitStatus = RunSwitch(*action, libs, program.quietMode, places);
        outcome.ended = true;
        return outcome;
    }

    // 9. The icon.
    std::string icon =
        hooks.iconPath.empty() ? platform::ProgramDirectory() + "zelmosms.svg" : hooks.iconPath;
    if (NonEmptyFile(icon)) {
        outcome.iconPath = icon;
    } else {
        // A plain box of its own caption; unlike the socket message it is not brought forward.
        platform::MessageBoxRequest r;
        r.text = "Error loading Icon";
        r.caption = "Debug";
        platform::ShowMessageBox(r);
    }

    // 10. A stale per-user copy of the data folder.
    const char* home = std::getenv("HOME");
    CleanUpUserCopy(hooks.userProfile ? hooks.userProfile() : std::string(home ? home : ""), hooks);

    // 11. Program-wide switches.
    program.useOldModemHandler = config::IsYes(
        platform::IniGetString(program.configFilePath, "ZIZOD", "OldModemHandler", "No", 500));
    program.statusPageEnabled = config::IsYes(
        platform::IniGetString(program.configFilePath, "ZIZOD", "StatusDialogEnabled", "Yes", 500));
    return outcome;
}

platform::PropertySheet BuildConsoleSheet(const StartupOutcome& outcome,
                                          const StartupHooks& hooks) {
    PageContext context;
    context.program = &Program();
    context.libs = &Plugins();
    context.openFile = hooks.openFile;
    return AssembleSheet(context, outcome.iconPath, Modem1());
}

void ShutDown(RestartTriggerWatcher& watcher, const std::function<void(uint32_t ms)>& sleep) {
    watcher.StopAndWait(sleep);
    if (!Modem1().empty() && !service::IsSMSServiceActive()) {
        platform::MessageBoxRequest r;
        r.text = kActivationQuestion;
        r.icon = platform::MbIcon::Question;
        r.buttons = platform::MbButtons::YesNo;
        if (platform::ShowMessageBox(r) == platform::IDYES) {
            service::InstallSMSService(false);
        }
    }
    ReleaseShutdownLibraries(Plugins());
}

int RunConsole(int argc, const char* const* argv) {
    std::string arguments = ArgumentText(argc, argv);
    WaitForRelaunchingParent(arguments, 10000);
    // Boxes before the sheet are real windows when there is a screen to show them on; without
    // one (an elevated re-run, a terminal) they are written to standard error instead.
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
        std::getenv("QT_QPA_PLATFORM")) {
        platform::StartWindowing();
    } else {
        platform::SetMessageBoxBackend(&kTerminalBoxes);
    }
    StartupHooks hooks;
    StartupOutcome outcome = StartUp(arguments, hooks);
    if (outcome.ended) {
        return outcome.exitStatus;
    }
    platform::SetHelpOpener(Program().manualPresent ? OpenManual : nullptr);
    RestartTriggerWatcher watcher;
    {
        // The sheet goes before the libraries do: pages of the MMSC library hold its code.
        platform::PropertySheet sheet = BuildConsoleSheet(outcome, hooks);
        watcher.Start();
        platform::RunPropertySheet(sheet);
    }
    ShutDown(watcher);
    return 0;
}

}  // namespace app

// The console's start-up, sheet and shutdown. A run is one of three: a switch run (start-up steps
// 1 to 8, one action, exit status 0), a failed start (exit status -1 after the socket message), or
// an interactive run (steps 1 to 11, the sheet with the restart watcher, shutdown).
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "app/watcher.h"
#include "platform/ui/sheet.h"

namespace app {

// What a run depends on outside itself; the defaults are the real ones. Tests replace them.
struct StartupHooks {
    // Starts the socket layer. POSIX sockets need no start, so the default only succeeds.
    std::function<bool()> startSockets;
    // Grants the gateway's rights on a directory given without its trailing "/" (default: the
    // support library's SetZelmoSMSTrustees).
    std::function<void(const std::string& directory)> grantRights;
    // The real program directory, ending in "/" ("": the support library's).
    std::string realProgramDirectory;
    // Where the optional libraries are looked for ("": the program directory).
    std::string libraryDirectory;
    // The program icon ("": "zelmosms.svg" beside the executable).
    std::string iconPath;
    // The user's home folder for the per-user clean-up (unset: $HOME).
    std::function<std::string()> userProfile;
    // Opens a file with the desktop's viewer (empty: xdg-open).
    std::function<bool(const std::string& path)> openFile;
};

struct StartupOutcome {
    bool ended = false;  // a switch was carried out or the start failed: no sheet
    int exitStatus = 0;
    std::string iconPath;  // the icon that loaded, "" for none
};

inline constexpr const char* kSocketErrorText = "Error initializing Winsock (Windows sockets)";
inline constexpr const char* kActivationQuestion =
    "Service is not active, do you wish to activate the service?";
inline constexpr const char* kUserVirtualStore = "AppData/Local/VirtualStore/ProgramData/ZelmoSMS";

// Steps 1 to 11 over `arguments` (the argument text after the program name).
StartupOutcome StartUp(const std::string& arguments, const StartupHooks& hooks);

// Step 12: the sheet of this run, its start page from Modem1.
platform::PropertySheet BuildConsoleSheet(const StartupOutcome& outcome, const StartupHooks& hooks);

// After the sheet has closed: stops the watcher (waiting at most 30 x 1 s, `sleep` being the
// wait's sleep), offers to activate the gateway service when connections are defined and it is
// not active, and releases the libraries.
void ShutDown(RestartTriggerWatcher& watcher, const std::function<void(uint32_t ms)>& sleep = {});

// The per-user clean-up: deletes a stale per-user copy of the data folder under `profile` and
// then grants the rights on the program data directory again. True when there was one.
bool CleanUpUserCopy(const std::string& profile, const StartupHooks& hooks);

// The whole run, for main().
int RunConsole(int argc, const char* const* argv);

}  // namespace app

// The diagnostics page: switches the detailed debug logs of the gateway's three services on and
// off (a "Debug" key in three configuration files) and opens their log files.
#pragma once

#include <functional>
#include <string>

#include "platform/ui/sheet.h"

namespace tls {

// The directories the page works in, each ending in "/".
struct DebugLogPlaces {
    std::string programData;   // ZIZOD.INI, MMSC.INI, VOVUDE.INI
    std::string debugLog;      // SMSDEBUG.LOG, VOVUDEDEBUG.LOG
    std::string mmscDebugLog;  // MMSCDEBUG.LOG
};

// The places as the support library gives them.
DebugLogPlaces DebugLogPlacesFromSupportLibrary();

// One switch: its check box, where its setting lives and which log its "View" button opens.
struct DebugSwitch {
    int checkId;
    int viewId;
    const char* label;
    const char* iniFile;  // in the program data directory
    const char* section;
    const char* logFile;
    bool mmscLogDirectory;  // the log lies in the MMSC debug-log directory
};
inline constexpr int kDebugSwitchCount = 3;
extern const DebugSwitch kDebugSwitches[kDebugSwitchCount];

std::string SwitchIniPath(const DebugLogPlaces& places, const DebugSwitch& s);
std::string SwitchLogPath(const DebugLogPlaces& places, const DebugSwitch& s);

// The setting: the "Debug" key read with IsYes (missing = off).
bool LoadDebugSwitch(const DebugLogPlaces& places, const DebugSwitch& s);
// Writes "Yes" when on; when off deletes the key (a missing file stays missing). False when the
// file cannot be written.
bool SaveDebugSwitch(const DebugLogPlaces& places, const DebugSwitch& s, bool on);

struct DiagnosticsPageOptions {
    DebugLogPlaces places;
    // Opens a log file with the associated viewer without waiting; tests put a recorder here.
    std::function<bool(const std::string& path)> openFile;  // empty: the desktop's viewer
    bool help = false;                                      // the manual is present
};

inline constexpr const char* kDiagnosticsTabTitle = "Diagnostics";
platform::FormTemplate DiagnosticsTemplate();
platform::SheetPage MakeDiagnosticsPage(DiagnosticsPageOptions options);

}  // namespace tls

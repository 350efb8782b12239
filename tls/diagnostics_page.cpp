// The diagnostics page over the UI API; see diagnostics_page.h.
#include "tls/diagnostics_page.h"

#include <sys/stat.h>

#include <memory>
#include <optional>

#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/desktop.h"
#include "platform/ini.h"

namespace tls {
namespace {

constexpr int kLabelId = 1000;
constexpr int kViewTimer = 1;
constexpr uint32_t kViewPeriodMs = 5000;

std::string SupportDirectory(void (*get)(char*)) {
    std::string buffer(ZOZEZIV_MAX_PATH, '\0');
    get(buffer.data());
    buffer.resize(buffer.find('\0'));
    return buffer;
}

bool FileExists(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void UpdateViewButtons(platform::Form* f, const DebugLogPlaces& places) {
    for (const DebugSwitch& s : kDebugSwitches) {
        platform::SetEnabled(f, s.viewId, FileExists(SwitchLogPath(places, s)));
    }
}

}  // namespace

const DebugSwitch kDebugSwitches[kDebugSwitchCount] = {
    {1001, 1011, "SMS Gateway (smsdebug.log, smppdebug.log, etc.)", "ZIZOD.INI", "ZIZOD",
     "SMSDEBUG.LOG", false},
    {1002, 1012, "MMSC (mmscdebug.log)", "MMSC.INI", "MMSC", "MMSCDEBUG.LOG", true},
    {1003, 1013, "Operator MMSC over GPRS (vovudedebug.log)", "VOVUDE.INI", "VOVUDE",
     "VOVUDEDEBUG.LOG", false},
};

DebugLogPlaces DebugLogPlacesFromSupportLibrary() {
    DebugLogPlaces p;
    p.programData = SupportDirectory(GetProgramDataDirectory);
    p.debugLog = SupportDirectory(GetDebugLogDirectory);
    p.mmscDebugLog = SupportDirectory(GetMMSCDebugLogDirectory);
    return p;
}

std::string SwitchIniPath(const DebugLogPlaces& places, const DebugSwitch& s) {
    return places.programData + s.iniFile;
}

std::string SwitchLogPath(const DebugLogPlaces& places, const DebugSwitch& s) {
    return (s.mmscLogDirectory ? places.mmscDebugLog : places.debugLog) + s.logFile;
}

bool LoadDebugSwitch(const DebugLogPlaces& places, const DebugSwitch& s) {
    std::optional<std::string> v = platform::IniRead(SwitchIniPath(places, s), s.section, "Debug");
    return v && config::IsYes(*v);
}

bool SaveDebugSwitch(const DebugLogPlaces& places, const DebugSwitch& s, bool on) {
    const std::string path = SwitchIniPath(places, s);
    if (on) {
        return platform::IniWrite(path, s.section, "Debug", "Yes");
    }
    if (!platform::IniRead(path, s.section, "Debug")) {
        return true;  // nothing to delete; a missing file is not created
    }
    return platform::IniDeleteKey(path, s.section, "Debug");
}

platform::FormTemplate DiagnosticsTemplate() {
    using platform::ControlKind;
    platform::FormTemplate t;
    t.name = "DIALOG_DEBUGLOGS";
    t.controls.push_back({.id = kLabelId,
                          .kind = ControlKind::Label,
                          .text = "Enable Debug Logs:",
                          .row = 0,
                          .column = 0,
                          .columnSpan = 2});
    int row = 1;
    for (const DebugSwitch& s : kDebugSwitches) {
        t.controls.push_back({.id = s.checkId,
                              .kind = ControlKind::CheckBox,
                              .text = s.label,
                              .row = row,
                              .column = 0});
        t.controls.push_back({.id = s.viewId,
                              .kind = ControlKind::Button,
                              .text = "View",
                              .row = row,
                              .column = 1,
                              .width = 10});
        ++row;
    }
    return t;
}

platform::SheetPage MakeDiagnosticsPage(DiagnosticsPageOptions options) {
    auto opts = std::make_shared<DiagnosticsPageOptions>(std::move(options));
    if (!opts->openFile) {
        opts->openFile = platform::OpenWithAssociatedProgram;
    }
    platform::SheetPage page;
    page.form = DiagnosticsTemplate();
    page.title = kDiagnosticsTabTitle;
    page.help = opts->help;
    page.handler = [opts](platform::Form* f, const platform::FormEvent& e) -> int {
        using platform::FormEventType;
        const DebugLogPlaces& places = opts->places;
        switch (e.type) {
            case FormEventType::Init:
                for (const DebugSwitch& s : kDebugSwitches) {
                    platform::SetChecked(f, s.checkId, LoadDebugSwitch(places, s));
                }
                UpdateViewButtons(f, places);
                platform::SetTimer(f, kViewTimer, kViewPeriodMs);
                return platform::kAllow;
            case FormEventType::Timer:
                if (e.id == kViewTimer) {
                    UpdateViewButtons(f, places);
                }
                return platform::kAllow;
            case FormEventType::Command:
                if (e.notify != platform::Notify::Clicked) {
                    return platform::kAllow;
                }
                for (const DebugSwitch& s : kDebugSwitches) {
                    if (e.id == s.checkId) {
                        platform::MarkConfigurationChanged(f);
                    } else if (e.id == s.viewId) {
                        opts->openFile(SwitchLogPath(places, s));
                    }
                }
                return platform::kAllow;
            case FormEventType::Apply: {
                // Applying leaves ConfigurationChanged as it is. Each switch lives in its own
                // file, so one that cannot be written does not hold back the others; it is
                // reported and keeps the sheet open rather than closing as if saved.
                const DebugSwitch* failed = nullptr;
                for (const DebugSwitch& s : kDebugSwitches) {
                    if (!SaveDebugSwitch(places, s, platform::IsChecked(f, s.checkId)) && !failed) {
                        failed = &s;
                    }
                }
                if (failed) {
                    platform::ShowMessageBox(
                        f, "Could not save the debug setting in " + SwitchIniPath(places, *failed),
                        platform::MbIcon::Error);
                    return platform::kRefuse;
                }
                return platform::kAllow;
            }
            case FormEventType::QueryCancel:
                return platform::AnswerQueryCancel(f);
            case FormEventType::QuerySiblings:
                return platform::ConfigurationChanged ? 1 : 0;
            case FormEventType::Help:
                platform::OpenHelp();
                return platform::kAllow;
            case FormEventType::Close:
                platform::KillTimer(f, kViewTimer);
                return platform::kAllow;
            default:
                return platform::kAllow;
        }
    };
    return page;
}

}  // namespace tls

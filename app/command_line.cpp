// The switch table and its handlers; see command_line.h.
#include "app/command_line.h"

#include <vector>

#include "app/program.h"
#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/ui/message_box.h"
#include "service/service_control.h"

namespace app {

const char* const kQuietSwitches[4] = {"-QUIET", "/QUIET", "/Q", "-Q"};

const SwitchRow kSwitchTable[kSwitchRows] = {
    {{"-INSTALLSMSSERVICE", "/INSTALLSMSSERVICE"}, SwitchAction::InstallSms},
    {{"-INSTALLMMSSERVICE", "/INSTALLMMSSERVICE"}, SwitchAction::InstallMmsc},
    {{"-REMOVESMSSERVICE", "/REMOVESMSSERVICE"}, SwitchAction::RemoveSms},
    {{"-REMOVEMMSSERVICE", "/REMOVEMMSSERVICE"}, SwitchAction::RemoveMmsc},
    {{"-STOPSMSSERVICE", "/STOPSMSSERVICE"}, SwitchAction::StopSms},
    {{"-STARTSMSSERVICE", "/STARTSMSSERVICE"}, SwitchAction::StartSms},
    {{"-RESTARTSMSSERVICE", "/RESTARTSMSSERVICE"}, SwitchAction::RestartSms},
    {{"-STOPMMSSERVICE", "/STOPMMSSERVICE"}, SwitchAction::StopMmsc},
    {{"-STARTMMSSERVICE", "/STARTMMSSERVICE"}, SwitchAction::StartMmsc},
    {{"-RESTARTMMSSERVICE", "/RESTARTMMSSERVICE"}, SwitchAction::RestartMmsc},
    {{"-DELETEDATADIR", "/DELETEDATADIR"}, SwitchAction::DeleteDataDirectory},
    {{"-INSTALLSERVICE", "/INSTALLSERVICE", "/I", "-I"}, SwitchAction::InstallServices},
    {{"-REMOVESERVICE", "/REMOVESERVICE", "/R", "-R"}, SwitchAction::RemoveServices},
};

namespace {

bool ContainsAny(std::string_view arguments, const char* const* texts, int count) {
    for (int i = 0; i < count; ++i) {
        if (texts[i] && config::FindNoCase(arguments, texts[i])) {
            return true;
        }
    }
    return false;
}

void Tell(const char* text, platform::MbIcon icon) {
    platform::MessageBoxRequest r;
    r.text = text;
    r.icon = icon;
    r.foreground = true;
    platform::ShowMessageBox(r);
}

void ReportInstall(int result, bool quiet) {
    if (quiet) {
        return;
    }
    if (result) {
        Tell("Service successfully installed!", platform::MbIcon::Information);
    } else {
        Tell("Service installation failed!", platform::MbIcon::Error);
    }
}

void ReportRemove(int result, bool quiet) {
    if (quiet) {
        return;
    }
    if (result) {
        Tell("Service successfully removed!", platform::MbIcon::Information);
    } else {
        Tell("Service removal failed!", platform::MbIcon::Error);
    }
}

std::string SupportDirectory(void (*get)(char*)) {
    std::vector<char> buffer(ZOZEZIV_MAX_PATH + 1, '\0');
    get(buffer.data());
    return buffer.data();
}

}  // namespace

std::string ArgumentText(int argc, const char* const* argv) {
    std::string text;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            text += ' ';
        }
        text += argv[i];
    }
    return text;
}

bool HasQuietSwitch(std::string_view arguments) {
    return ContainsAny(arguments, kQuietSwitches, 4);
}

std::optional<SwitchAction> FindSwitch(std::string_view arguments) {
    for (const SwitchRow& row : kSwitchTable) {
        if (ContainsAny(arguments, row.texts, 4)) {
            return row.action;
        }
    }
    return std::nullopt;
}

DataDirectoryPlaces DataDirectoryPlacesFromSupportLibrary() {
    return {SupportDirectory(GetPrivateDataDirectory), SupportDirectory(GetRealProgramDirectory)};
}

void OfferToDeleteDataDirectory(const DataDirectoryPlaces& places) {
    if (config::EqualNoCase(places.privateData, places.realProgram)) {
        return;
    }
    platform::MessageBoxRequest r;
    r.text = "Delete Configuration files for ZelmoSMS?";
    r.icon = platform::MbIcon::Question;
    r.buttons = platform::MbButtons::YesNo;
    r.foreground = true;
    if (platform::ShowMessageBox(r) == platform::IDYES) {
        DeleteDirectoryTree(places.privateData);
    }
}

int RunSwitch(SwitchAction action, const PluginLibraries& libs, bool quiet,
              const DataDirectoryPlaces& places) {
    const MmscEntryPoints& mmsc = libs.mmsc;
    const bool mmscBound = libs.mmscLib.bound();
    switch (action) {
        case SwitchAction::InstallSms:
            ReportInstall(service::InstallSMSService(true), quiet);
            break;
        case SwitchAction::InstallMmsc:
            ReportInstall(mmscBound ? mmsc.InstallMMSCService(1) : 0, quiet);
            break;
        case SwitchAction::RemoveSms:
            ReportRemove(service::RemoveSMSService(true), quiet);
            break;
        case SwitchAction::RemoveMmsc:
            ReportRemove(mmscBound ? mmsc.RemoveMMSCService(1) : 0, quiet);
            break;
        case SwitchAction::StopSms:
            service::StopSMSService(true);
            break;
        case SwitchAction::StartSms:
            service::StartSMSService(true);
            break;
        case SwitchAction::RestartSms:
            service::RestartSMSService(true);
            break;
        case SwitchAction::StopMmsc:
            if (mmscBound) {
                mmsc.StopMMSCService(1);
            }
            break;
        case SwitchAction::StartMmsc:
            if (mmscBound) {
                mmsc.StartMMSCService(1);
            }
            break;
        case SwitchAction::RestartMmsc:
            if (mmscBound) {
                mmsc.RestartMMSCService(1);
            }
            break;
        case SwitchAction::DeleteDataDirectory:
            OfferToDeleteDataDirectory(places);
            break;
        case SwitchAction::InstallServices:
            if (mmscBound) {
                mmsc.InstallMMSCService(1);
            }
            ReportInstall(service::InstallSMSService(true), quiet);
            break;
        case SwitchAction::RemoveServices: {
            if (mmscBound) {
                mmsc.RemoveMMSCService(1);
            }
            int removed = service::RemoveSMSService(true);
            ReportRemove(removed, quiet);
            if (removed && !quiet) {
                OfferToDeleteDataDirectory(places);
            }
            break;
        }
    }
    return 0;
}

}  // namespace app

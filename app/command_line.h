// The console's command line: a quiet switch and the service switches. The whole argument text is
// searched for each switch in the order of the table, without regard to letter case, and a switch
// counts wherever its text occurs (so "/r" inside a path counts as the remove switch). The first
// service switch found is carried out and the program ends with exit status 0.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "app/plugins/plugin_libraries.h"

namespace app {

enum class SwitchAction {
    InstallSms,
    InstallMmsc,
    RemoveSms,
    RemoveMmsc,
    StopSms,
    StartSms,
    RestartSms,
    StopMmsc,
    StartMmsc,
    RestartMmsc,
    DeleteDataDirectory,
    InstallServices,  // the MMSC service (when its library is bound), then the gateway's
    RemoveServices,
};

struct SwitchRow {
    const char* texts[4];  // unused places are null
    SwitchAction action;
};
inline constexpr int kSwitchRows = 13;
extern const SwitchRow kSwitchTable[kSwitchRows];
extern const char* const kQuietSwitches[4];

// The arguments after the program name, joined by blanks.
std::string ArgumentText(int argc, const char* const* argv);

bool HasQuietSwitch(std::string_view arguments);
// The first row of the table whose text occurs in `arguments`; nothing when none does.
std::optional<SwitchAction> FindSwitch(std::string_view arguments);

// The directories the offer to delete the private data directory compares, each ending in "/".
struct DataDirectoryPlaces {
    std::string privateData;
    std::string realProgram;
};
// The support library's private data and real program directories.
DataDirectoryPlaces DataDirectoryPlacesFromSupportLibrary();

// Asks "Delete Configuration files for ZelmoSMS?" and on Yes deletes the private data directory;
// asks nothing when it is the real program directory (in any letter case).
void OfferToDeleteDataDirectory(const DataDirectoryPlaces& places);

// Carries out one switch with its messages (none in quiet mode, but for the data-directory
// question). The MMSC switches use `libs.mmsc` and fail (install, remove) or do nothing when it
// is not bound. Returns the exit status, 0.
int RunSwitch(SwitchAction action, const PluginLibraries& libs, bool quiet,
              const DataDirectoryPlaces& places);

}  // namespace app

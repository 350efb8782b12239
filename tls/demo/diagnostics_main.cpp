// zelmo-diagnostics: a property sheet with the diagnostics page alone, for trying the page out
// before the console's own start-up assembles every page. Uses the data root as the console does.
#include <sys/stat.h>

#include "platform/desktop.h"
#include "platform/dirs.h"
#include "tls/diagnostics_page.h"

namespace {

std::string ManualPath() {
    return platform::ProgramDirectory() + "zelmosms.pdf";
}

void OpenManual() {
    platform::OpenWithAssociatedProgram(ManualPath());
}

}  // namespace

int main() {
    struct stat st {};
    tls::DiagnosticsPageOptions options;
    options.places = tls::DebugLogPlacesFromSupportLibrary();
    options.help = stat(ManualPath().c_str(), &st) == 0;
    platform::SetHelpOpener(OpenManual);
    platform::PropertySheet sheet;
    sheet.pages.push_back(tls::MakeDiagnosticsPage(std::move(options)));
    platform::RunPropertySheet(sheet);
    return 0;
}

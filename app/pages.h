// Page assembly: the console's property sheet as one table, a row per page in tab order, each
// with its condition and tab title. A page whose code has not landed yet has no builder and is
// not appended; the MMSC library adds its own pages at its row.
#pragma once

#include <functional>
#include <string>

#include "app/plugins/plugin_libraries.h"
#include "app/program.h"
#include "platform/ui/sheet.h"

namespace app {

// What the rows look at.
struct PageContext {
    const ProgramValues* program = nullptr;
    const PluginLibraries* libs = nullptr;
    // Opens a file with the desktop's viewer (the diagnostics page's "View"); empty: the desktop's.
    std::function<bool(const std::string& path)> openFile;
};

struct PageRow {
    const char* page;                                 // what the row is, for readers
    bool (*wanted)(const PageContext&);               // the condition of the row
    std::string (*title)(const PageContext&);         // null at the MMSC library's row
    platform::SheetPage (*make)(const PageContext&);  // null: not built (yet)
    bool libraryPages;                                // the MMSC library's pages go here
};
inline constexpr int kPageRows = 9;
extern const PageRow kPageTable[kPageRows];

// The sheet: caption, icon (`iconPath`, "" for none), the pages of the table whose condition
// holds, each with Help when the manual is present, and the start page for `modem1`.
platform::PropertySheet AssembleSheet(const PageContext& context, const std::string& iconPath,
                                      const std::string& modem1);

// The start page: the second page (the SMSC connections page) when no connection is defined yet
// (`modem1` empty), else the first; never beyond the last page of a sheet of `pageCount` pages.
int StartPageIndex(const std::string& modem1, int pageCount);

}  // namespace app

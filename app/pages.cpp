// The page table and the assembly of the sheet; see pages.h.
#include "app/pages.h"

#include <algorithm>
#include <vector>

#include "tls/diagnostics_page.h"

namespace app {
namespace {

bool Always(const PageContext&) {
    return true;
}
bool StatusPageOn(const PageContext& c) {
    return c.program->statusPageEnabled;
}
bool StatusPageOff(const PageContext& c) {
    return !c.program->statusPageEnabled;
}
bool MmscBound(const PageContext& c) {
    return c.libs->mmscLib.bound();
}
bool TlsPageWanted(const PageContext& c) {
    return c.program->sslAvailable || c.program->serverCertificatePresent;
}

std::string ServiceTitle(const PageContext&) {
    return "Service";
}
std::string SmscTitle(const PageContext& c) {
    return c.libs->smppLib.bound() ? "SMSC" : "Modems";
}
std::string WebTitle(const PageContext&) {
    return "Web";
}
std::string UsersTitle(const PageContext&) {
    return "SMS Users";
}
std::string TwoWayTitle(const PageContext&) {
    return "2-Way";
}
std::string TlsTitle(const PageContext&) {
    return "SSL/TLS";
}
std::string DiagnosticsTitle(const PageContext&) {
    return tls::kDiagnosticsTabTitle;
}

platform::SheetPage MakeDiagnostics(const PageContext& c) {
    tls::DiagnosticsPageOptions o;
    o.places = tls::DebugLogPlacesFromSupportLibrary();
    o.help = c.program->manualPresent;
    o.openFile = c.openFile;
    return tls::MakeDiagnosticsPage(std::move(o));
}

}  // namespace

const PageRow kPageTable[kPageRows] = {
    {"Status page", StatusPageOn, ServiceTitle, nullptr, false},
    {"Service page", StatusPageOff, ServiceTitle, nullptr, false},
    {"SMSC connections page", Always, SmscTitle, nullptr, false},
    {"Web page", Always, WebTitle, nullptr, false},
    {"SMS Users page", Always, UsersTitle, nullptr, false},
    {"2-Way page", Always, TwoWayTitle, nullptr, false},
    {"pages of the MMSC library", MmscBound, nullptr, nullptr, true},
    {"SSL/TLS page", TlsPageWanted, TlsTitle, nullptr, false},
    {"diagnostics page", Always, DiagnosticsTitle, MakeDiagnostics, false},
};

int StartPageIndex(const std::string& modem1, int pageCount) {
    int start = modem1.empty() ? 1 : 0;
    return std::max(0, std::min(start, pageCount - 1));
}

platform::PropertySheet AssembleSheet(const PageContext& context, const std::string& iconPath,
                                      const std::string& modem1) {
    platform::PropertySheet sheet;
    sheet.iconPath = iconPath;
    const MmscEntryPoints& mmsc = context.libs->mmsc;
    uint32_t announced = 0;
    if (context.libs->mmscLib.bound()) {
        announced =
            static_cast<uint32_t>(std::max(0, mmsc.MMSConfigGetNumberOfPropertySheetPages()));
    }
    // Room for every fixed page and what the MMSC library announced.
    std::vector<platform::SheetPage> pages(kPageRows + announced);
    uint32_t count = 0;
    for (const PageRow& row : kPageTable) {
        if (!row.wanted(context)) {
            continue;
        }
        if (row.libraryPages) {
            MmscSheetHeader header{&sheet, count};
            mmsc.MMSConfigAddPropertySheetPages(&header, pages.data());
            // A library that claims more than it announced keeps only what was announced.
            count = std::clamp(header.pageCount, count, count + announced);
            continue;
        }
        if (!row.make) {
            continue;
        }
        platform::SheetPage page = row.make(context);
        page.title = row.title(context);
        page.help = context.program->manualPresent;
        pages[count++] = std::move(page);
    }
    pages.resize(count);
    sheet.pages = std::move(pages);
    sheet.startPage = StartPageIndex(modem1, static_cast<int>(count));
    return sheet;
}

}  // namespace app

// The binding table of the six optional libraries over stand-ins with their real file names:
// all-or-nothing per library, the debug-mode calls right after binding, the bind-once flags, the
// pages' own short bindings of the MMSC library, and where the MMSC library's pages go.
#include "app/plugins/plugin_libraries.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/pages.h"
#include "app/program.h"
#include "tests/support/temp_root.h"

namespace app {
namespace {

std::string Calls(const testsupport::TempRoot& root) {
    return root.Read("PLUGIN-CALLS.TXT");
}

TEST(PluginLibraries, CompleteSetBindsAndSetsDebugModes) {
    testsupport::TempRoot root(true);
    PluginLibraries libs;
    libs.directory = FAKE_FULL_DIR;
    BindStartupLibraries(libs);
    EXPECT_TRUE(libs.mmscLib.bound());
    EXPECT_TRUE(libs.smppLib.bound());
    EXPECT_TRUE(libs.ucpLib.bound());
    EXPECT_TRUE(libs.cimdLib.bound());
    EXPECT_FALSE(libs.tlsLib.attempted);  // not part of the first four
    EXPECT_FALSE(libs.gprsLib.attempted);
    EXPECT_EQ(Calls(root), "SMPPSetDebugMode 1\nUCPSetDebugMode 1\nCIMDSetDebugMode 1\n");
    ASSERT_NE(libs.smpp.SMPPErrorText, nullptr);
    EXPECT_STREQ(libs.smpp.SMPPErrorText(3), "fake");
    EXPECT_EQ(libs.mmsc.InstallMMSCService(1), 1);
    // The start-up table leaves the pages' names alone.
    EXPECT_EQ(libs.mmsc.IsMMSCServiceActive, nullptr);

    EXPECT_TRUE(BindTlsLibrary(libs));
    EXPECT_TRUE(BindGprsLibrary(libs));
    EXPECT_NE(libs.gprs.ModemReset, nullptr);
    ReleaseShutdownLibraries(libs);
    EXPECT_FALSE(libs.mmscLib.bound());
    EXPECT_FALSE(libs.smppLib.bound());
    EXPECT_EQ(libs.smpp.SMPPBind, nullptr);
    EXPECT_TRUE(libs.ucpLib.bound());  // goes with the process
    ReleaseAllLibraries(libs);
    EXPECT_FALSE(libs.tlsLib.bound());
    EXPECT_EQ(libs.tls.sslInitLib, nullptr);
}

TEST(PluginLibraries, BrokenLibrariesLeaveNothingHalfBound) {
    testsupport::TempRoot root(true);
    PluginLibraries libs;
    libs.directory = FAKE_BROKEN_DIR;
    BindStartupLibraries(libs);
    EXPECT_TRUE(libs.mmscLib.bound());   // lacks only a name the pages bind
    EXPECT_FALSE(libs.smppLib.bound());  // lacks SMPPErrorText
    EXPECT_EQ(libs.smpp.SMPPSetDebugMode, nullptr);
    EXPECT_EQ(libs.smpp.SMPPBind, nullptr);
    EXPECT_FALSE(libs.ucpLib.bound());   // not a shared object
    EXPECT_FALSE(libs.cimdLib.bound());  // missing
    EXPECT_EQ(Calls(root), "");          // no debug mode set on anything unbound

    EXPECT_FALSE(BindTlsLibrary(libs));  // lacks sslTermLib
    EXPECT_EQ(libs.tls.sslInitLib, nullptr);
    EXPECT_TRUE(BindGprsLibrary(libs));  // lacks only the optional ModemReset
    EXPECT_EQ(libs.gprs.ModemReset, nullptr);
    EXPECT_NE(libs.gprs.ModemGetCIDForAPN, nullptr);
    ReleaseAllLibraries(libs);
}

// The libraries this project builds bind completely from the program directory.
TEST(PluginLibraries, TheFamilysOwnLibrariesBind) {
    testsupport::TempRoot root(true);
    PluginLibraries libs;
    libs.directory = PROGRAM_DIR;
    BindStartupLibraries(libs);
    EXPECT_TRUE(libs.smppLib.bound());
    EXPECT_TRUE(libs.ucpLib.bound());
    EXPECT_TRUE(libs.cimdLib.bound());
    EXPECT_TRUE(BindTlsLibrary(libs));
    ReleaseAllLibraries(libs);
}

TEST(PluginLibraries, TlsAndGprsAreBoundOncePerRun) {
    PluginLibraries libs;
    libs.directory = FAKE_BROKEN_DIR;
    EXPECT_FALSE(BindTlsLibrary(libs));
    libs.directory = FAKE_FULL_DIR;  // a usable library appears: the outcome stays
    EXPECT_FALSE(BindTlsLibrary(libs));
    EXPECT_TRUE(BindGprsLibrary(libs));
    void* handle = libs.gprsLib.handle;
    EXPECT_TRUE(BindGprsLibrary(libs));
    EXPECT_EQ(libs.gprsLib.handle, handle);
    ReleaseAllLibraries(libs);
    EXPECT_TRUE(libs.tlsLib.attempted);  // a release does not make it try again
    EXPECT_FALSE(BindTlsLibrary(libs));
}

TEST(PluginLibraries, PagesBindTheMmscLibraryForOneUse) {
    {
        ScopedMmscBinding use(FAKE_FULL_DIR, {"IsMMSCServiceActive", "IsMMSCServiceInstalled"});
        ASSERT_TRUE(use.bound());
        EXPECT_EQ(use.calls().IsMMSCServiceActive(), 1);
        EXPECT_EQ(use.calls().InstallMMSCService, nullptr);  // only what was asked for
    }
    ScopedMmscBinding lacking(FAKE_BROKEN_DIR, {"IsMMSCServiceActive"});
    EXPECT_FALSE(lacking.bound());
    EXPECT_EQ(lacking.calls().IsMMSCServiceActive, nullptr);
    ScopedMmscBinding unknown(FAKE_FULL_DIR, {"IsMMSCServiceActive", "NoSuchName"});
    EXPECT_FALSE(unknown.bound());
    ScopedMmscBinding install(FAKE_BROKEN_DIR,
                              {"InstallMMSCService", "RemoveMMSCService", "StartMMSCService"});
    EXPECT_TRUE(install.bound());
}

// The MMSC library's pages come after the fixed pages and before the diagnostics page; a library
// that adds more than it announced keeps only what it announced.
TEST(PluginLibraries, MmscPagesArePlacedAtTheirRow) {
    struct Case {
        const char* pages;  // announced,added
        std::vector<std::string> titles;
    } cases[] = {
        {"2,2", {"MMSC 1", "MMSC 2", "Diagnostics"}},
        {"1,3", {"MMSC 1", "Diagnostics"}},
        {"0,0", {"Diagnostics"}},
    };
    testsupport::TempRoot root(true);
    for (const Case& c : cases) {
        setenv("FAKE_MMSC_PAGES", c.pages, 1);
        PluginLibraries libs;
        libs.directory = FAKE_FULL_DIR;
        BindStartupLibraries(libs);
        ProgramValues program;
        PageContext context{&program, &libs, {}};
        platform::PropertySheet sheet = AssembleSheet(context, "", "COM1:");
        std::vector<std::string> titles;
        for (const platform::SheetPage& p : sheet.pages) {
            titles.push_back(p.title);
        }
        EXPECT_EQ(titles, c.titles) << c.pages;
        EXPECT_EQ(sheet.startPage, 0);
        sheet.pages.clear();
        ReleaseAllLibraries(libs);
    }
    unsetenv("FAKE_MMSC_PAGES");
}

}  // namespace
}  // namespace app

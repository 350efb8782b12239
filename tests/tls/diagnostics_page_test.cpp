// The debug-log switches: where each one lives, how it loads and how it is written.
#include "tls/diagnostics_page.h"

#include <gtest/gtest.h>

#include "tests/support/temp_root.h"

namespace {

using namespace tls;

DebugLogPlaces Places(const testsupport::TempRoot& root) {
    return {root.Path("ProgramData/"), root.Path("Debug/"), root.Path("MMSCDebug/")};
}

TEST(DiagnosticsPage, EachSwitchHasItsFileSectionAndLog) {
    testsupport::TempRoot root;
    DebugLogPlaces p = Places(root);
    const char* expected[][2] = {{"ProgramData/ZIZOD.INI", "Debug/SMSDEBUG.LOG"},
                                 {"ProgramData/MMSC.INI", "MMSCDebug/MMSCDEBUG.LOG"},
                                 {"ProgramData/VOVUDE.INI", "Debug/VOVUDEDEBUG.LOG"}};
    for (int i = 0; i < kDebugSwitchCount; ++i) {
        EXPECT_EQ(SwitchIniPath(p, kDebugSwitches[i]), root.Path(expected[i][0]));
        EXPECT_EQ(SwitchLogPath(p, kDebugSwitches[i]), root.Path(expected[i][1]));
    }
}

TEST(DiagnosticsPage, LoadsWithTheTruthTest) {
    testsupport::TempRoot root;
    DebugLogPlaces p = Places(root);
    const DebugSwitch& sms = kDebugSwitches[0];
    EXPECT_FALSE(LoadDebugSwitch(p, sms));  // no file
    struct Case {
        const char* file;
        bool on;
    };
    for (const Case& c : {Case{"[ZIZOD]\nDebug=TRUE\n", true}, Case{"[ZIZOD]\nDebug=1\n", true},
                          Case{"[zizod]\ndebug=yes\n", true}, Case{"[ZIZOD]\nDebug=No\n", false},
                          Case{"[ZIZOD]\nDebug=\n", false}, Case{"[MMSC]\nDebug=Yes\n", false}}) {
        root.Write("ProgramData/ZIZOD.INI", c.file);
        EXPECT_EQ(LoadDebugSwitch(p, sms), c.on) << c.file;
    }
}

TEST(DiagnosticsPage, SavesYesOrDeletesTheKey) {
    testsupport::TempRoot root;
    DebugLogPlaces p = Places(root);
    root.Write("ProgramData/ZIZOD.INI", "[ZIZOD]\nDebug=TRUE\nOther=1\n");
    EXPECT_TRUE(SaveDebugSwitch(p, kDebugSwitches[0], false));
    EXPECT_EQ(root.Read("ProgramData/ZIZOD.INI"), "[ZIZOD]\nOther=1\n");
    EXPECT_TRUE(SaveDebugSwitch(p, kDebugSwitches[0], true));
    EXPECT_EQ(root.Read("ProgramData/ZIZOD.INI"), "[ZIZOD]\nOther=1\nDebug=Yes\n");

    // Clearing a switch whose file is missing creates nothing; setting it creates the file.
    EXPECT_TRUE(SaveDebugSwitch(p, kDebugSwitches[2], false));
    EXPECT_FALSE(root.Exists("ProgramData/VOVUDE.INI"));
    EXPECT_TRUE(SaveDebugSwitch(p, kDebugSwitches[2], true));
    EXPECT_EQ(root.Read("ProgramData/VOVUDE.INI"), "[VOVUDE]\nDebug=Yes\n");

    // A file that cannot be written reports failure.
    root.Write("ProgramData/MMSC.INI/blocker", "");
    EXPECT_FALSE(SaveDebugSwitch(p, kDebugSwitches[1], true));
}

}  // namespace

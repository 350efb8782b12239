// Start-up pieces on their own: the switch table, the start page rule, the recursive delete, the
// restart watcher in step with a virtual time, and start-up in data roots that cannot be used.
#include "app/startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "app/command_line.h"
#include "app/pages.h"
#include "app/plugins/plugin_libraries.h"
#include "app/program.h"
#include "app/watcher.h"
#include "platform/ini.h"
#include "platform/ui/message_box.h"
#include "service/restart_trigger.h"
#include "tests/app/watcher_stepper.h"
#include "tests/support/temp_root.h"

namespace app {
namespace {

TEST(CommandLine, FirstRowFoundAnywhereInAnyCase) {
    using A = SwitchAction;
    struct Case {
        const char* arguments;
        std::optional<SwitchAction> action;
        bool quiet;
    } cases[] = {
        {"", std::nullopt, false},
        {"-quiet", std::nullopt, true},
        {"x-qy", std::nullopt, true},
        {"/Quiet /installsmsservice", A::InstallSms, true},
        {"-INSTALLSMSSERVICE", A::InstallSms, false},  // not row 12, although it holds "-I"
        {"-RESTARTSMSSERVICE", A::RestartSms, false},  // not row 13, although it holds "-R"
        {"/home/user/reports", A::RemoveServices, false},
        {"-installmmsservice", A::InstallMmsc, false},
        {"-STOPMMSSERVICE -REMOVESMSSERVICE", A::RemoveSms, false},  // table order, not word order
        {"-deletedatadir /q", A::DeleteDataDirectory, true},
        {"/i", A::InstallServices, false},
        {"-removeservice", A::RemoveServices, false},
        {"plain words", std::nullopt, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FindSwitch(c.arguments), c.action) << c.arguments;
        EXPECT_EQ(HasQuietSwitch(c.arguments), c.quiet) << c.arguments;
    }
    const char* argv[] = {"/usr/bin/zelmo-console", "a b", "-q"};
    EXPECT_EQ(ArgumentText(3, argv), "a b -q");
}

TEST(Pages, StartPageIsTheSmscPageUntilAConnectionExists) {
    EXPECT_EQ(StartPageIndex("", 8), 1);
    EXPECT_EQ(StartPageIndex("COM1:", 8), 0);
    EXPECT_EQ(StartPageIndex("", 1), 0);  // a sheet of one page starts on it
}

TEST(Pages, TableOrderConditionsAndTitles) {
    ProgramValues program;
    PluginLibraries libs;
    PageContext c{&program, &libs, {}};
    std::vector<std::string> wanted;
    for (const PageRow& row : kPageTable) {
        if (row.wanted(c)) {
            wanted.push_back(row.title ? row.title(c) : "(library)");
        }
    }
    EXPECT_EQ(wanted, (std::vector<std::string>{"Service", "Modems", "Web", "SMS Users", "2-Way",
                                                "Diagnostics"}));
    program.statusPageEnabled = false;
    program.serverCertificatePresent = true;
    EXPECT_FALSE(kPageTable[0].wanted(c));
    EXPECT_TRUE(kPageTable[1].wanted(c));
    EXPECT_TRUE(kPageTable[7].wanted(c));
    EXPECT_EQ(kPageTable[7].title(c), "SSL/TLS");
}

TEST(Shell, DeleteDirectoryTree) {
    testsupport::TempRoot root;
    root.Write("tree/a.txt", "a");
    root.Write("tree/sub/b.txt", "b");
    root.Write("tree/.hidden/c.txt", "c");
    root.Write("outside/keep.txt", "k");
    std::filesystem::create_directory_symlink(root.Path("outside"), root.Path("tree/link"));
    DeleteDirectoryTree(root.Path("tree") + "//");
    EXPECT_FALSE(root.Exists("tree/a.txt"));
    EXPECT_FALSE(root.Exists("tree/sub"));
    EXPECT_TRUE(root.Exists("tree/.hidden/c.txt"));  // dot directories are left alone ...
    EXPECT_TRUE(root.Exists("tree"));                // ... so the tree stays
    EXPECT_TRUE(root.Exists("outside/keep.txt"));    // links are not followed
    DeleteDirectoryTree("");
    std::filesystem::remove_all(root.Path("tree/.hidden"));
    DeleteDirectoryTree(root.Path("tree"));
    EXPECT_FALSE(root.Exists("tree"));
}

TEST(Watcher, StampsCompareWithoutCase) {
    EXPECT_GT(CompareStamps("20240101000001", "20240101000000"), 0);
    EXPECT_EQ(CompareStamps("abc", "ABC"), 0);
    EXPECT_GT(CompareStamps("1", ""), 0);
    EXPECT_LT(CompareStamps("2023", "20240101000000"), 0);
}

// A watcher over a trigger text the test writes, stepped in 500 ms passes.
struct SteppedWatcher {
    std::mutex mutex;
    std::string trigger;
    std::atomic<int> relaunches{0};
    std::atomic<int> refreshes{0};
    apptest::WatcherStepper stepper;
    RestartTriggerWatcher watcher;

    void Start() {
        WatcherHooks h;
        h.readTrigger = [this] {
            std::lock_guard<std::mutex> lock(mutex);
            return trigger;
        };
        h.relaunch = [this] { ++relaunches; };
        h.refresh = [this] { ++refreshes; };
        watcher.Start(stepper.Hooks(std::move(h)));
    }
    void Write(const std::string& stamp) {
        std::lock_guard<std::mutex> lock(mutex);
        trigger = stamp;
    }
    ~SteppedWatcher() {
        stepper.Release();
        watcher.StopAndWait([this](uint32_t) { stepper.WaitFinished(); });
    }
};

TEST(Watcher, ANewerStampRelaunchesAnOlderOrEqualOneDoesNot) {
    struct Case {
        const char* atStart;
        const char* written;
        bool relaunch;
    } cases[] = {
        {"", "", false},
        {"", "x", true},
        {"20240101120000", "20240101120000", false},
        {"20240101120000", "20231231235959", false},
        {"20240101120000", "20240101120001", true},
    };
    for (const Case& c : cases) {
        SteppedWatcher w;
        w.Write(c.atStart);
        w.Start();
        w.stepper.Advance(1000);
        EXPECT_EQ(w.relaunches, 0) << c.written;
        w.Write(c.written);
        w.stepper.Advance(500);  // the next pass sees it
        EXPECT_EQ(w.relaunches, c.relaunch ? 1 : 0) << c.written;
        EXPECT_EQ(w.stepper.finished(), c.relaunch) << c.written;
    }
}

TEST(Watcher, ARestartOrderedHereDoesNotRelaunch) {
    SteppedWatcher w;
    w.Write("20240101120000");
    w.Start();
    w.stepper.Advance(500);
    // What RestartSMSService does: the stamp is stored as seen before it is written.
    service::SetRestartTriggerSeen("20240102090000");
    w.Write("20240102090000");
    w.stepper.Advance(5000);
    EXPECT_EQ(w.relaunches, 0);
    EXPECT_GE(w.refreshes, 10);  // the queue-size refresh runs on every pass
}

TEST(Watcher, OnlyARunWithoutArgumentsWaitsForTheConsoleThatStartedIt) {
    // A child of this program stands for a console started by a console: a relaunch (no
    // arguments) waits for its parent to end; the elevated re-run of a switch, whose parent
    // waits for it in turn, must not.
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        int relaunch = WaitForRelaunchingParent("", 0) ? 1 : 0;
        int rerun = WaitForRelaunchingParent("/STOPSMSSERVICE", 0) ? 2 : 0;
        ::_exit(relaunch | rerun);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(WaitForRelaunchingParent("", 0));  // started by another program
}

TEST(Watcher, StopEndsTheThread) {
    SteppedWatcher w;
    w.Start();
    w.stepper.Advance(500);
    w.stepper.Release();
    EXPECT_TRUE(w.watcher.StopAndWait([&](uint32_t) { w.stepper.WaitFinished(); }));
    EXPECT_TRUE(w.watcher.Finished());
}

struct Boxes {
    std::vector<platform::MessageBoxRequest> shown;
    platform::MessageBoxBackend backend{[](void* c, const platform::MessageBoxRequest& r) {
                                            static_cast<Boxes*>(c)->shown.push_back(r);
                                            return static_cast<int>(platform::IDNO);
                                        },
                                        this};
    Boxes() { platform::SetMessageBoxBackend(&backend); }
    ~Boxes() { platform::SetMessageBoxBackend(nullptr); }
};

TEST(StartUp, SocketFailureEndsWithMinusOne) {
    testsupport::TempRoot root(true);
    Boxes boxes;
    StartupHooks hooks;
    hooks.startSockets = [] { return false; };
    StartupOutcome o = StartUp("", hooks);
    EXPECT_TRUE(o.ended);
    EXPECT_EQ(o.exitStatus, -1);
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, kSocketErrorText);
    EXPECT_EQ(boxes.shown[0].icon, platform::MbIcon::Error);
    EXPECT_TRUE(boxes.shown[0].foreground);
    EXPECT_FALSE(root.Exists("ProgramData/ZIZOD.INI"));
}

// A data root that cannot be created and a missing icon: no configuration file anywhere, the icon
// message, and the console still comes up with its sheet, without an icon.
TEST(StartUp, UnusableDataRootStillStarts) {
    testsupport::TempRoot root(true);
    root.Write("blocker", "a file where the data root should be");
    setenv("ZELMOSMS_ROOT", root.Path("blocker/root").c_str(), 1);
    Boxes boxes;
    StartupHooks hooks;
    hooks.realProgramDirectory = root.Path("Program/");
    hooks.libraryDirectory = root.Path("Program/");
    hooks.userProfile = [] { return std::string(); };
    hooks.iconPath = root.Path("Program/zelmosms.svg");
    std::string cwdFile = std::filesystem::current_path() / "ZIZOD.INI";
    bool existedBefore = std::filesystem::exists(cwdFile);
    StartupOutcome o = StartUp("", hooks);
    EXPECT_FALSE(o.ended);
    EXPECT_EQ(std::filesystem::exists(cwdFile), existedBefore);
    platform::PropertySheet sheet = BuildConsoleSheet(o, hooks);
    ASSERT_EQ(sheet.pages.size(), 1u);
    EXPECT_EQ(sheet.pages[0].title, "Diagnostics");
    EXPECT_EQ(sheet.iconPath, "");
    ASSERT_EQ(boxes.shown.size(), 1u);
    EXPECT_EQ(boxes.shown[0].text, "Error loading Icon");
    EXPECT_EQ(boxes.shown[0].caption, "Debug");
    EXPECT_EQ(boxes.shown[0].buttons, platform::MbButtons::Ok);
    EXPECT_EQ(boxes.shown[0].icon, platform::MbIcon::None);
    EXPECT_FALSE(boxes.shown[0].foreground);
    ReleaseAllLibraries(Plugins());
}

TEST(StartUp, PerUserCopyIsDeletedAndRightsGrantedAgain) {
    testsupport::TempRoot root(true);
    std::vector<std::string> granted;
    StartupHooks hooks;
    hooks.grantRights = [&](const std::string& d) { granted.push_back(d); };
    EXPECT_FALSE(CleanUpUserCopy(root.Path("Home"), hooks));
    EXPECT_FALSE(CleanUpUserCopy("", hooks));
    EXPECT_TRUE(granted.empty());
    root.Write(std::string("Home/") + kUserVirtualStore + "/ZIZOD.INI", "[ZIZOD]\n");
    EXPECT_TRUE(CleanUpUserCopy(root.Path("Home") + "/", hooks));
    EXPECT_FALSE(root.Exists(std::string("Home/") + kUserVirtualStore));
    ASSERT_EQ(granted.size(), 1u);
    EXPECT_EQ(granted[0], root.Path("ProgramData"));

    // A link of that name is removed; what it points to is left alone.
    root.Write("Elsewhere/keep.txt", "k");
    std::string copy = root.Path(std::string("Home/") + kUserVirtualStore);
    std::filesystem::create_directory_symlink(root.Path("Elsewhere"), copy);
    EXPECT_TRUE(CleanUpUserCopy(root.Path("Home"), hooks));
    EXPECT_FALSE(std::filesystem::is_symlink(copy));
    EXPECT_TRUE(root.Exists("Elsewhere/keep.txt"));
    EXPECT_EQ(granted.size(), 2u);
}

}  // namespace
}  // namespace app

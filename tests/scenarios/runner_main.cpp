// zelmo-scenario: runs scenario files (or every *.scn file of a folder) against the console's
// windows on the offscreen platform, and ends with the line "N passed, N failed".
//   zelmo-scenario [--out DIR] FILE|FOLDER ...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <sstream>

#include "app/plugins/plugin_libraries.h"
#include "app/startup.h"
#include "libs/zozeziv/zozeziv.h"
#include "service/service_control.h"
#include "tests/app/watcher_stepper.h"
#include "tests/scenarios/scenario.h"
#include "tls/diagnostics_page.h"

extern "C" const char* __asan_default_options() {
    return "detect_leaks=1:abort_on_error=0:detect_stack_use_after_return=1";
}
extern "C" const char* __ubsan_default_options() {
    return "print_stacktrace=1:halt_on_error=1";
}
// Leaks inside the system libraries (fontconfig, the Qt platform plug-ins) are not ours to fix.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig\nleak:libQt6\nleak:libglib\nleak:libdbus\nleak:qoffscreen\n";
}

namespace {

namespace fs = std::filesystem;

// A console run beside its sheet: the restart watcher, stepped with the scenario's clock.
struct ConsoleRun {
    app::RestartTriggerWatcher watcher;
    apptest::WatcherStepper stepper;
    std::mutex mutex;
    int relaunches = 0;  // written by the watcher thread
};

std::string Setting(const scenario::Environment& env, const std::string& key) {
    auto it = env.settings.find(key);
    return it == env.settings.end() ? std::string() : it->second;
}

// The console as zelmo-console runs it, in the scenario's data root:
//   start console [ARGUMENT ...]
// The real program directory (manual, "virazad.dll", the libraries) is $ROOT/Program/ unless
// "set programdir DIR" names another folder of the root; "set libraries test" binds the
// stand-ins of the six optional libraries instead (they log their calls to
// $ROOT/PLUGIN-CALLS.TXT); the per-user clean-up looks under $ROOT/Home; "set sockets fail"
// fails the socket layer.
// Events: "rights DIR" for each grant of rights (DIR relative to the root), "relaunch".
// Actions: "do restart" restarts the gateway service as a page would.
std::optional<platform::PropertySheet> StartConsole(scenario::Environment& env) {
    auto folder = [&env](const std::string& key, const char* fallback) {
        std::string name = Setting(env, key);
        return env.root + "/" + (name.empty() ? fallback : name) + "/";
    };
    app::StartupHooks hooks;
    hooks.startSockets = [&env] { return Setting(env, "sockets") != "fail"; };
    hooks.grantRights = [&env](const std::string& directory) {
        std::string shown = directory;
        if (shown.rfind(env.root + "/", 0) == 0) {
            shown = shown.substr(env.root.size() + 1);
        }
        env.events.push_back("rights " + shown);
        SetZelmoSMSTrustees(directory.c_str());
    };
    hooks.realProgramDirectory = folder("programdir", "Program");
    hooks.libraryDirectory = Setting(env, "libraries") == "test" ? std::string(FAKE_LIBRARY_DIR)
                                                                 : folder("programdir", "Program");
    hooks.userProfile = [&env] { return env.root + "/Home"; };
    hooks.openFile = [&env](const std::string& path) {
        env.opened.push_back(path);
        return true;
    };
    // The gateway's executables would lie beside the console: none there, so that nothing a
    // scenario installs ever runs.
    service::SetGatewayProgramDirectory(hooks.realProgramDirectory);
    std::string arguments;
    for (const std::string& a : env.arguments) {
        arguments += (arguments.empty() ? "" : " ") + a;
    }
    app::StartupOutcome outcome = app::StartUp(arguments, hooks);
    if (outcome.ended) {
        env.exitStatus = outcome.exitStatus;
        app::ReleaseAllLibraries(app::Plugins());
        return std::nullopt;
    }
    platform::PropertySheet sheet = app::BuildConsoleSheet(outcome, hooks);

    auto run = std::make_shared<ConsoleRun>();
    app::WatcherHooks watch;
    watch.relaunch = [raw = run.get()] {
        std::lock_guard<std::mutex> lock(raw->mutex);
        ++raw->relaunches;
    };
    run->watcher.Start(run->stepper.Hooks(std::move(watch)));
    auto noteRelaunches = [run, &env] {
        std::lock_guard<std::mutex> lock(run->mutex);
        for (; run->relaunches > 0; --run->relaunches) {
            env.events.push_back("relaunch");
        }
    };
    env.onAdvance = [run, noteRelaunches](uint64_t ms) {
        run->stepper.Advance(ms);
        noteRelaunches();
    };
    env.onClose = [run] {
        run->stepper.Release();
        app::ShutDown(run->watcher, [run](uint32_t) { run->stepper.WaitFinished(); });
        app::ReleaseAllLibraries(app::Plugins());
    };
    env.onAbandon = [run] {
        run->stepper.Release();
        run->watcher.StopAndWait([run](uint32_t) { run->stepper.WaitFinished(); });
        app::ReleaseAllLibraries(app::Plugins());
    };
    env.actions["restart"] = [] { service::RestartSMSService(false); };
    return sheet;
}

// The sheets a scenario can start: the console, and the diagnostics page alone.
scenario::Setup MakeSetup() {
    scenario::Setup s;
    s.sheets["diagnostics"] = [](scenario::Environment& env) {
        tls::DiagnosticsPageOptions o;
        o.places = tls::DebugLogPlacesFromSupportLibrary();
        o.help = true;
        o.openFile = [&env](const std::string& path) {
            env.opened.push_back(path);
            return true;
        };
        platform::PropertySheet sheet;
        sheet.pages.push_back(tls::MakeDiagnosticsPage(std::move(o)));
        return sheet;
    };
    s.sheets["console"] = StartConsole;
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    // Scenarios never touch the machine's own service manager.
    setenv("ZELMOSMS_SERVICE_MANAGER", "local", 1);
    scenario::Setup setup = MakeSetup();
    std::vector<fs::path> files;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--out" && i + 1 < argc) {
            setup.outDir = argv[++i];
            continue;
        }
        std::error_code ec;
        if (fs::is_directory(a, ec)) {
            std::vector<fs::path> found;
            for (const auto& e : fs::directory_iterator(a, ec)) {
                if (e.path().extension() == ".scn") {
                    found.push_back(e.path());
                }
            }
            std::sort(found.begin(), found.end());
            files.insert(files.end(), found.begin(), found.end());
        } else {
            files.emplace_back(a);
        }
    }
    if (files.empty()) {
        std::fprintf(stderr, "usage: zelmo-scenario [--out DIR] FILE|FOLDER ...\n");
        return 2;
    }
    int passed = 0;
    int failed = 0;
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        if (!in) {
            std::printf("FAIL %s: cannot be read\n", f.c_str());
            ++failed;
            continue;
        }
        std::ostringstream text;
        text << in.rdbuf();
        scenario::Outcome o = scenario::Run(text.str(), setup);
        if (o.passed) {
            std::printf("PASS %s\n", f.c_str());
            ++passed;
        } else {
            std::printf("FAIL %s:%d: %s\n", f.c_str(), o.line, o.message.c_str());
            ++failed;
        }
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}

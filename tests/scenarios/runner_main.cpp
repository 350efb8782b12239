// zelmo-scenario: runs scenario files (or every *.scn file of a folder) against the console's
// windows on the offscreen platform, and ends with the line "N passed, N failed".
//   zelmo-scenario [--out DIR] FILE|FOLDER ...
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

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

// The sheets a scenario can start. Until the console's own page assembly exists, the diagnostics
// page alone.
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
    return s;
}

}  // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
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

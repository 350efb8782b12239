// smsgwnt, the gateway simulator: installed in the program directory as the gateway executable,
// so that the console registers, starts and stops it as the gateway service. Without arguments it
// runs the scenario programData + "GATEWAYSIM.INI" (no such file: counters and queue only).
//
//   smsgwnt [--scenario FILE] [--once | --lay-down]
//     --once       lay down the scenario's files, keep a copy as GATEWAYSIM.INI, and exit
//     --lay-down   lay down the files, then run
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/clock.h"
#include "platform/file_scan.h"
#include "tools/gateway-sim/files.h"
#include "tools/gateway-sim/simulator.h"

namespace {

volatile std::sig_atomic_t g_stop = 0;

void OnSignal(int) {
    g_stop = 1;
}

int Usage() {
    std::fprintf(stderr, "usage: smsgwnt [--scenario FILE] [--once | --lay-down]\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    std::string scenario;
    bool once = false;
    bool layDown = false;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--scenario") == 0 && i + 1 < argc) {
            scenario = argv[++i];
        } else if (std::strcmp(argv[i], "--once") == 0) {
            once = true;
        } else if (std::strcmp(argv[i], "--lay-down") == 0) {
            layDown = true;
        } else {
            return Usage();
        }
    }
    if (once && layDown) {
        return Usage();
    }
    gatewaysim::SimPaths paths = gatewaysim::ResolvePaths();
    std::string installed = gatewaysim::DefaultScenarioPath(paths);
    if (scenario.empty()) {
        scenario = installed;
    }

    if (once) {
        gatewaysim::Scenario s;
        std::string error;
        if (!gatewaysim::LoadScenario(scenario, &s, &error)) {
            std::fprintf(stderr, "smsgwnt: %s: %s\n", scenario.c_str(), error.c_str());
            return 1;
        }
        bool ok = gatewaysim::LayDown(s, paths, platform::WallSeconds(), true);
        // The service, started without arguments, runs the same scenario.
        if (scenario != installed) {
            std::string text;
            ok = platform::ReadFileHead(scenario, 1 << 20, &text) &&
                 gatewaysim::WriteFileAtomic(installed, text) && ok;
        }
        if (!ok) {
            std::fprintf(stderr, "smsgwnt: some files could not be written\n");
        }
        return ok ? 0 : 1;
    }

    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    return gatewaysim::RunService(scenario, layDown, &g_stop);
}

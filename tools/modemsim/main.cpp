// zelmo-modemsim: runs the modem simulator until interrupted, for demos and manual tests.
//
//   zelmo-modemsim [--profile FILE] [--tcp] [--com DIR/COMn] [--transcript FILE] [key=value ...]
//
// Serial mode prints the pseudo-terminal's device (and links it as DIR/COMn with --com, for
// ZELMOSMS_COMPORTS=DIR); --tcp prints the terminal server's port on 127.0.0.1. The profile keys
// are those of modemsim::ParseProfile. The transcript is written when the program ends.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/modemsim/modemsim.h"

int main(int argc, char** argv) {
    modemsim::Profile profile;
    std::string error;
    std::string items;
    std::string comLink;
    std::string transcript;
    bool tcp = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--profile" && i + 1 < argc) {
            std::ifstream f(argv[++i]);
            if (!f) {
                std::fprintf(stderr, "cannot read %s\n", argv[i]);
                return 2;
            }
            std::stringstream s;
            s << f.rdbuf();
            items += s.str() + "\n";
        } else if (a == "--tcp") {
            tcp = true;
        } else if (a == "--com" && i + 1 < argc) {
            comLink = argv[++i];
        } else if (a == "--transcript" && i + 1 < argc) {
            transcript = argv[++i];
        } else if (a.find('=') != std::string::npos) {
            items += a + "\n";
        } else {
            std::fprintf(stderr,
                         "usage: zelmo-modemsim [--profile FILE] [--tcp] [--com DIR/COMn] "
                         "[--transcript FILE] [key=value ...]\n");
            return 2;
        }
    }
    if (!modemsim::ParseProfile(items, &profile, &error)) {
        std::fprintf(stderr, "profile: %s\n", error.c_str());
        return 2;
    }
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // the simulator's thread inherits the mask

    modemsim::Simulator sim(profile);
    if (tcp) {
        if (!sim.StartServer({})) {
            std::fprintf(stderr, "cannot listen on 127.0.0.1\n");
            return 1;
        }
        std::printf("127.0.0.1:%u\n", sim.port());
    } else {
        if (!sim.StartSerial()) {
            std::fprintf(stderr, "cannot create a pseudo-terminal\n");
            return 1;
        }
        if (!comLink.empty()) {
            unlink(comLink.c_str());
            if (symlink(sim.devicePath().c_str(), comLink.c_str()) != 0) {
                std::fprintf(stderr, "cannot link %s: %s\n", comLink.c_str(), std::strerror(errno));
            }
        }
        std::printf("%s\n", sim.devicePath().c_str());
    }
    std::fflush(stdout);
    int sig = 0;
    sigwait(&stop, &sig);
    sim.Stop();
    if (!comLink.empty()) {
        unlink(comLink.c_str());
    }
    if (!transcript.empty()) {
        std::ofstream(transcript) << sim.Transcript();
    }
    return 0;
}

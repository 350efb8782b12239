// A stand-in for the gateway service executable, run by the service control tests. It reads its
// behaviour from the environment it inherits from the test:
//   ZELMO_STUB_DIR   directory for "ready" (its pid, written once its signal handling is set up),
//                    "stopped" (written on a clean stop) and "runs" (one line per run);
//   ZELMO_STUB_MODE  "normal" (ends on SIGTERM), "ignore" (ignores SIGTERM), "exit" (ends at once).
// It never lives longer than 60 seconds, so a failed test cannot leave it behind for long.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

volatile sig_atomic_t g_stop = 0;

void OnTerm(int) {
    g_stop = 1;
}

void WriteFile(const std::string& path, const std::string& text, const char* mode) {
    std::string temp = path + ".tmp";
    if (FILE* f = std::fopen(mode[0] == 'a' ? path.c_str() : temp.c_str(), mode)) {
        std::fputs(text.c_str(), f);
        std::fclose(f);
        if (mode[0] != 'a') {
            std::rename(temp.c_str(), path.c_str());
        }
    }
}

}  // namespace

int main() {
    const char* dirEnv = std::getenv("ZELMO_STUB_DIR");
    const char* modeEnv = std::getenv("ZELMO_STUB_MODE");
    std::string dir = dirEnv ? dirEnv : "/tmp";
    std::string mode = modeEnv ? modeEnv : "normal";
    std::string pid = std::to_string(::getpid());
    WriteFile(dir + "/runs", pid + "\n", "a");
    if (mode == "exit") {
        return 3;
    }
    struct sigaction sa;
    std::memset(&sa, 0, sizeof sa);
    sa.sa_handler = mode == "ignore" ? SIG_IGN : OnTerm;
    sigaction(SIGTERM, &sa, nullptr);
    WriteFile(dir + "/ready", pid, "w");
    for (int i = 0; i < 6000 && !g_stop; ++i) {
        ::usleep(10000);
    }
    WriteFile(dir + "/stopped", pid, "w");
    return 0;
}

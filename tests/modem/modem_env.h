// What the modem tests share: a recording message-box backend, the virtual clock, a COM port map
// pointing at simulators, and the transcript files kept as test data.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ui/message_box.h"
#include "platform/ui/wait_cursor.h"
#include "tests/support/temp_root.h"
#include "tools/modemsim/modemsim.h"

namespace modemtest {

// Records every box (and the wait-cursor depth at that moment) and answers OK.
struct Boxes {
    struct Shown {
        platform::MessageBoxRequest request;
        int cursorDepth;
    };
    std::vector<Shown> shown;
    platform::MessageBoxBackend backend{&Boxes::Show, this};

    Boxes() { platform::SetMessageBoxBackend(&backend); }
    ~Boxes() { platform::SetMessageBoxBackend(nullptr); }
    static int Show(void* ctx, const platform::MessageBoxRequest& r) {
        static_cast<Boxes*>(ctx)->shown.push_back({r, platform::WaitCursorDepth()});
        return platform::IDOK;
    }
    std::vector<std::string> Texts() const {
        std::vector<std::string> t;
        for (const auto& s : shown) {
            t.push_back(s.request.text);
        }
        return t;
    }
    std::string Last() const { return shown.empty() ? std::string() : shown.back().request.text; }
};

// A test environment: virtual time, recorded boxes, COMn links in a temporary directory.
class ModemEnv : public ::testing::Test {
  protected:
    ModemEnv() : clock_(virtual_.source) { setenv("ZELMOSMS_COMPORTS", ports_.path().c_str(), 1); }
    ~ModemEnv() override { unsetenv("ZELMOSMS_COMPORTS"); }

    // Makes COMn name the simulator's pseudo-terminal.
    void LinkCom(unsigned n, const modemsim::Simulator& sim) {
        std::string link = ports_.Path("COM" + std::to_string(n));
        unlink(link.c_str());
        ASSERT_EQ(symlink(sim.devicePath().c_str(), link.c_str()), 0);
    }
    uint64_t VirtualMs() const { return virtual_.Tick() - 1000000; }

    platform::VirtualTime virtual_;
    platform::ScopedClock clock_;
    testsupport::TempRoot ports_;
    Boxes boxes_;
};

// The transcript without the line that names the pseudo-terminal (it differs on every run).
inline std::string StableTranscript(const modemsim::Simulator& sim) {
    std::string all = sim.Transcript();
    std::string out;
    std::size_t start = 0;
    while (start < all.size()) {
        std::size_t end = all.find('\n', start);
        std::string line = all.substr(start, end - start);
        if (line.rfind("-- serial modem on", 0) != 0 &&
            line.rfind("-- terminal server on", 0) != 0) {
            out += line + "\n";
        }
        start = end == std::string::npos ? all.size() : end + 1;
    }
    return out;
}

// Compares with the transcript kept under tests/modem/data (rewritten instead when
// ZELMO_UPDATE_TRANSCRIPTS is set).
inline void ExpectTranscript(const modemsim::Simulator& sim, const std::string& file) {
    std::string path = std::string(ZELMO_MODEM_TEST_DATA) + "/" + file;
    std::string now = StableTranscript(sim);
    if (std::getenv("ZELMO_UPDATE_TRANSCRIPTS")) {
        testsupport::WriteFile(path, now);
    }
    EXPECT_EQ(now, testsupport::ReadFile(path)) << "transcript " << path;
}

}  // namespace modemtest

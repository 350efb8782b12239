// Opening a file with its associated program hands the path over as one argument, without a
// shell. A stand-in xdg-open on PATH records what it was given, so no viewer is started.
#include "platform/desktop.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "tests/support/temp_root.h"

namespace {

TEST(Desktop, OpensTheFileAsOneArgument) {
    testsupport::TempRoot dir;
    dir.Write("bin/xdg-open", "#!/bin/sh\nprintf '%s|%s' \"$#\" \"$1\" > \"$0.args\"\n");
    chmod(dir.Path("bin/xdg-open").c_str(), 0755);
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", (dir.Path("bin") + ":" + oldPath).c_str(), 1);
    const std::string odd = "/logs/a;touch b $(touch c) 'x'.log";
    EXPECT_TRUE(platform::OpenWithAssociatedProgram(odd));
    // The child runs on its own; give it up to 10 s (it normally takes milliseconds).
    for (int i = 0; i < 1000 && dir.Read("bin/xdg-open.args").empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(dir.Read("bin/xdg-open.args"), "1|" + odd);
}

TEST(Desktop, FailsWithoutXdgOpen) {
    testsupport::TempRoot dir;
    std::string oldPath = std::getenv("PATH") ? std::getenv("PATH") : "";
    setenv("PATH", dir.path().c_str(), 1);
    EXPECT_FALSE(platform::OpenWithAssociatedProgram("/tmp/x.log"));
    setenv("PATH", oldPath.c_str(), 1);
}

}  // namespace

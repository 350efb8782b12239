// Programs are started without a shell: an argument is never split or interpreted.
#include "platform/process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "tests/support/temp_root.h"

namespace {

TEST(Process, StartsWithoutAShell) {
    testsupport::TempRoot dir;
    const std::string odd = dir.Path("a;touch b $(touch c)");
    ASSERT_TRUE(platform::StartDetached({"touch", odd}));
    // The child runs on its own; give it up to 10 s to appear (it normally takes milliseconds).
    for (int i = 0; i < 1000 && !dir.Exists("a;touch b $(touch c)"); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_TRUE(dir.Exists("a;touch b $(touch c)"));
    EXPECT_FALSE(dir.Exists("b"));
    EXPECT_FALSE(dir.Exists("c"));
}

TEST(Process, ReportsWhatCannotStart) {
    EXPECT_FALSE(platform::StartDetached({}));
    EXPECT_FALSE(platform::StartDetached({""}));
    EXPECT_FALSE(platform::StartDetached({"/nonexistent/program"}));
}

}  // namespace

// Profile strings: the classic semantics, damaged files, atomic rewrites and concurrent writers.
#include "platform/ini.h"

#include <gtest/gtest.h>

#include "tests/support/temp_root.h"

namespace platform {
namespace {

using testsupport::ReadFile;
using testsupport::TempRoot;
using testsupport::WriteFile;

TEST(Ini, MissingKeyGivesDefault) {
    TempRoot root;
    std::string path = root.Path("ZIZOD.INI");
    EXPECT_EQ(IniGetString(path, "ZIZOD", "Modem1", "none"), "none");
    ASSERT_TRUE(IniWrite(path, "ZIZOD", "Modem1", "COM1:"));
    EXPECT_EQ(IniGetString(path, "zizod", "MODEM1", "none"), "COM1:");
}

}  // namespace
}  // namespace platform

// Binding by name: complete libraries bind, a missing required name leaves nothing bound, a
// missing optional name leaves just that slot empty, and non-libraries fail quietly.
#include "app/plugins/binding.h"

#include <gtest/gtest.h>

#include <cstddef>

namespace app {
namespace {

struct TestTable {
    int (*TestAlpha)(int);
    int (*TestBeta)(int);
    int (*TestGamma)();
};

const EntryPointName kNames[] = {
    {"TestAlpha", offsetof(TestTable, TestAlpha), true},
    {"TestBeta", offsetof(TestTable, TestBeta), true},
    {"TestGamma", offsetof(TestTable, TestGamma), false},
};

TEST(PluginBinding, FileNames) {
    EXPECT_EQ(SharedObjectFileName("ROVIVEZ.DLL"), "librovivez.so");
    EXPECT_EQ(SharedObjectFileName("Deveri.dll"), "libdeveri.so");
    EXPECT_EQ(SharedObjectFileName("TESTCOMPLETE"), "libtestcomplete.so");
}

TEST(PluginBinding, AllOrNothing) {
    struct Case {
        const char* library;
        bool bound;
        bool gamma;
    } cases[] = {
        {"TESTCOMPLETE.DLL", true, true},     {"TESTNOOPTIONAL.DLL", true, false},
        {"TESTNOREQUIRED.DLL", false, false}, {"TESTNOTELF.DLL", false, false},
        {"TESTMISSING.DLL", false, false},
    };
    for (const Case& c : cases) {
        TestTable table{};
        table.TestGamma = reinterpret_cast<int (*)()>(&table);  // stale slot must be cleared
        LibraryHandle lib;
        bool ok = BindLibrary(TEST_PLUGIN_DIR, c.library, kNames, std::size(kNames), &table, lib);
        EXPECT_EQ(ok, c.bound) << c.library;
        EXPECT_EQ(lib.bound(), c.bound) << c.library;
        EXPECT_TRUE(lib.attempted);
        EXPECT_EQ(table.TestGamma != nullptr, c.gamma) << c.library;
        if (c.bound) {
            EXPECT_EQ(table.TestAlpha(1), 2);
            EXPECT_EQ(table.TestBeta(4), 8);
        } else {
            EXPECT_EQ(table.TestAlpha, nullptr) << c.library;
            EXPECT_EQ(table.TestBeta, nullptr) << c.library;
        }
        ReleaseLibrary(kNames, std::size(kNames), &table, lib);
        EXPECT_FALSE(lib.bound());
        EXPECT_EQ(table.TestAlpha, nullptr);
    }
}

}  // namespace
}  // namespace app

// The support library's directories and configuration reads under a temporary data root.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <set>
#include <string>

#include "libs/zozeziv/zozeziv.h"
#include "platform/ini.h"
#include "tests/support/temp_root.h"

namespace {

std::string Call(void (*fn)(char*)) {
    char buf[ZOZEZIV_MAX_PATH] = "unset";
    fn(buf);
    return buf;
}

TEST(SupportDirectories, DistinctWritableWithTrailingSlash) {
    testsupport::TempRoot root(/*asDataRoot=*/true);
    struct {
        void (*fn)(char*);
        const char* expected;
    } dirs[] = {
        {GetProgramDataDirectory, "/ProgramData/"},
        {GetPrivateDataDirectory, "/Private/"},
        {GetLogDirectory, "/Logs/"},
        {GetDebugLogDirectory, "/Debug/"},
        {GetMMSCDebugLogDirectory, "/MMSCDebug/"},
    };
    std::set<std::string> seen;
    for (const auto& d : dirs) {
        std::string dir = Call(d.fn);
        EXPECT_EQ(dir, root.path() + d.expected);
        EXPECT_EQ(access(dir.c_str(), W_OK), 0) << dir;
        seen.insert(dir);
    }
    std::string program = Call(GetRealProgramDirectory);
    EXPECT_EQ(program.back(), '/');
    seen.insert(program);
    EXPECT_EQ(seen.size(), 6u);
}

TEST(SupportIni, ReadsWhatWasJustWrittenAndAcceptsTheNullCall) {
    testsupport::TempRoot root;
    std::string path = root.Path("ZIZOD.INI");
    SMSIniSetFilename(path.c_str());
    char buf[50];
    SMSIniGetProfileString("SMPP", "AddressRange", "dflt", buf, sizeof buf);
    EXPECT_STREQ(buf, "dflt");
    ASSERT_TRUE(platform::IniWrite(path, "SMPP", "AddressRange", "^447"));
    SMSIniGetProfileString(nullptr, nullptr, nullptr, nullptr, 0);
    SMSIniGetProfileString("smpp", "addressrange", "dflt", buf, sizeof buf);
    EXPECT_STREQ(buf, "^447");
    SMSIniGetProfileString("SMPP", "AddressRange", "", buf, 3);  // cut to the buffer
    EXPECT_STREQ(buf, "^4");

    std::string mmsc = root.Path("MMSC.INI");
    MMSCIniSetFilename(mmsc.c_str());
    ASSERT_TRUE(platform::IniWrite(mmsc, "MMSC", "VASPConfigDir", "/srv/vasp"));
    MMSCIniGetProfileString("MMSC", "VASPConfigDir", "", buf, sizeof buf);
    EXPECT_STREQ(buf, "/srv/vasp");
    SMSIniSetFilename(nullptr);
}

TEST(SupportRights, TrusteesMakeTheDirectoryGroupWritableSetgid) {
    testsupport::TempRoot root;
    std::string dir = root.Path("data");
    ASSERT_EQ(mkdir(dir.c_str(), 0700), 0);
    SetZelmoSMSTrustees(dir.c_str());
    struct stat st;
    ASSERT_EQ(stat(dir.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 02775u);
    SetZelmoSMSTrustees(nullptr);
    SetZelmoSMSTrustees("");
}

}  // namespace

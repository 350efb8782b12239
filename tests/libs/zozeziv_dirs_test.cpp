// The support library's directories and configuration reads under a temporary data root.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
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

// Sets or unsets an environment variable for one scope.
class ScopedEnv {
  public:
    ScopedEnv(const char* name, const char* value) : name_(name) {
        if (const char* old = std::getenv(name)) {
            had_ = true;
            old_ = old;
        }
        value ? ::setenv(name, value, 1) : ::unsetenv(name);
    }
    ~ScopedEnv() { had_ ? ::setenv(name_, old_.c_str(), 1) : ::unsetenv(name_); }

  private:
    const char* name_;
    bool had_ = false;
    std::string old_;
};

TEST(SupportDirectories, RelativeRootIsMadeAbsolute) {
    testsupport::TempRoot root;
    char real[PATH_MAX];
    ASSERT_NE(::realpath(root.path().c_str(), real), nullptr);
    char cwd[PATH_MAX];
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    ASSERT_EQ(::chdir(real), 0);
    {
        ScopedEnv env("ZELMOSMS_ROOT", "data");
        EXPECT_EQ(Call(GetLogDirectory), std::string(real) + "/data/Logs/");
    }
    ASSERT_EQ(::chdir(cwd), 0);
}

TEST(SupportDirectories, WithoutARootVariableTheXdgDataHomeIsUsed) {
    if (::access("/etc/zelmosms/root", F_OK) == 0) {
        GTEST_SKIP() << "/etc/zelmosms/root names the data root on this machine";
    }
    testsupport::TempRoot root;
    ScopedEnv noRoot("ZELMOSMS_ROOT", nullptr);
    ScopedEnv xdg("XDG_DATA_HOME", root.path().c_str());
    EXPECT_EQ(Call(GetPrivateDataDirectory), root.path() + "/zelmosms/Private/");
    EXPECT_TRUE(root.Exists("zelmosms/Private"));
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

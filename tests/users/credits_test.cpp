// User directories, credit files shared with the gateway, quota files and the credit texts.
#include "users/credits.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/ini.h"
#include "tests/support/temp_root.h"

namespace users {
namespace {

using testsupport::TempRoot;

std::string Bytes64(int64_t v) {
    std::string s(8, '\0');
    for (int i = 0; i < 8; ++i) {
        s[i] = static_cast<char>(static_cast<uint64_t>(v) >> (8 * i));
    }
    return s;
}

std::string Bytes32(int32_t v) {
    return Bytes64(v).substr(0, 4);
}

// A users directory with one user, "alice", whose credit file holds `content`.
struct CreditFixture {
    TempRoot root;
    std::string usersDir = root.path() + "/USERS/";
    std::string file = root.Path("USERS/alice/SMS.CTR");
    explicit CreditFixture(std::string_view content) { root.Write("USERS/alice/SMS.CTR", content); }
    int64_t Stored() const {
        std::string s = testsupport::ReadFile(file);
        return DecodeCreditBytes(reinterpret_cast<const unsigned char*>(s.data()), s.size());
    }
};

// The gateway's side of the sharing rule: it holds the file without letting others write.
platform::SharedOpenResult HoldLikeGateway(const std::string& path) {
    return platform::OpenShared(path, platform::FileAccess::kReadWrite, platform::FileShare::kRead,
                                platform::FileDisposition::kOpenExisting);
}

TEST(CreditFile, ReadingRules) {
    struct Case {
        const char* name;
        std::string content;
        int64_t balance;
    } cases[] = {
        {"empty file", "", 0},
        {"8 bytes", Bytes64(123456), 123456},
        {"older 4-byte form is whole credits", Bytes32(5), 5000},
        {"3 bytes", Bytes32(5).substr(0, 3), 0},
        {"7 bytes", Bytes64(5).substr(0, 7), 0},
        {"5 bytes", Bytes64(5).substr(0, 5), 0},
        {"longer file: first 8 bytes", Bytes64(42) + "trailing", 42},
        {"stored -200 reads as 0", Bytes64(-200), 0},
        {"negative 4-byte form reads as 0", Bytes32(-3), 0},
    };
    for (const Case& c : cases) {
        CreditFixture f(c.content);
        EXPECT_EQ(AdjustCredit(f.usersDir, "alice", nullptr, 0, true), c.balance) << c.name;
        EXPECT_EQ(testsupport::ReadFile(f.file), c.content) << c.name;  // reading changes nothing
    }
}

TEST(CreditFile, FourByteFileBecomesEightBytes) {
    CreditFixture f(Bytes32(5));
    EXPECT_EQ(AdjustCredit(f.usersDir, "alice", nullptr, -1000, false), 6000);
    EXPECT_EQ(testsupport::ReadFile(f.file), Bytes64(6000));

    // A longer file is not truncated: only its first 8 bytes are rewritten.
    CreditFixture g(Bytes64(1000) + "tail");
    EXPECT_EQ(AdjustCredit(g.usersDir, "alice", nullptr, 250, false), 750);
    EXPECT_EQ(testsupport::ReadFile(g.file), Bytes64(750) + "tail");
}

TEST(CreditFile, AdjustmentsAndTheCreditLimit) {
    struct Case {
        const char* name;
        int64_t balance, amount;
        bool readOnly;
        int64_t result, stored;
        bool exceeded;
    } cases[] = {
        {"add credit", 2000, -1500, false, 3500, 3500, false},
        {"remove part", 2000, 500, false, 1500, 1500, false},
        {"remove exactly all", 2000, 2000, false, 0, 0, false},
        {"remove more than the balance", 2000, 5000, false, -3000, 0, true},
        {"read-only over the balance", 2000, 5000, true, -3000, 2000, true},
        {"read-only", 2000, 0, true, 2000, 2000, false},
        {"huge addition saturates", INT64_MAX - 5, INT64_MIN, false, INT64_MAX, INT64_MAX, false},
    };
    for (const Case& c : cases) {
        CreditFixture f(Bytes64(c.balance));
        std::string message;
        EXPECT_EQ(AdjustCredit(f.usersDir, "alice", &message, c.amount, c.readOnly), c.result)
            << c.name;
        EXPECT_EQ(f.Stored(), c.stored) << c.name;
        EXPECT_EQ(message, c.exceeded ? "Account alice:  credit limit exceeded." : "") << c.name;
    }
}

TEST(CreditFile, ChargeCredits) {
    struct Case {
        int64_t balance;
        int32_t credits;
        bool readOnly;
        int64_t result, stored;
    } cases[] = {
        {5500, 2, false, 3, 3500}, {5500, 6, false, -1, 0}, {5500, 6, true, -1, 5500},
        {5500, 0, true, 5, 5500},  {999, 0, true, 0, 999},
    };
    for (const Case& c : cases) {
        CreditFixture f(Bytes64(c.balance));
        EXPECT_EQ(ChargeCredits(f.usersDir, "alice", nullptr, c.credits, c.readOnly), c.result);
        EXPECT_EQ(f.Stored(), c.stored);
    }
}

TEST(CreditFile, NoBalanceApplies) {
    TempRoot root;
    std::string usersDir = root.path() + "/USERS/";
    ASSERT_EQ(mkdir(usersDir.c_str(), 0775), 0);
    for (const char* name : {"LocalSystem", "localsystem", "LOCALSYSTEM", "lOcAlSyStEm"}) {
        std::string message;
        EXPECT_EQ(AdjustCredit(usersDir, name, &message, 5000000, false), kNoBalance) << name;
        EXPECT_EQ(message, "");
    }
    EXPECT_TRUE(std::filesystem::is_empty(usersDir));  // no directory made, no file touched

    // Without a credit file there is no limit; finding the path made the user directory only.
    EXPECT_EQ(AdjustCredit(usersDir, "bob", nullptr, 5000, false), kNoBalance);
    EXPECT_TRUE(std::filesystem::is_directory(usersDir + "bob"));
    EXPECT_TRUE(std::filesystem::is_empty(usersDir + "bob"));

    // A directory named "SMS.CTR" is not a credit file.
    ASSERT_EQ(mkdir((usersDir + "bob/SMS.CTR").c_str(), 0775), 0);
    EXPECT_FALSE(CreditFileExists(usersDir, "bob"));
    EXPECT_EQ(AdjustCredit(usersDir, "bob", nullptr, 0, true), kNoBalance);
    EXPECT_FALSE(DeleteCreditFile(usersDir, "bob"));
    EXPECT_TRUE(std::filesystem::is_directory(usersDir + "bob/SMS.CTR"));
}

TEST(CreditFile, CreateAndDelete) {
    TempRoot root;
    std::string usersDir = root.path() + "/USERS";  // a trailing "/" is added where missing
    ASSERT_EQ(mkdir(usersDir.c_str(), 0775), 0);
    EXPECT_FALSE(CreditFileExists(usersDir, "carol"));
    EXPECT_TRUE(CreateCreditFile(usersDir, "carol"));
    EXPECT_TRUE(CreditFileExists(usersDir, "carol"));
    EXPECT_EQ(testsupport::ReadFile(usersDir + "/carol/SMS.CTR"), "");  // balance 0
    EXPECT_EQ(AdjustCredit(usersDir, "carol", nullptr, -2500, false), 2500);
    EXPECT_TRUE(CreateCreditFile(usersDir, "carol"));  // keeps the balance
    EXPECT_EQ(AdjustCredit(usersDir, "carol", nullptr, 0, true), 2500);
    EXPECT_TRUE(DeleteCreditFile(usersDir, "carol"));
    EXPECT_FALSE(CreditFileExists(usersDir, "carol"));
    EXPECT_TRUE(DeleteCreditFile(usersDir, "carol"));  // already gone: fine
}

TEST(CreditFile, DeleteRefusedWhileTheGatewayHoldsTheFile) {
    CreditFixture f(Bytes64(7000));
    platform::SharedOpenResult held = HoldLikeGateway(f.file);
    ASSERT_TRUE(held.ok());
    EXPECT_FALSE(DeleteCreditFile(f.usersDir, "alice"));
    EXPECT_TRUE(CreditFileExists(f.usersDir, "alice"));
    held.file.Close();
    EXPECT_TRUE(DeleteCreditFile(f.usersDir, "alice"));
}

TEST(CreditFile, LockedLongerThanTheTimeOut) {
    platform::VirtualTime time;
    platform::ScopedClock clock(time.source);
    CreditFixture f(Bytes64(1000));
    platform::SharedOpenResult held = HoldLikeGateway(f.file);
    ASSERT_TRUE(held.ok());

    uint64_t start = time.Tick();
    std::string message;
    EXPECT_EQ(AdjustCredit(f.usersDir, "alice", &message, 5000, false), kNoBalance);
    EXPECT_GE(time.Tick() - start, kCreditTimeoutMs);
    EXPECT_LT(time.Tick() - start, kCreditTimeoutMs + 200);
    EXPECT_EQ(message, "");  // given up without a message
    EXPECT_EQ(f.Stored(), 1000);

    // A read lets others write: it is not held up.
    start = time.Tick();
    EXPECT_EQ(AdjustCredit(f.usersDir, "alice", nullptr, 0, true), 1000);
    EXPECT_EQ(time.Tick(), start);

    start = time.Tick();
    EXPECT_FALSE(CreateCreditFile(f.usersDir, "alice"));
    EXPECT_GE(time.Tick() - start, kCreateCreditTimeoutMs);
    EXPECT_LT(time.Tick() - start, kCreateCreditTimeoutMs + 200);

    // Released part-way through the wait: the update goes through.
    held.file.Close();
    EXPECT_EQ(AdjustCredit(f.usersDir, "alice", nullptr, 400, false), 600);
}

// Retry pauses of 1 ms instead of 100 on the real monotonic clock: the time-outs stay real (a
// minute), so the test cannot fail for being slow, and contention costs little.
platform::TimeSource FastRetries() {
    platform::TimeSource source = platform::SystemTime();
    source.sleepMs = [](void*, uint32_t) { usleep(1000); };
    return source;
}

TEST(CreditFile, TwoProcessesLoseNoUpdate) {
    CreditFixture f(Bytes64(5000000));
    const platform::TimeSource fast = FastRetries();
    platform::ScopedClock clock(fast);
    constexpr int kRounds = 1000;

    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The console: adds 3 credits a time.
        int failures = 0;
        for (int i = 0; i < kRounds; ++i) {
            if (AdjustCredit(f.usersDir, "alice", nullptr, -3000, false) == kNoBalance) {
                ++failures;
            }
        }
        _exit(failures == 0 ? 0 : 1);
    }
    // A stand-in for the gateway, following the same rule: debits 1 credit a time.
    int failures = 0;
    for (int i = 0; i < kRounds; ++i) {
        platform::SharedOpenResult open = HoldLikeGateway(f.file);
        while (!open.ok() && open.error == platform::FileOpenError::kSharingViolation) {
            usleep(200);
            open = HoldLikeGateway(f.file);
        }
        if (!open.ok()) {
            ++failures;
            continue;
        }
        int64_t balance = ReadCreditBalance(open.file.fd());
        usleep(100);  // an update takes a moment: a writer not kept out would be lost now
        std::string bytes = Bytes64(balance - 1000);
        if (pwrite(open.file.fd(), bytes.data(), 8, 0) != 8) {
            ++failures;
        }
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(f.Stored(), 5000000 + kRounds * 3000 - kRounds * 1000);
}

TEST(UserNames, NamesThatWouldLeaveTheUsersDirectoryAreRefused) {
    using std::string_literals::operator""s;
    struct Case {
        std::string name;
        UserNameProblem problem;
    } cases[] = {
        {"alice", UserNameProblem::kNone},    {"Mr. Smith", UserNameProblem::kNone},
        {"a.b", UserNameProblem::kNone},      {"", UserNameProblem::kEmpty},
        {"../evil", UserNameProblem::kSlash}, {"a/b", UserNameProblem::kSlash},
        {"/etc", UserNameProblem::kSlash},    {"..", UserNameProblem::kDotDot},
        {"a..b", UserNameProblem::kDotDot},   {".hidden", UserNameProblem::kLeadingDot},
        {".", UserNameProblem::kLeadingDot},  {"ab\0/x"s, UserNameProblem::kNul},
    };
    TempRoot root;
    std::string usersDir = root.path() + "/USERS/";
    ASSERT_EQ(mkdir(usersDir.c_str(), 0775), 0);
    for (const Case& c : cases) {
        EXPECT_EQ(CheckUserName(c.name), c.problem) << c.name;
        if (c.problem == UserNameProblem::kNone || c.problem == UserNameProblem::kEmpty) {
            continue;
        }
        EXPECT_FALSE(GetUserDirectory(usersDir, c.name).has_value()) << c.name;
        EXPECT_FALSE(CreditFileExists(usersDir, c.name)) << c.name;
        EXPECT_EQ(AdjustCredit(usersDir, c.name, nullptr, -1000, false), kNoBalance) << c.name;
        EXPECT_FALSE(CreateCreditFile(usersDir, c.name)) << c.name;
        EXPECT_FALSE(DeleteCreditFile(usersDir, c.name)) << c.name;
        EXPECT_EQ(ReadUserQuota(usersDir, c.name, {2013, 7, 2}).month, 0u) << c.name;
    }
    // Nothing was made anywhere: the users directory is empty and so is what lies beside it.
    EXPECT_TRUE(std::filesystem::is_empty(usersDir));
    EXPECT_FALSE(std::filesystem::exists(root.Path("evil")));
}

TEST(UserDirectories, Resolution) {
    TempRoot root(true);
    std::string ini = root.Path("ProgramData/ZIZOD.INI");

    // No UsersDir: the program data directory + "USERS", created.
    std::string users = UsersDirectory();
    EXPECT_EQ(users, root.Path("ProgramData/USERS/"));
    EXPECT_TRUE(std::filesystem::is_directory(users));
    EXPECT_EQ(GetUserDirectory(users, ""), users);
    EXPECT_EQ(GetUserDirectory(users, "dave"), users + "dave/");
    EXPECT_TRUE(std::filesystem::is_directory(users + "dave"));

    // A configured directory is used as it stands, with a "/" added, and not created.
    ASSERT_TRUE(platform::IniWrite(ini, "ZIZOD", "UsersDir", root.Path("elsewhere")));
    EXPECT_EQ(UsersDirectory(), root.Path("elsewhere/"));
    EXPECT_FALSE(std::filesystem::exists(root.Path("elsewhere")));
    ASSERT_TRUE(platform::IniWrite(ini, "ZIZOD", "UsersDir", root.Path("other/")));
    EXPECT_EQ(UsersDirectory(ini), root.Path("other/"));
    // In a users directory that does not exist no user directory appears, and no balance.
    EXPECT_FALSE(CreditFileExists(root.Path("other/"), "dave"));
    EXPECT_FALSE(std::filesystem::exists(root.Path("other")));
}

TEST(UserDirectories, EnsureDirectoryPath) {
    TempRoot root;
    EnsureDirectoryPath(root.Path("a/b//c/SMS.CTR"));
    EXPECT_TRUE(std::filesystem::is_directory(root.Path("a/b/c")));
    EXPECT_FALSE(std::filesystem::exists(root.Path("a/b/c/SMS.CTR")));
    EnsureDirectoryPath(root.Path("a/b/c/SMS.CTR"));  // all there: nothing to do
    EXPECT_TRUE(std::filesystem::is_empty(root.Path("a/b/c")));
}

TEST(Quota, DayIndexes) {
    struct Case {
        int year, month, day, index;
    } cases[] = {
        {2013, 1, 1, 0},     {2012, 2, 29, 59},   {2012, 3, 1, 60}, {2013, 3, 1, 59},
        {2013, 12, 31, 364}, {2012, 12, 31, 365}, {1900, 3, 1, 60}, {2100, 3, 1, 60},
        {2013, 0, 1, -1},    {2013, 13, 1, -1},   {2013, 1, 0, -1}, {2013, 1, 32, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(QuotaDayIndex(c.year, c.month, c.day), c.index)
            << c.year << "-" << c.month << "-" << c.day;
    }
}

TEST(Quota, TodayAndMonth) {
    TempRoot root;
    std::string usersDir = root.path() + "/USERS/";
    // Counter d holds d + 1, so every sum tells which days it took.
    auto file = [](std::size_t counters) {
        std::string s;
        for (std::size_t d = 0; d < counters; ++d) {
            s += Bytes32(static_cast<int32_t>(d + 1));
        }
        return s;
    };
    auto sum = [](int from, int to) {
        uint64_t total = 0;
        for (int d = from; d <= to; ++d) {
            total += static_cast<uint64_t>(d + 1);
        }
        return total;
    };
    root.Write("USERS/eve/2012.QTA", file(366));
    root.Write("USERS/eve/2013.QTA", file(366));
    root.Write("USERS/eve/2014.QTA", file(25));  // 100 bytes
    root.Write("USERS/eve/2015.QTA", file(25) + "\x07");
    struct Case {
        CalendarDate today;
        uint32_t todayCount;
        uint64_t month;
    } cases[] = {
        {{2012, 3, 1}, 61, sum(60, 90)},
        {{2013, 3, 1}, 60, sum(59, 89)},
        {{2012, 2, 10}, 41, sum(31, 59)},
        {{2013, 2, 10}, 41, sum(31, 58)},
        {{2012, 12, 31}, 366, sum(335, 365)},
        {{2014, 1, 25}, 25, sum(0, 24)},
        {{2014, 1, 26}, 0, sum(0, 24)},
        {{2014, 2, 1}, 0, 0},
        {{2015, 1, 26}, 7, sum(0, 24) + 7},  // a partial counter keeps the bytes it has
        {{2016, 1, 1}, 0, 0},                // no file for the year
        {{2013, 13, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        UserQuota q = ReadUserQuota(usersDir, "eve", c.today);
        EXPECT_EQ(q.today, c.todayCount) << c.today.year << "-" << c.today.month;
        EXPECT_EQ(q.month, c.month) << c.today.year << "-" << c.today.month;
    }
    EXPECT_EQ(ReadUserQuota(usersDir, "nobody", {2012, 3, 1}).today, 0u);

    // The whole year, for the statistics.
    std::optional<monitor::CounterFile> year = ReadQuotaFile(usersDir, "eve", 2014);
    ASSERT_TRUE(year.has_value());
    EXPECT_EQ((*year)[24], 25u);
    EXPECT_EQ((*year)[25], 0u);
    EXPECT_FALSE(ReadQuotaFile(usersDir, "eve", 2016).has_value());
    EXPECT_FALSE(ReadQuotaFile(usersDir, "../eve", 2014).has_value());
}

TEST(CreditText, FormatCredits) {
    struct Case {
        int64_t value;
        const char* text;
    } cases[] = {
        {1500, "1.5"},
        {1050, "1.05"},
        {2005, "2.005"},
        {12000, "12"},
        {0, "0"},
        {5, "0.005"},
        {10, "0.01"},
        {1000000, "1000"},
        {-1500, "-1.5"},
        {-500, "-0.5"},
        {INT64_MIN, "-9223372036854775.808"},
        {INT64_MAX, "9223372036854775.807"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FormatCredits(c.value), c.text) << c.value;
    }
}

TEST(CreditText, ParseCredits) {
    struct Case {
        const char* text;
        int64_t value;
    } cases[] = {
        {"2.5", 2500},
        {"-1.25", -1250},
        {" 3", 3000},
        {".5", 500},
        {"1.2345", 1234},
        {"abc", 0},
        {"-0.5", -500},
        {"7.", 7000},
        {"1.2x5", 1200},
        {"", 0},
        {"  -2", -2000},
        {"4,5", 4000},
        {"99999999999", int64_t{2147483647} * 1000},  // the whole part is 32-bit
        {"--1.5", 500},  // the second sign belongs to the whole part: (-1000 + 500), negated
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ParseCredits(c.text), c.value) << c.text;
    }
    // Round trip of what FormatCredits shows.
    for (int64_t v : {0, 5, 10, 999, 1000, 1500, 2005, 123456789}) {
        EXPECT_EQ(ParseCredits(FormatCredits(v)), v);
    }
}

}  // namespace
}  // namespace users

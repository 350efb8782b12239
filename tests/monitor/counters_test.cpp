// Counter files and the daily figures, the outbound queue count and its refresh, last-error files
// and the directory resolvers, over real files in a temporary data root.
#include "monitor/counters.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

#include "config/text.h"
#include "libs/zozeziv/zozeziv.h"
#include "monitor/text_control.h"
#include "platform/clock.h"
#include "platform/dirs.h"
#include "platform/file_scan.h"
#include "platform/ini.h"
#include "tests/support/temp_root.h"

namespace monitor {
namespace {

using testsupport::TempRoot;

std::string CounterBytes(const std::vector<std::pair<int, uint32_t>>& entries,
                         std::size_t size = kCounterFileSize) {
    std::string bytes(size, '\0');
    for (auto [k, v] : entries) {
        for (int i = 0; i < 4; ++i) {
            std::size_t at = static_cast<std::size_t>(k) * 4 + static_cast<std::size_t>(i);
            if (at < size) {
                bytes[at] = static_cast<char>((v >> (8 * i)) & 0xFF);
            }
        }
    }
    return bytes;
}

class DataRoot : public ::testing::Test {
  protected:
    DataRoot() : root_(true), paths_(CurrentDataPaths()) {
        SMSIniSetFilename(paths_.configFile.c_str());
    }
    ~DataRoot() override { SMSIniSetFilename(""); }

    // Writes a file, creating the folders on the way.
    static void Put(const std::string& path, std::string_view content) {
        platform::MakeDirectories(path.substr(0, path.rfind('/')));
        testsupport::WriteFile(path, content);
    }
    void Private(const std::string& relative, std::string_view content) {
        Put(paths_.privateData + relative, content);
    }
    void Ini(std::string_view key, std::string_view value) {
        ASSERT_TRUE(platform::IniWrite(paths_.configFile, "ZIZOD", key, value));
    }
    void Touch(const std::string& path) { Put(path, "x"); }
    std::string QueuePath(const std::string& relative) {
        return paths_.programData + "Q/" + relative;
    }

    TempRoot root_;
    DataPaths paths_;
};

TEST_F(DataRoot, PathsComeFromTheSupportLibrary) {
    EXPECT_EQ(paths_.programData, root_.path() + "/ProgramData/");
    EXPECT_EQ(paths_.privateData, root_.path() + "/Private/");
    EXPECT_EQ(paths_.configFile, root_.path() + "/ProgramData/ZIZOD.INI");
}

TEST(FileSafe, ColonsAndSlashesBecomeHyphens) {
    EXPECT_EQ(FileSafeName("SMPP - host:2775"), "SMPP - host-2775");
    EXPECT_EQ(FileSafeName("HTTP - a/b\\c:1"), "HTTP - a-b-c-1");
    EXPECT_EQ(FileSafeName(".."), "..");
}

TEST(Dates, DayOfYear) {
    struct {
        CalendarDate date;
        int day;
    } cases[] = {
        {{2023, 1, 1}, 1},     {{2024, 2, 29}, 60},   {{2024, 3, 1}, 61}, {{2023, 3, 1}, 60},
        {{2023, 12, 31}, 365}, {{2024, 12, 31}, 366}, {{2100, 3, 1}, 61},  // no century rule
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DayOfYear(c.date), c.day) << c.date.year << "-" << c.date.month;
    }
}

TEST_F(DataRoot, CounterFilesOfAnyLength) {
    // 0, 3, 100, 1,464 and 5,000 bytes; every entry k holds k + 1 where the bytes reach.
    std::vector<std::pair<int, uint32_t>> all;
    for (int k = 0; k < 1250; ++k) {
        all.push_back({k, static_cast<uint32_t>(k + 1)});
    }
    struct {
        std::size_t size;
        std::size_t fullEntries;
    } cases[] = {{0, 0}, {3, 0}, {100, 25}, {1464, 366}, {5000, 366}};
    for (const auto& c : cases) {
        std::string path = paths_.privateData + "T.CTR";
        testsupport::WriteFile(path, CounterBytes(all, c.size));
        CounterFile counts;
        ASSERT_TRUE(ReadCounterFile(path, &counts));
        for (std::size_t k = 0; k < kCounterDays; ++k) {
            uint32_t expected = k < c.fullEntries ? static_cast<uint32_t>(k + 1) : 0;
            if (c.size == 3 && k == 0) {
                expected = 1;  // three of the four bytes of entry 0, the rest zero
            }
            ASSERT_EQ(counts[k], expected) << c.size << " bytes, entry " << k;
        }
    }
    CounterFile counts;
    EXPECT_FALSE(ReadCounterFile(paths_.privateData + "missing.CTR", &counts));
    EXPECT_EQ(counts[0], 0u);
}

TEST_F(DataRoot, ThirdOfJanuaryReachesIntoLastYear) {
    std::vector<std::pair<int, uint32_t>> thisYear = {{0, 1}, {1, 2}, {2, 4}, {3, 1000}};
    std::vector<std::pair<int, uint32_t>> lastYear;  // 2025 is a common year: entry 364 is 31 Dec
    for (int k = 0; k <= 365; ++k) {
        lastYear.push_back({k, 100u << (k >= 330 ? 0 : 8)});
    }
    lastYear.push_back({365, 777777});  // never used in a common year
    Private("STATS/SMSSENT-2026.CTR", CounterBytes(thisYear));
    Private("STATS/SMSSENT-2025.CTR", CounterBytes(lastYear));
    DailyCounts c = ReadDailyCounter(paths_, "SMSSENT", {2026, 1, 3});
    EXPECT_EQ(c.today, 4u);
    EXPECT_EQ(c.last7, 7u + 4 * 100);    // 3 Jan to 1 Jan, then 31 Dec to 28 Dec
    EXPECT_EQ(c.last30, 7u + 27 * 100);  // and 27 days back to 5 Dec

    // Without this year's file the previous year still counts.
    DailyCounts missing = ReadDailyCounter(paths_, "SMSSENT", {2026, 1, 1});
    EXPECT_EQ(missing.today, 1u);
    unlink((paths_.privateData + "STATS/SMSSENT-2026.CTR").c_str());
    missing = ReadDailyCounter(paths_, "SMSSENT", {2026, 1, 1});
    EXPECT_EQ(missing.today, 0u);
    EXPECT_EQ(missing.last7, 600u);
    EXPECT_EQ(missing.last30, 2900u);

    // A leap previous year ends with entry 365.
    Private("STATS/SMSSENT-2024.CTR", CounterBytes({{365, 5}, {364, 3}}));
    DailyCounts leap = ReadDailyCounter(paths_, "SMSSENT", {2025, 1, 1});
    EXPECT_EQ(leap.last7, 25600u + 5 + 3);  // 1 Jan 2025: entry 0 of the file written above
}

TEST_F(DataRoot, FirstOfMarchInLeapAndCommonYears) {
    std::vector<std::pair<int, uint32_t>> entries;
    for (int k = 0; k < 366; ++k) {
        entries.push_back({k, static_cast<uint32_t>(k)});
    }
    Private("STATS/SMSSUBMIT-2024.CTR", CounterBytes(entries));
    Private("STATS/SMSSUBMIT-2023.CTR", CounterBytes(entries));
    EXPECT_EQ(ReadDailyCounter(paths_, "SMSSUBMIT", {2024, 3, 1}).today, 60u);
    EXPECT_EQ(ReadDailyCounter(paths_, "SMSSUBMIT", {2023, 3, 1}).today, 59u);
    DailyCounts mid = ReadDailyCounter(paths_, "SMSSUBMIT", {2023, 3, 1});
    EXPECT_EQ(mid.last7, 59u + 58 + 57 + 56 + 55 + 54 + 53);
    EXPECT_EQ(mid.last30, (59u + 30) * 30 / 2);  // entries 30 to 59
    EXPECT_EQ(ReadDailyCounter(paths_, "SMSFAILED", {2023, 3, 1}).last30, 0u);
}

TEST_F(DataRoot, QueueSizeCounterHasNoYear) {
    Private("STATS/SMSQSIZE.CTR", CounterBytes({{0, 42}, {1, 1000}, {59, 9}}));
    Private("STATS/SMSQSIZE-2024.CTR", CounterBytes({{59, 5}}));
    Private("STATS/SMSQSIZE-2023.CTR", CounterBytes({{364, 5}}));
    DailyCounts c = ReadDailyCounter(paths_, "SMSQSIZE", {2024, 3, 1});
    EXPECT_EQ(c.today, 42u);
    EXPECT_EQ(c.last7, 42u);
    EXPECT_EQ(c.last30, 42u);
    EXPECT_EQ(ReadDailyCounter(paths_, "SMSQSIZE", {2024, 1, 2}).last30, 42u);
    // Sums wrap at 32 bits.
    Private("STATS/SMSRETRY-2024.CTR", CounterBytes({{0, 0xFFFFFFFFu}, {1, 2}}));
    EXPECT_EQ(ReadDailyCounter(paths_, "SMSRETRY", {2024, 1, 2}).last7, 1u);
}

TEST_F(DataRoot, ErrorFilesOfAnyContent) {
    struct {
        std::string content;
        std::string text;
    } cases[] = {
        {"", ""},
        {"Bind failed\r\n", "Bind failed\r\n"},
        {std::string("abc\0def", 7), "abc"},
        {std::string(10000, 'e'), std::string(250, 'e')},
        {std::string(249, 'x') + "\r\r\r", std::string(249, 'x') + "\r"},
        {std::string("\0tail", 5), ""},
    };
    for (const auto& c : cases) {
        Private("SMPP - h-2775.ERR", c.content);
        EXPECT_EQ(ReadConnectionError(paths_, "SMPP - h:2775"), c.text) << c.content.size();
    }
    EXPECT_EQ(ReadConnectionError(paths_, "COM1:"), "");
    Private("MMSCROUTE--vasp-1.ERR", "Route down");
    EXPECT_EQ(ReadMmscRouteError(paths_, "vasp/1"), "Route down");
    // A directory or pipe where the file should be reads as no error.
    mkdir((paths_.privateData + "COM2-.ERR").c_str(), 0775);
    EXPECT_EQ(ReadConnectionError(paths_, "COM2:"), "");
    mkfifo((paths_.privateData + "COM3-.ERR").c_str(), 0664);
    EXPECT_EQ(ReadConnectionError(paths_, "COM3:"), "");
}

TEST_F(DataRoot, ErrorLinesNameEachFailingConnection) {
    Ini("Modem1", "COM1:");
    Ini("Modem2", "SMPP - h:2775");
    Ini("Modem3", "HTTP - ok:80");
    ASSERT_TRUE(platform::IniWrite(paths_.configFile, "SMPP - h:2775", "RouteName", "Main"));
    Private("COM1-.ERR", "No answer");
    Private("SMPP - h-2775.ERR", "Bind refused");
    EXPECT_EQ(ConnectionErrorLines(paths_, 1024, 32768),
              "COM1: : No answer\r\nMain (SMPP - h:2775) : Bind refused\r\n");
    EXPECT_EQ(ConnectionErrorLines(paths_, 1024, 10), "COM1: : N");
}

TEST_F(DataRoot, DirectoriesResolveAndAreCreated) {
    EXPECT_EQ(ResolveQDir(paths_), paths_.programData + "Q/");
    EXPECT_TRUE(platform::IniRead(paths_.configFile, "ZIZOD", "QDir") == std::nullopt);
    struct stat st;
    EXPECT_EQ(stat((paths_.programData + "Q").c_str(), &st), 0);
    EXPECT_EQ(ResolveQDir(paths_, "SMPP - h:1"), paths_.programData + "Q/SMPP - h-1/");
    EXPECT_EQ(stat((paths_.programData + "Q/SMPP - h-1").c_str(), &st), 0);
    // A file in the way of the route directory: the queue directory itself is used.
    Touch(QueuePath("Blocked"));
    EXPECT_EQ(ResolveQDir(paths_, "Blocked"), paths_.programData + "Q/");

    EXPECT_EQ(ResolveSmsInDir(paths_), paths_.programData + "SMS-IN/");
    EXPECT_NE(stat((paths_.programData + "SMS-IN").c_str(), &st), 0);  // not created
    EXPECT_EQ(ResolveMMSDir(paths_), paths_.programData + "MMS-IN/");
    EXPECT_EQ(stat((paths_.programData + "MMS-IN").c_str(), &st), 0);
    EXPECT_EQ(ResolvePHPDir(paths_), paths_.programData + "PHP/");

    std::string other = root_.Path("elsewhere");
    Ini("QDir", other);
    Ini("SmsInDir", other + "/in/");
    Ini("MMSDir", other + "/mms");
    Ini("PHPDir", other + "/php");
    EXPECT_EQ(ResolveQDir(paths_), other + "/");
    // A configured queue directory that is missing is not created for a route: the route falls
    // back to it.
    EXPECT_EQ(ResolveQDir(paths_, "SMPP - h:1"), other + "/");
    EXPECT_FALSE(platform::IsDirectory(other));
    EXPECT_EQ(ResolveSmsInDir(paths_), other + "/in/");
    EXPECT_EQ(ResolveMMSDir(paths_), other + "/mms/");
    EXPECT_EQ(ResolvePHPDir(paths_), other + "/php/");
}

TEST_F(DataRoot, QueueCountListsOneLevelOfRoutes) {
    EXPECT_EQ(CountOutboundQueue(paths_), 0u);  // creates the queue directory
    for (const char* f : {"a.REQ", "b.req", "c.Req", "d.REQX", "e.txt", ".REQ"}) {
        Touch(QueuePath(f));
    }
    for (const char* f : {"SMPP - h-1/1.REQ", "SMPP - h-1/2.REQ", "SMPP - h-1/deep/3.REQ",
                          "MMSQ__vasp/4.REQ", "other/5.REQ", "other/6.rfc"}) {
        Touch(QueuePath(f));
    }
    mkdir(QueuePath("dir.REQ").c_str(), 0775);  // a directory is no message
    symlink(QueuePath("a.REQ").c_str(), QueuePath("link.REQ").c_str());
    symlink(QueuePath("gone").c_str(), QueuePath("dangling.REQ").c_str());
    symlink(QueuePath("other").c_str(), QueuePath("linkedroute").c_str());
    mkfifo(QueuePath("pipe.REQ").c_str(), 0664);
    Touch(QueuePath("locked.REQ"));
    chmod(QueuePath("locked.REQ").c_str(), 0);  // unreadable still counts: nothing is read
    // Queue dir: a b c .REQ link locked = 6; SMPP route 2; MMSQ__ 1; other 1; linkedroute 1.
    EXPECT_EQ(CountOutboundQueue(paths_), 11u);

    Ini("CacheQSize", "Yes");
    Private("STATS/SMSQSIZE.CTR", CounterBytes({{0, 40}}));
    EXPECT_EQ(CountOutboundQueue(paths_), 41u);  // the cached SMS count and the MMSQ__ route
    Ini("CacheQSize", "No");

    // A queue directory that cannot be listed counts nothing.
    Ini("QDir", root_.Path("no/such/dir"));
    EXPECT_EQ(CountOutboundQueue(paths_), 0u);
}

TEST_F(DataRoot, QueueCountSurvivesFilesVanishing) {
    ResolveQDir(paths_);
    constexpr int kFiles = 400;
    for (int i = 0; i < kFiles; ++i) {
        Touch(QueuePath("r/" + std::to_string(i) + ".REQ"));
    }
    std::atomic<bool> done{false};
    std::thread remover([&] {
        for (int i = 0; i < kFiles; ++i) {
            unlink(QueuePath("r/" + std::to_string(i) + ".REQ").c_str());
        }
        rmdir(QueuePath("r").c_str());
        done = true;
    });
    while (!done) {
        EXPECT_LE(CountOutboundQueue(paths_), static_cast<uint32_t>(kFiles));
    }
    remover.join();
    EXPECT_EQ(CountOutboundQueue(paths_), 0u);
}

TEST_F(DataRoot, RefreshEveryThreeOrTenSecondsFirstAtOnce) {
    platform::VirtualTime time;
    platform::ScopedClock clock(time.source);
    Touch(QueuePath("a.REQ"));
    struct {
        const char* cacheQSize;
        std::time_t period;
    } cases[] = {{"Yes", 3}, {"", 10}, {"no", 10}};
    for (const auto& c : cases) {
        Ini("CacheQSize", c.cacheQSize);
        SetCachedQueueSize(0);
        QueueSizeRefresh refresh = BeginQueueSizeRefresh(paths_);
        EXPECT_EQ(refresh.periodSeconds, c.period);
        EXPECT_TRUE(RunQueueSizeRefresh(refresh));  // the first pass refreshes at once
        EXPECT_EQ(CachedQueueSize(), config::IsYes(c.cacheQSize) ? 0u : 1u);
        Touch(QueuePath("MMSQ__x/b.REQ"));
        time.Advance(static_cast<uint64_t>(c.period - 1) * 1000);
        EXPECT_FALSE(RunQueueSizeRefresh(refresh));
        time.Advance(1000);
        EXPECT_TRUE(RunQueueSizeRefresh(refresh));
        EXPECT_EQ(CachedQueueSize(), config::IsYes(c.cacheQSize) ? 1u : 2u);
        unlink(QueuePath("MMSQ__x/b.REQ").c_str());
    }
    // A clock set back does not hold the count until it catches up again.
    QueueSizeRefresh refresh = BeginQueueSizeRefresh(paths_);
    refresh.lastRefresh = time.Wall() + 3600;
    EXPECT_TRUE(RunQueueSizeRefresh(refresh));
    EXPECT_EQ(refresh.lastRefresh, time.Wall());
}

TEST_F(DataRoot, RefreshRunsOnAnotherThread) {
    Touch(QueuePath("a.REQ"));
    Touch(QueuePath("b.REQ"));
    SetCachedQueueSize(0);
    QueueSizeRefresh refresh = BeginQueueSizeRefresh(paths_);
    std::thread watcher([&] { RunQueueSizeRefresh(refresh); });
    watcher.join();
    EXPECT_EQ(CachedQueueSize(), 2u);
}

struct Label {
    std::string text;
    int sets = 0;
};

TEST(SetText, OnlyWhenTheTextChanges) {
    Label label{"Empty"};
    TextControl control{[](void* ctx) { return static_cast<Label*>(ctx)->text; },
                        [](void* ctx, std::string_view text) {
                            auto* l = static_cast<Label*>(ctx);
                            l->text = text;
                            ++l->sets;
                        },
                        &label};
    EXPECT_EQ(SetTextIfChanged(control, "EMPTY"), 0);
    EXPECT_EQ(label.text, "Empty");
    EXPECT_EQ(SetTextIfChanged(control, "3"), 1);
    EXPECT_EQ(label.text, "3");
    std::string longText(1000, 'x');
    EXPECT_EQ(SetTextIfChanged(control, longText), 1);
    EXPECT_EQ(SetTextIfChanged(control, longText), 0);  // long texts too
    EXPECT_EQ(label.sets, 2);
}

}  // namespace
}  // namespace monitor

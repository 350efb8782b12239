// The application event log file: record form and escapes, numbering across a clear, reads from a
// record number, half-written lines and writers side by side.
#include "platform/eventlog.h"

#include <gtest/gtest.h>

#include <set>
#include <thread>

#include "tests/support/temp_root.h"

namespace platform {
namespace {

using testsupport::TempRoot;

TEST(EventLog, RecordsRoundTripThroughTheirLine) {
    struct Case {
        EventType type;
        std::string source;
        std::vector<std::string> strings;
    } cases[] = {
        {EventType::kError, "ZelmoSMS", {"bind refused"}},
        {EventType::kWarning, "Zelmo\tSMS", {"line\r\nbreak", "tab\there", "back\\slash\\n"}},
        {EventType::kInformation, "Other", {}},
        {EventType::kAuditSuccess, "", {""}},
        {EventType::kAuditFailure, "a\\", {"\\", "\t"}},
    };
    for (const auto& c : cases) {
        EventRecord record{42, 1700000000, c.type, c.source, c.strings};
        std::string line = FormatEventLine(record);
        ASSERT_EQ(line.back(), '\n');
        EXPECT_EQ(line.find('\n'), line.size() - 1);
        EXPECT_EQ(line.find('\r'), std::string::npos);
        auto back = ParseEventLine(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(back) << line;
        EXPECT_EQ(back->recordNumber, 42u);
        EXPECT_EQ(back->timeGenerated, 1700000000);
        EXPECT_EQ(back->type, c.type);
        EXPECT_EQ(back->source, c.source);
        EXPECT_EQ(back->strings, c.strings);
    }
    EXPECT_EQ(FormatEventLine({7, 5, EventType::kError, "S", {"a\tb"}}), "7\t5\tError\tS\ta\\tb\n");
}

TEST(EventLog, LinesThatAreNotRecordsAreRefused) {
    for (std::string_view line : {"", "#EVT1\t5", "x\t1\tError\tS", "0\t1\tError\tS",
                                  "1\t1\tFatal\tS", "1\tnow\tError\tS", "1\t1\tError"}) {
        EXPECT_FALSE(ParseEventLine(line)) << line;
    }
}

TEST(EventLog, AppendNumbersReadAndClearKeepsCounting) {
    TempRoot root(true);
    std::string path = ApplicationEventLogPath();
    EXPECT_EQ(path, root.path() + "/Logs/APPLICATION.EVT");
    auto empty = EventLogInfo(path);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->oldest, 1u);
    EXPECT_EQ(empty->count, 0u);

    EXPECT_EQ(AppendEvent(path, EventType::kInformation, "ZelmoSMS", {"one"}, 100), 1u);
    EXPECT_EQ(AppendEvent(path, EventType::kError, "Other", {"two"}, 101), 2u);
    EXPECT_EQ(AppendEvent(path, EventType::kWarning, "ZelmoSMS", {"three"}, 102), 3u);
    auto info = EventLogInfo(path);
    EXPECT_EQ(info->oldest, 1u);
    EXPECT_EQ(info->count, 3u);

    auto from2 = ReadEvents(path, 2, 100);
    ASSERT_TRUE(from2);
    ASSERT_EQ(from2->size(), 2u);
    EXPECT_EQ((*from2)[0].strings[0], "two");
    EXPECT_EQ((*from2)[1].type, EventType::kWarning);
    EXPECT_EQ(ReadEvents(path, 1, 1)->size(), 1u);
    EXPECT_TRUE(ReadEvents(path, 4, 100)->empty());

    ASSERT_TRUE(ClearEventLog(path));
    info = EventLogInfo(path);
    EXPECT_EQ(info->count, 0u);
    EXPECT_EQ(info->oldest, 4u);
    EXPECT_TRUE(ReadEvents(path, 0, 100)->empty());
    EXPECT_EQ(AppendEvent(path, EventType::kInformation, "ZelmoSMS", {"after"}, 103), 4u);
    info = EventLogInfo(path);
    EXPECT_EQ(info->oldest, 4u);
    EXPECT_EQ(info->count, 1u);
    // A second clear of an empty log keeps the number too.
    ASSERT_TRUE(ClearEventLog(path));
    ASSERT_TRUE(ClearEventLog(path));
    EXPECT_EQ(AppendEvent(path, EventType::kInformation, "ZelmoSMS", {"later"}, 104), 5u);
}

TEST(EventLog, AHalfWrittenLineIsIgnoredAndClosedByTheNextRecord) {
    TempRoot root(true);
    std::string path = ApplicationEventLogPath();
    root.Write("Logs/APPLICATION.EVT", "1\t1\tError\tZelmoSMS\tkept\n2\t2\tWarn");
    EXPECT_EQ(EventLogInfo(path)->count, 1u);
    EXPECT_EQ(AppendEvent(path, EventType::kInformation, "ZelmoSMS", {"next"}, 3), 2u);
    auto records = ReadEvents(path, 0, 100);
    ASSERT_EQ(records->size(), 2u);
    EXPECT_EQ((*records)[1].strings[0], "next");
    EXPECT_EQ(root.Read("Logs/APPLICATION.EVT"),
              "1\t1\tError\tZelmoSMS\tkept\n2\t2\tWarn\n2\t3\tInformation\tZelmoSMS\tnext\n");
}

TEST(EventLog, AnUnreadableLogFailsWhereAMissingOneIsEmpty) {
    TempRoot root(true);
    std::string path = root.Path("Logs/APPLICATION.EVT");
    root.Write("Logs/APPLICATION.EVT/x", "");  // a directory in place of the file
    EXPECT_FALSE(ReadEvents(path, 0, 10));
    EXPECT_FALSE(EventLogInfo(path));
    EXPECT_EQ(AppendEvent(path, EventType::kError, "S", {}, 1), 0u);
    EXPECT_FALSE(ClearEventLog(path));
}

TEST(EventLog, WritersSideBySideNeverShareANumber) {
    TempRoot root(true);
    std::string path = ApplicationEventLogPath();
    std::vector<uint32_t> numbers[2];
    auto writer = [&](int w) {
        for (int i = 0; i < 50; ++i) {
            numbers[w].push_back(AppendEvent(path, EventType::kInformation, "W", {"x"}, i));
        }
    };
    std::thread a(writer, 0), b(writer, 1);
    a.join();
    b.join();
    std::set<uint32_t> all(numbers[0].begin(), numbers[0].end());
    all.insert(numbers[1].begin(), numbers[1].end());
    EXPECT_EQ(all.size(), 100u);
    EXPECT_EQ(*all.begin(), 1u);
    EXPECT_EQ(*all.rbegin(), 100u);
    EXPECT_EQ(EventLogInfo(path)->count, 100u);
}

}  // namespace
}  // namespace platform

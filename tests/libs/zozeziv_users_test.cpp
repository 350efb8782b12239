// The user file through the support library's C calls, under a temporary data root: round trips,
// the record layout byte by byte, two processes adding users at once, and damaged files.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>
#include <vector>

#include "libs/zozeziv/user_file.h"
#include "libs/zozeziv/zozeziv.h"
#include "platform/clock.h"
#include "tests/support/temp_root.h"

namespace {

using namespace zozeziv;

UserRecord Named(std::string_view name, std::string_view fullName = "") {
    UserRecord r = EmptyUserRecord();
    SetUserName(r, name);
    SetFullName(r, fullName);
    return r;
}

// An open handle, closed at the end of the scope.
struct OpenFile {
    uint32_t h = 0;
    int ok = 0;
    explicit OpenFile(int mode = ZOZEZIV_USERS_READWRITE) { ok = SMSOpenUserFile(&h, mode); }
    ~OpenFile() {
        if (ok) {
            SMSCloseUserFile(h);
        }
    }
    int Add(const UserRecord& r) const { return SMSAddUser(h, RecordBytes(r)); }
    int Delete(std::string_view name) const {
        UserRecord r = Named(name);
        return SMSDeleteUser(h, RecordBytes(r));
    }
    int Count() const { return SMSGetRecordCount(h); }
    std::vector<std::string> Names() const {
        std::vector<std::string> names;
        UserRecord r;
        for (int i = 0; SMSGetUserRecord(h, i, RecordBytes(r)); ++i) {
            names.emplace_back(UserName(r));
        }
        return names;
    }
};

TEST(UserRecordLayout, FieldsLandAtTheirOffsetsByteForByte) {
    UserRecord r = EmptyUserRecord();
    SetUserName(r, "alice");
    SetPassword(r, "pw");
    SetFullName(r, "Alice A");
    SetWebLoginEnabled(r, false);
    SetSmppLoginEnabled(r, true);
    SetSmtpLoginEnabled(r, true);
    SetMaxMessagesPerDay(r, 0x01020304);
    SetMaxMessagesPerMonth(r, 0xA0B0C0D0);
    SetRestrictIp(r, "10.0.0.1");
    SetForcedSender(r, "Zelmo");
    SetSpeedLimit(r, "5/60");
    SetWebMenuOption(r, WebMenuOption::kSmsMmsOnly);
    SetAdminAccess(r, true);
    SetAcceptsReceivedMessages(r, true);

    unsigned char expected[522] = {};
    auto put = [&](std::size_t off, std::string_view text) {
        std::memcpy(expected + off, text.data(), text.size());
    };
    put(0, "alice");
    put(51, "pw");
    put(102, "Alice A");
    expected[203] = 1;
    expected[204] = 1;
    expected[205] = 1;
    const unsigned char day[] = {0x04, 0x03, 0x02, 0x01}, month[] = {0xD0, 0xC0, 0xB0, 0xA0};
    std::memcpy(expected + 206, day, 4);
    std::memcpy(expected + 210, month, 4);
    put(225, "10.0.0.1");
    put(276, "Zelmo");
    put(409, "5/60");
    expected[419] = 0xB2;
    expected[420] = 0x6A;
    expected[421] = 1;
    EXPECT_EQ(std::memcmp(&r, expected, sizeof expected), 0);

    EXPECT_FALSE(WebLoginEnabled(r));
    EXPECT_EQ(MaxMessagesPerDay(r), 0x01020304u);
    EXPECT_EQ(MaxMessagesPerMonth(r), 0xA0B0C0D0u);
    r.webMenuOption = 0x42;
    EXPECT_EQ(GetWebMenuOption(r), WebMenuOption::kAllOptions);
    SetSpeedLimit(r, "x/5");  // not starting with a digit: stored empty
    EXPECT_EQ(SpeedLimit(r), "");
}

TEST(UserRecordLayout, OverlongTextIsCutAndTerminated) {
    UserRecord r = EmptyUserRecord();
    SetUserName(r, std::string(80, 'n'));
    SetRestrictIp(r, std::string(80, '1'));
    SetSpeedLimit(r, "1234567890123");
    EXPECT_EQ(UserName(r).size(), 50u);
    EXPECT_EQ(RestrictIp(r).size(), 49u);
    EXPECT_EQ(SpeedLimit(r), "123456789");
    EXPECT_EQ(r.userName[50], '\0');

    // A caller's block with unterminated fields is stored cut and terminated.
    testsupport::TempRoot root(true);
    OpenFile f;
    ASSERT_TRUE(f.ok);
    std::memset(&r, 'x', sizeof r);
    ASSERT_TRUE(f.Add(r));
    UserRecord back;
    ASSERT_TRUE(SMSGetUserRecord(f.h, 0, RecordBytes(back)));
    EXPECT_EQ(UserName(back), std::string(50, 'x'));
    EXPECT_EQ(Password(back), std::string(50, 'x'));
    EXPECT_EQ(FullName(back), std::string(100, 'x'));
    EXPECT_EQ(ForcedSender(back), std::string(50, 'x'));
    EXPECT_EQ(back.userName[50], '\0');
    EXPECT_EQ(back.reserved422[0], 'x');  // bytes outside the text fields are kept as given
}

TEST(UserFile, RoundTripThroughEveryCall) {
    testsupport::TempRoot root(true);
    OpenFile f;
    ASSERT_TRUE(f.ok);
    EXPECT_NE(f.h, 0u);
    EXPECT_EQ(f.Count(), 0);
    EXPECT_TRUE(root.Exists("ProgramData/USERS.DAT"));

    for (const char* n : {"carol", "Bob", "alice", "bobby", "dave"}) {
        UserRecord r = Named(n, std::string("Full ") + n);
        SetMaxMessagesPerDay(r, 7);
        ASSERT_TRUE(f.Add(r)) << n;
    }
    EXPECT_EQ(f.Names(), (std::vector<std::string>{"alice", "Bob", "bobby", "carol", "dave"}));

    // Replace by name, any case: one record, with the new spelling and content.
    ASSERT_TRUE(f.Add(Named("BOB", "Robert")));
    EXPECT_EQ(f.Count(), 5);
    UserRecord r;
    ASSERT_TRUE(SMSFindUserRecord(f.h, "bob", RecordBytes(r)));
    EXPECT_EQ(UserName(r), "BOB");
    EXPECT_EQ(FullName(r), "Robert");
    EXPECT_EQ(MaxMessagesPerDay(r), 0u);
    EXPECT_FALSE(SMSFindUserRecord(f.h, "bo", RecordBytes(r)));
    EXPECT_FALSE(SMSFindUserRecord(f.h, "", RecordBytes(r)));

    struct {
        const char* text;
        int index;
        const char* name;
    } prefixes[] = {
        {"b", 1, "BOB"}, {"BOBB", 2, "bobby"}, {"C", 3, "carol"}, {"", 0, "alice"},
        {"e", -1, ""},   {"bobbyx", -1, ""},   {"0", -1, ""},     {"dave", 4, "dave"},
    };
    for (const auto& p : prefixes) {
        UserRecord hit = Named("untouched");
        EXPECT_EQ(SMSFindFirstUserRecord(f.h, p.text, RecordBytes(hit)), p.index) << p.text;
        EXPECT_EQ(UserName(hit), p.index < 0 ? "untouched" : p.name) << p.text;
    }

    EXPECT_TRUE(f.Delete("CAROL"));
    EXPECT_FALSE(f.Delete("carol"));
    EXPECT_FALSE(f.Delete(""));
    EXPECT_EQ(f.Names(), (std::vector<std::string>{"alice", "BOB", "bobby", "dave"}));
    EXPECT_FALSE(SMSGetUserRecord(f.h, 4, RecordBytes(r)));
    EXPECT_FALSE(SMSGetUserRecord(f.h, -1, RecordBytes(r)));
    EXPECT_FALSE(f.Add(Named("")));

    // Another handle (the gateway's, say) sees the same, and sees later changes at once.
    OpenFile reader(ZOZEZIV_USERS_READ);
    ASSERT_TRUE(reader.ok);
    EXPECT_EQ(reader.Count(), 4);
    EXPECT_FALSE(reader.Add(Named("eve")));
    ASSERT_TRUE(f.Add(Named("eve")));
    EXPECT_EQ(reader.Count(), 5);

    SMSCloseUserFile(f.h);
    EXPECT_EQ(SMSGetRecordCount(f.h), 0);
    EXPECT_FALSE(SMSGetUserRecord(f.h, 0, RecordBytes(r)));
    f.ok = 0;
}

TEST(UserFile, ReadOnlyOpenOfAMissingFileIsEmptyAndCreatesNothing) {
    testsupport::TempRoot root(true);
    OpenFile f(ZOZEZIV_USERS_READ);
    ASSERT_TRUE(f.ok);
    EXPECT_EQ(f.Count(), 0);
    EXPECT_FALSE(root.Exists("ProgramData/USERS.DAT"));
    EXPECT_EQ(SMSOpenUserFile(nullptr, ZOZEZIV_USERS_READ), 0);
}

TEST(UserFile, ChangesByAnotherProcessAreSeenByAnOpenHandle) {
    // An open handle looks at the file on disk once per millisecond of the tick count.
    platform::VirtualTime time;
    platform::ScopedClock clock(time.source);
    testsupport::TempRoot root(true);
    OpenFile f;
    ASSERT_TRUE(f.ok);
    ASSERT_TRUE(f.Add(Named("one")));
    // Rewrite the file behind the handle's back, as another process would, with the same size.
    std::string path = root.Path("ProgramData/USERS.DAT");
    std::vector<UserRecord> other = {Named("two")};
    std::string tmp = path + ".new";
    testsupport::WriteFile(tmp, SerializeUserFile(other, 9));
    ASSERT_EQ(::rename(tmp.c_str(), path.c_str()), 0);
    time.Advance(1);
    EXPECT_EQ(f.Names(), std::vector<std::string>{"two"});
    ASSERT_TRUE(f.Add(Named("three")));
    EXPECT_EQ(ParseUserFile(testsupport::ReadFile(path)).serial, 10u);
    EXPECT_EQ(f.Names(), (std::vector<std::string>{"three", "two"}));
}

TEST(UserFile, TwoProcessesAddingAtOnceLoseNothing) {
    testsupport::TempRoot root(true);
    { OpenFile create; }
    constexpr int kEach = 40;
    pid_t pids[2];
    for (int p = 0; p < 2; ++p) {
        pids[p] = ::fork();
        ASSERT_GE(pids[p], 0);
        if (pids[p] == 0) {
            uint32_t h = 0;
            int ok = SMSOpenUserFile(&h, ZOZEZIV_USERS_READWRITE);
            for (int i = 0; ok && i < kEach; ++i) {
                UserRecord r = Named("p" + std::to_string(p) + "-" + std::to_string(i));
                ok = SMSAddUser(h, RecordBytes(r));
            }
            SMSCloseUserFile(h);
            ::_exit(ok ? 0 : 1);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    OpenFile f(ZOZEZIV_USERS_READ);
    EXPECT_EQ(f.Count(), 2 * kEach);
    UserRecord r;
    for (int p = 0; p < 2; ++p) {
        for (int i = 0; i < kEach; ++i) {
            std::string name = "p" + std::to_string(p) + "-" + std::to_string(i);
            EXPECT_TRUE(SMSFindUserRecord(f.h, name.c_str(), RecordBytes(r))) << name;
        }
    }
    // No temporary file is left behind.
    EXPECT_EQ(testsupport::ReadFile(root.Path("ProgramData/USERS.DAT")).size(),
              kUserFileHeaderSize + 2 * kEach * USER_RECORD_SIZE);
}

std::string FileOf(std::vector<std::string> names) {
    std::vector<UserRecord> records;
    for (const auto& n : names) {
        records.push_back(Named(n));
    }
    return SerializeUserFile(records, 1);
}

TEST(UserFile, DamagedAndForeignFiles) {
    std::string good = FileOf({"a", "b", "c"});
    std::string newer = good;
    newer[8] = 2;  // format version 2
    std::string unsorted = FileOf({"b", "a", "B"});
    struct Case {
        const char* what;
        std::string bytes;
        bool opensRead, opensWrite;
        std::vector<std::string> names;
        bool keepsCopyOnWrite;  // a write first keeps the bytes it could not read
    } cases[] = {
        {"cut mid-record", good.substr(0, good.size() - 100), true, true, {"a", "b"}, true},
        {"cut inside the header", good.substr(0, 20), false, false, {}, false},
        {"trailing bytes", good + "xyz", true, true, {"a", "b", "c"}, true},
        {"count beyond the records",
         [&] {
             std::string s = good;
             s[20] = 9;
             return s;
         }(),
         true,
         true,
         {"a", "b", "c"},
         true},
        {"out of order with a duplicate", unsorted, true, true, {"a", "b"}, true},
        {"a record without a name", FileOf({"", "a"}), true, true, {"a"}, true},
        {"not a user file", std::string(600, 'Q'), false, false, {}, false},
        {"wrong record size",
         [&] {
             std::string s = good;
             s[16] = 0x10;
             return s;
         }(),
         false,
         false,
         {},
         false},
        {"newer format", newer, true, false, {"a", "b", "c"}, false},
        {"empty file", "", true, true, {}, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        testsupport::TempRoot root(true);
        std::string path = root.Path("ProgramData/USERS.DAT");
        root.Write("ProgramData/USERS.DAT", c.bytes);
        {
            OpenFile r(ZOZEZIV_USERS_READ);
            EXPECT_EQ(r.ok != 0, c.opensRead);
            if (r.ok) {
                EXPECT_EQ(r.Names(), c.names);
            }
        }
        OpenFile w;
        EXPECT_EQ(w.ok != 0, c.opensWrite);
        if (!w.ok) {
            EXPECT_EQ(testsupport::ReadFile(path), c.bytes);  // never touched
            continue;
        }
        ASSERT_TRUE(w.Add(Named("z")));
        std::vector<std::string> expected = c.names;
        expected.push_back("z");
        EXPECT_EQ(w.Names(), expected);
        EXPECT_EQ(ParseUserFile(testsupport::ReadFile(path)).state, UserFileState::kOk);
        if (c.keepsCopyOnWrite) {
            EXPECT_EQ(testsupport::ReadFile(path + ".damaged"), c.bytes);
        } else {
            EXPECT_FALSE(root.Exists("ProgramData/USERS.DAT.damaged"));
        }
    }
}

TEST(UserFile, FormatHeaderIsAsDocumented) {
    std::string bytes = FileOf({"x"});
    ASSERT_EQ(bytes.size(), 64u + 522u);
    EXPECT_EQ(bytes.substr(0, 8), "ZELMOUSR");
    const unsigned char head[] = {1, 0, 0, 0, 64, 0, 0, 0, 0x0A, 0x02, 0, 0,
                                  1, 0, 0, 0, 1,  0, 0, 0, 0,    0,    0, 0};
    EXPECT_EQ(std::memcmp(bytes.data() + 8, head, sizeof head), 0);
    EXPECT_EQ(bytes.substr(32, 32), std::string(32, '\0'));
    EXPECT_EQ(bytes.substr(64, 2), std::string("x\0", 2));
}

}  // namespace

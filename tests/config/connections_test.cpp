// Connection entries: titles and section names, list items, and the stored list with its save
// (section copy, orphan removal, "Modem%u" without gaps) and the rules the dialogs share.
#include "config/connections.h"

#include <gtest/gtest.h>

#include "libs/zozeziv/zozeziv.h"
#include "platform/ini.h"
#include "tests/support/temp_root.h"

namespace config {
namespace {

using platform::IniRead;
using platform::IniReadSection;
using platform::IniSectionExists;
using testsupport::TempRoot;

// A ZIZOD.INI in a temporary data root, known to the support library.
class Stored : public ::testing::Test {
  protected:
    Stored() : root_(true), ini_(root_.Path("ZIZOD.INI")) { SMSIniSetFilename(ini_.c_str()); }
    ~Stored() override { SMSIniSetFilename(""); }
    void Write(std::string_view text) { testsupport::WriteFile(ini_, text); }
    std::string Value(std::string_view section, std::string_view key) {
        return IniRead(ini_, section, key).value_or("<missing>");
    }

    TempRoot root_;
    std::string ini_;
};

TEST(ConnectionTitles, SectionNamesEscapeBracketsAndMarkModems) {
    struct {
        const char* title;
        const char* section;
    } cases[] = {
        {"Modem X [2]", "Modem - Modem X \\x5B2\\x5D"},
        {"SMPP - [::1]:2000", "SMPP - \\x5B::1\\x5D:2000"},
        {"COM1:", "Modem - COM1:"},
        {"http - host:80", "http - host:80"},
        {"IPModem - 10.0.0.1:23", "IPModem - 10.0.0.1:23"},
        {"UCP - h:1", "UCP - h:1"},
        {"CIMD - h:1", "CIMD - h:1"},
        {"SMPP-h:1", "Modem - SMPP-h:1"},
        {"", "Modem - "},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ConnectionSectionName(c.title), c.section) << c.title;
    }
    EXPECT_EQ(UnescapeSectionName("Modem - Modem X \\x5B2\\x5D"), "Modem - Modem X [2]");
    // Only the exact spelling turns back.
    EXPECT_EQ(UnescapeSectionName("\\x5b\\X5D\\x5"), "\\x5b\\X5D\\x5");
}

TEST(ConnectionTitles, KindsAndTitleForms) {
    struct {
        const char* title;
        ConnectionKind kind;
    } cases[] = {
        {"SMPP - h:1", ConnectionKind::kSmpp}, {"smpp - h:1", ConnectionKind::kSmpp},
        {"HTTP - h:1", ConnectionKind::kHttp}, {"UCP - h:1", ConnectionKind::kUcp},
        {"CIMD - h:1", ConnectionKind::kCimd}, {"IPModem - h:1", ConnectionKind::kIpModem},
        {"COM3:", ConnectionKind::kModem},     {"Standard Modem", ConnectionKind::kModem},
        {"SMPP -h", ConnectionKind::kModem},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(KindOfTitle(c.title), c.kind) << c.title;
    }
    EXPECT_EQ(MakeDirectTitle(ConnectionKind::kSmpp, "h", 2775), "SMPP - h:2775");
    EXPECT_EQ(MakeDirectTitle(ConnectionKind::kCimd, "h#2", 1), "CIMD - h#2:1");
    EXPECT_EQ(SerialModemTitle(4), "COM4:");
}

TEST(ConnectionTitles, SplitHostPort) {
    struct {
        const char* text;
        const char* host;
        unsigned port;
    } cases[] = {
        {"smsc.example:2775", "smsc.example", 2775},
        {"host", "host", 99},  // no colon: port untouched
        {"host:", "host", 0},
        {"host:12ab", "host", 12},
        {"[::1]:2000", "[", 0},
    };
    for (const auto& c : cases) {
        std::string host = "x";
        unsigned port = 99;
        SplitHostPort(c.text, &host, &port);
        EXPECT_EQ(host, c.host) << c.text;
        EXPECT_EQ(port, c.port) << c.text;
    }
}

TEST(ConnectionEntries, FindEntryValue) {
    std::string settings = "\tRouteName=Main\tUserName=abc\tEmpty=\tNoEquals";
    struct {
        const char* key;
        const char* value;  // null: not found
    } cases[] = {
        {"RouteName", "Main"}, {"routename", "Main"}, {"UserName", "abc"}, {"User", nullptr},
        {"Empty", ""},         {"NoEquals", nullptr}, {"Main", nullptr},
    };
    for (const auto& c : cases) {
        auto v = FindEntryValue(settings, c.key);
        ASSERT_EQ(v.has_value(), c.value != nullptr) << c.key;
        if (c.value) {
            EXPECT_EQ(*v, c.value) << c.key;
        }
    }
    // The key is cut to 498 characters before the search.
    std::string longKey(498, 'K');
    std::string entry = "T\t" + longKey + "=v";
    EXPECT_EQ(FindEntryValue(entry, longKey + "XYZ").value_or("?"), "v");

    EXPECT_EQ(TestMarkerTitle(MakeTestMarker("SMPP - h:1")).value_or("?"), "SMPP - h:1");
    EXPECT_FALSE(TestMarkerTitle("SMPP - h:1\tTEST:x"));
}

TEST_F(Stored, ListItemsShowTheRouteName) {
    Write("[SMPP - h:1]\nRouteName=Stored\n");
    EXPECT_EQ(MakeConnectionListItem("SMPP - h:1"), "Stored (SMPP - h:1)\tSMPP - h:1");
    EXPECT_EQ(MakeConnectionListItem("SMPP - h:1\tRouteName=Main"),
              "Main (SMPP - h:1)\tSMPP - h:1\tRouteName=Main");
    // A pending empty route name wins over the stored one.
    EXPECT_EQ(MakeConnectionListItem("SMPP - h:1\tRouteName="),
              "SMPP - h:1\tSMPP - h:1\tRouteName=");
    EXPECT_EQ(MakeConnectionListItem("COM1:"), "COM1:\tCOM1:");
    // The display column holds at most 149 characters.
    std::string item = MakeConnectionListItem("COM2:\tRouteName=" + std::string(200, 'r'));
    EXPECT_EQ(item.find('\t'), 149u);
    EXPECT_EQ(StripDisplayColumn(item), "COM2:\tRouteName=" + std::string(200, 'r'));
    EXPECT_EQ(StripDisplayColumn("no tab here"), "no tab here");
    EXPECT_EQ(RouteDisplayName("SMPP - h:1"), "Stored");
    EXPECT_EQ(RouteDisplayName("COM1:"), "COM1:");
    EXPECT_EQ(ReadEntrySetting("SMPP - h:1\tRouteName=P", "RouteName"), "P");
    EXPECT_EQ(ReadEntrySetting("SMPP - h:1", "routename"), "Stored");
}

TEST_F(Stored, LoadingFollowsThe201Rule) {
    Write(
        "[ZIZOD]\nModem1=COM1:\nModem3=SMPP - h:1\nModem201=COM201:\nModem202=COM202:\n"
        "Modem203=COM203:\nModem205=COM205:\n[SMPP - h:1]\nRouteName=Main\n");
    std::vector<std::string> items = LoadConnectionList();
    std::vector<std::string> expected = {
        "COM1:\tCOM1:\tSaveRoute=COM1:",
        "Main (SMPP - h:1)\tSMPP - h:1\tSaveRoute=SMPP - h:1",
        "COM201:\tCOM201:\tSaveRoute=COM201:",
        "COM202:\tCOM202:\tSaveRoute=COM202:",
        "COM203:\tCOM203:\tSaveRoute=COM203:",
    };
    EXPECT_EQ(items, expected);
}

TEST_F(Stored, HostChangeCopiesTheOldSectionAndRemovesIt) {
    Write("[ZIZOD]\nModem1=SMPP - a:2775\n[SMPP - a:2775]\nUserName=u\nPassword=p\nRoute1=44\n");
    std::vector<std::string> items = {
        "SMPP - b:2775\tSMPP - b:2775\tSaveRoute=SMPP - a:2775\tPassword=new\tRouteName=Main"};
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    EXPECT_EQ(Value("ZIZOD", "Modem1"), "SMPP - b:2775");
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(
        IniReadSection(ini_, "SMPP - b:2775"),
        (Pairs{{"UserName", "u"}, {"Password", "new"}, {"Route1", "44"}, {"RouteName", "Main"}}));
    EXPECT_FALSE(IniSectionExists(ini_, "SMPP - a:2775"));
    // Re-tagged: the pending settings are stored now.
    EXPECT_EQ(items[0], "SMPP - b:2775\tSMPP - b:2775\tSaveRoute=SMPP - b:2775");
}

TEST_F(Stored, RemovingTheLastConnectionDeletesKeysAndSection) {
    Write(
        "[ZIZOD]\nModem1=COM1:\nModem2=COM2:\nModem3=\nModem4=COM4:\nModem201=W\nModem202=X\n"
        "Modem203=Y\nModem205=Z\nOther=keep\n[Modem - COM1:]\nPIN=1234\n[Modem - COM4:]\nPIN=1\n");
    std::vector<std::string> items;
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    // The empty Modem3 is not touched; the stale keys beyond 201 go while they follow each other.
    // Beyond 201 the deletes go on while they follow each other: Modem205 stays, as a load
    // would not see it either.
    EXPECT_EQ(IniReadSection(ini_, "ZIZOD"),
              (Pairs{{"Modem3", ""}, {"Modem205", "Z"}, {"Other", "keep"}}));
    EXPECT_FALSE(IniSectionExists(ini_, "Modem - COM1:"));
    EXPECT_FALSE(IniSectionExists(ini_, "Modem - COM4:"));
}

TEST_F(Stored, ShorterListDeletesStaleHigherKeys) {
    Write("[ZIZOD]\nModem1=COM1:\nModem2=COM2:\nModem3=COM3:\n");
    std::vector<std::string> items = {"COM2:\tCOM2:\tSaveRoute=COM2:"};
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(IniReadSection(ini_, "ZIZOD"), (Pairs{{"Modem1", "COM2:"}}));
}

TEST_F(Stored, PendingSettingsWriteOrDeleteAndSaveRouteAloneWritesNothing) {
    Write(
        "[ZIZOD]\nModem1=COM1:\nModem2=SMPP - h:1\n"
        "[Modem - COM1:]\nPIN=1234\nRouteName=Old\n"
        "[SMPP - h:1]\nRouteName=Main\nUserName=x\n");
    std::vector<std::string> items = {
        "Old (COM1:)\tCOM1:\tSaveRoute=COM1:\tRouteName=\tBaudRate=9600\tGarbage",
        "Main (SMPP - h:1)\tSMPP - h:1\tSaveRoute=SMPP - h:1",
        "COM7:\tCOM7:",
    };
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    EXPECT_EQ(IniReadSection(ini_, "Modem - COM1:"),
              (Pairs{{"PIN", "1234"}, {"BaudRate", "9600"}}));
    EXPECT_EQ(IniReadSection(ini_, "SMPP - h:1"),
              (Pairs{{"RouteName", "Main"}, {"UserName", "x"}}));
    EXPECT_FALSE(IniSectionExists(ini_, "Modem - COM7:"));
    EXPECT_EQ(Value("ZIZOD", "Modem3"), "COM7:");
    // The item without settings stays as it was; the others carry their title as SaveRoute.
    EXPECT_EQ(items[0], "Old (COM1:)\tCOM1:\tSaveRoute=COM1:");
    EXPECT_EQ(items[2], "COM7:\tCOM7:");
}

TEST_F(Stored, OrphanRemovalSparesIpModemsAndForeignSections) {
    Write(
        "[ZIZOD]\nModem1=Modem X [2]\n"
        "[Modem - Modem X \\x5B2\\x5D]\nPIN=1\n"
        "[IPModem - 10.0.0.1:23]\nA=1\n"
        "[HTTP - gone:80]\nA=1\n[UCP - gone:1]\nA=1\n[cimd - gone:1]\nA=1\n[Modem - Gone]\nA=1\n"
        "[SMPP]\nA=1\n[IPRestrictions]\nA=1\n[SMPPClient - bob]\nA=1\n");
    std::vector<std::string> items = {"Modem X [2]\tModem X [2]\tSaveRoute=Modem X [2]"};
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    std::vector<std::string> expected = {"ZIZOD",
                                         "Modem - Modem X \\x5B2\\x5D",
                                         "IPModem - 10.0.0.1:23",
                                         "SMPP",
                                         "IPRestrictions",
                                         "SMPPClient - bob"};
    EXPECT_EQ(platform::IniSectionNames(ini_), expected);
}

TEST_F(Stored, TitlesSwappedInOneSaveKeepTheirOwnSettings) {
    Write(
        "[ZIZOD]\nModem1=SMPP - a:1\nModem2=SMPP - b:1\n"
        "[SMPP - a:1]\nUserName=alice\nOnlyA=1\n[SMPP - b:1]\nUserName=bob\n");
    std::vector<std::string> items = {
        "SMPP - b:1\tSMPP - b:1\tSaveRoute=SMPP - a:1",
        "SMPP - a:1\tSMPP - a:1\tSaveRoute=SMPP - b:1",
    };
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    EXPECT_EQ(Value("SMPP - b:1", "UserName"), "alice");
    EXPECT_EQ(Value("SMPP - a:1", "UserName"), "bob");
}

TEST_F(Stored, DamagedLinesDoNotFailTheSave) {
    static const char kText[] =
        "[ZIZOD]\nModem1=COM1:\n[Modem - COM1:]\n[odd=1\nPIN=1\n[HTTP - a\0b]\nA=1\n";
    Write(std::string_view(kText, sizeof kText - 1));
    std::vector<std::string> items = {"COM2:\tCOM2:\tSaveRoute=COM1:"};
    ASSERT_TRUE(SaveConnectionList(ini_, items));
    EXPECT_EQ(Value("ZIZOD", "Modem1"), "COM2:");
    EXPECT_EQ(Value("Modem - COM2:", "PIN"), "1");
    EXPECT_FALSE(IniSectionExists(ini_, "Modem - COM1:"));
}

TEST_F(Stored, FailedWriteKeepsPendingSettings) {
    std::vector<std::string> items = {"COM1:\tCOM1:\tPIN=1"};
    EXPECT_FALSE(SaveConnectionList(root_.Path("missing/ZIZOD.INI"), items));
    EXPECT_EQ(items[0], "COM1:\tCOM1:\tPIN=1");
}

TEST(DialogRules, ThreeConnectionsToOneHostAndPort) {
    std::vector<std::string> list;
    for (const char* expected : {"SMPP - h:2775", "SMPP - h#2:2775", "SMPP - h#3:2775"}) {
        std::string title = MakeUniqueTitle(ConnectionKind::kSmpp, "h", 2775, "", list);
        EXPECT_EQ(title, expected);
        list.push_back(title + "\t" + title);
    }
    // The title a dialog was opened with may stay; a typed "#n" is cut on a clash.
    EXPECT_EQ(MakeUniqueTitle(ConnectionKind::kSmpp, "H", 2775, "SMPP - h:2775", list),
              "SMPP - H:2775");
    EXPECT_EQ(MakeUniqueTitle(ConnectionKind::kSmpp, "h#2", 2775, "", list), "SMPP - h#4:2775");
    EXPECT_EQ(MakeUniqueTitle(ConnectionKind::kHttp, "h#9", 80, "", list), "HTTP - h#9:80");
}

TEST_F(Stored, ResultCarriesOnlyWhatDiffersFromTheNewSection) {
    Write("[SMPP - h:1]\nUserName=Alice\nPassword=Secret\nSystemType=x\n");
    std::vector<EditedSetting> edited = {
        {"UserName", "alice"},         // same but for case: not carried
        {"Password", "secret", true},  // compared with case: carried
        {"SystemType", "x"},           // pending before, now equal: dropped
        {"RouteName", "Main"},         // nothing stored: carried
    };
    std::string incoming = "SMPP - g:1\tSaveRoute=SMPP - g:1\tSystemType=y\tEnquireLink=30";
    EXPECT_EQ(BuildConnectionResult("SMPP - h:1", edited, incoming, true),
              "SMPP - h:1\tPassword=secret\tRouteName=Main\tSaveRoute=SMPP - g:1\tEnquireLink=30");
    EXPECT_EQ(BuildConnectionResult("SMPP - h:1", edited, incoming, false),
              "SMPP - h:1\tPassword=secret\tRouteName=Main");
    EXPECT_EQ(BuildConnectionResult("SMPP - h:1", edited, "TEST:SMPP - h:1", true),
              "SMPP - h:1\tPassword=secret\tRouteName=Main");
}

}  // namespace
}  // namespace config

// Profile strings: the classic semantics, damaged files, rewrites that keep what they do not
// change, the parsed-copy cache against other writers, and writers killed or racing each other.
#include "platform/ini.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "tests/support/temp_root.h"

namespace platform {
namespace {

using testsupport::ReadFile;
using testsupport::TempRoot;
using testsupport::WriteFile;

class IniFile : public ::testing::Test {
  protected:
    TempRoot root_;
    std::string path_ = root_.Path("ZIZOD.INI");
};

TEST_F(IniFile, ClassicSemantics) {
    WriteFile(path_,
              "[ZIZOD]\n"
              "Modem1=SMPP - host:2775\n"
              "  CacheQSize =  Yes  \n"
              "Empty=\n"
              "Eq=a=b\n"
              "[SMPP - host:2775]\n"
              "SMPPVersion=52\n");
    struct Case {
        const char* section;
        const char* key;
        std::optional<std::string> value;
    } cases[] = {
        {"ZIZOD", "Modem1", "SMPP - host:2775"},
        {"zizod", "MODEM1", "SMPP - host:2775"},  // names are case-blind
        {"ZIZOD", "CacheQSize", "Yes"},           // blanks around key and value trimmed
        {"ZIZOD", "Empty", ""},
        {"ZIZOD", "Eq", "a=b"},  // the value is everything after the first "="
        {"ZIZOD", "Modem2", std::nullopt},
        {"Nowhere", "Modem1", std::nullopt},
        {"smpp - HOST:2775", "smppversion", "52"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(IniRead(path_, c.section, c.key), c.value) << c.section << "/" << c.key;
    }
    EXPECT_EQ(IniGetString(path_, "ZIZOD", "Modem2", "dflt"), "dflt");
    EXPECT_EQ(IniGetString(path_, "ZIZOD", "Modem1", "", 5), "SMPP");  // cut to size - 1
    EXPECT_EQ(IniSectionNames(path_), (std::vector<std::string>{"ZIZOD", "SMPP - host:2775"}));
    EXPECT_EQ(IniKeyNames(path_, "zizod"),
              (std::vector<std::string>{"Modem1", "CacheQSize", "Empty", "Eq"}));
    auto section = IniReadSection(path_, "SMPP - host:2775");
    ASSERT_EQ(section.size(), 1u);
    EXPECT_EQ(section[0], (std::pair<std::string, std::string>{"SMPPVersion", "52"}));
    EXPECT_TRUE(IniReadSection(path_, "missing").empty());
    EXPECT_EQ(IniRead(root_.Path("NOFILE.INI"), "a", "b"), std::nullopt);
}

TEST_F(IniFile, BufferFormListsAndCuts) {
    WriteFile(path_, "[A]\nk1=v1\nk2=v2\n[B]\n");
    char buf[64];
    uint32_t n = IniGetProfileString(nullptr, nullptr, nullptr, buf, sizeof buf, path_);
    EXPECT_EQ(std::string(buf, n + 1), std::string("A\0B\0\0", 5));
    n = IniGetProfileString("a", nullptr, nullptr, buf, sizeof buf, path_);
    EXPECT_EQ(std::string(buf, n + 1), std::string("k1\0k2\0\0", 7));
    n = IniGetProfileString("A", "k2", "x", buf, 2, path_);
    EXPECT_EQ(n, 1u);
    EXPECT_STREQ(buf, "v");
    n = IniGetProfileString("A", "none", nullptr, buf, sizeof buf, path_);
    EXPECT_EQ(n, 0u);
    EXPECT_STREQ(buf, "");
    EXPECT_EQ(IniGetProfileString("A", "k1", "", nullptr, 0, path_), 0u);
    // A list that does not fit keeps its double terminator.
    n = IniGetProfileString("A", nullptr, nullptr, buf, 5, path_);
    EXPECT_EQ(std::string(buf, n + 1), std::string("k1\0\0", 4));
}

TEST_F(IniFile, WritesDeleteKeysAndSections) {
    ASSERT_TRUE(IniWriteProfileString("ZIZOD", "Modem1", "COM1:", path_));
    ASSERT_TRUE(IniWriteProfileString("ZIZOD", "Modem2", "COM2:", path_));
    ASSERT_TRUE(IniWriteProfileString("COM1:", "PIN", "1234", path_));
    EXPECT_EQ(ReadFile(path_), "[ZIZOD]\nModem1=COM1:\nModem2=COM2:\n[COM1:]\nPIN=1234\n");
    ASSERT_TRUE(IniWriteProfileString("zizod", "MODEM1", "COM3:", path_));  // keeps its spelling
    ASSERT_TRUE(IniWriteProfileString("ZIZOD", "Modem2", nullptr, path_));  // null value: delete
    ASSERT_TRUE(IniWriteProfileString("com1:", nullptr, nullptr, path_));   // null key: section
    EXPECT_EQ(ReadFile(path_), "[ZIZOD]\nModem1=COM3:\n");
    EXPECT_EQ(IniRead(path_, "COM1:", "PIN"), std::nullopt);
    ASSERT_TRUE(IniDeleteKey(path_, "ZIZOD", "NotThere"));
    ASSERT_TRUE(IniDeleteSection(path_, "NotThere"));
    EXPECT_EQ(ReadFile(path_), "[ZIZOD]\nModem1=COM3:\n");
}

TEST_F(IniFile, RefusesNamesThatCannotBeStoredAndCutsValuesAtLineBreaks) {
    EXPECT_FALSE(IniWrite(path_, "a]b", "k", "v"));
    EXPECT_FALSE(IniWrite(path_, "s", "k=x", "v"));
    EXPECT_FALSE(IniWrite(path_, "s", "", "v"));
    EXPECT_FALSE(IniWrite(path_, "s\nx", "k", "v"));
    EXPECT_FALSE(IniWrite(path_, "s", "[k", "v"));
    IniBatch mixed;  // one bad name fails the whole batch before anything is written
    mixed.Set("good", "k", "v");
    mixed.Set("bad]", "k", "v");
    EXPECT_FALSE(IniApply(path_, mixed));
    EXPECT_FALSE(root_.Exists("ZIZOD.INI"));

    ASSERT_TRUE(IniWrite(path_, "s", "k", "first\r\n[evil]\r\nkey=1"));
    EXPECT_EQ(IniRead(path_, "s", "k"), "first");
    EXPECT_FALSE(IniSectionExists(path_, "evil"));
}

TEST_F(IniFile, RewriteKeepsUnchangedLinesAndLineEnds) {
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    } cases[] = {
        {"crlf", "; comment\r\n[A]\r\nx = 1\r\n\r\n[B]\r\ny=2\r\n",
         "; comment\r\n[A]\r\nx = 1\r\nnew=v\r\n\r\n[B]\r\ny=2\r\n"},
        {"cr only", "[A]\rx=1\r", "[A]\rx=1\rnew=v\r"},
        {"no final end", "[A]\nx=1", "[A]\nx=1\nnew=v\n"},
        {"mixed ends kept per line", "[A]\r\nx=1\nnoequals\r\n",
         "[A]\r\nx=1\nnoequals\r\nnew=v\r\n"},
        {"header without bracket is an ordinary line", "[A]\n[broken\nx=1\n",
         "[A]\n[broken\nx=1\nnew=v\n"},
        {"new section at the end", "[B]\ny=2\n", "[B]\ny=2\n[A]\nnew=v\n"},
        {"preamble kept", "junk line\n\x01\x02\n[A]\n", "junk line\n\x01\x02\n[A]\nnew=v\n"},
    };
    for (const Case& c : cases) {
        WriteFile(path_, c.before);
        ASSERT_TRUE(IniWrite(path_, "A", "new", "v")) << c.name;
        EXPECT_EQ(ReadFile(path_), c.after) << c.name;
    }
}

TEST_F(IniFile, DamagedFilesReadDefinedValues) {
    std::string big(1 << 20, 'x');
    std::string text = std::string("[A]\nnul=a\0b\nbin=\xff\xfe\x80\n", 20) + "long=" + big +
                       "\n[B\nkey=in A still\n=novalue\n[C]";
    WriteFile(path_, text);
    EXPECT_EQ(IniRead(path_, "A", "nul"), std::string("a\0b", 3));
    EXPECT_EQ(IniRead(path_, "A", "bin"), "\xff\xfe\x80");
    EXPECT_EQ(IniRead(path_, "A", "long")->size(), big.size());
    EXPECT_EQ(IniRead(path_, "A", "key"), "in A still");
    EXPECT_TRUE(IniSectionExists(path_, "C"));
    EXPECT_FALSE(IniSectionExists(path_, "B"));
    ASSERT_TRUE(IniWrite(path_, "C", "k", "v"));
    std::string after = ReadFile(path_);
    EXPECT_EQ(after, text + "\nk=v\n");
}

TEST_F(IniFile, DuplicatesReadTheFirstAndDeleteEveryCopy) {
    WriteFile(path_, "[A]\nk=1\nk=2\n[a]\nk=3\nz=9\n");
    EXPECT_EQ(IniRead(path_, "A", "k"), "1");
    EXPECT_EQ(IniRead(path_, "A", "z"), std::nullopt);  // only the first section counts
    ASSERT_TRUE(IniDeleteKey(path_, "A", "k"));
    EXPECT_EQ(IniRead(path_, "A", "k"), std::nullopt);
    ASSERT_TRUE(IniDeleteSection(path_, "A"));
    EXPECT_FALSE(IniSectionExists(path_, "A"));
    EXPECT_EQ(ReadFile(path_), "");
}

TEST_F(IniFile, BatchIsOneRewriteInOrder) {
    WriteFile(path_, "[Old]\nRoute1=a\n[ZIZOD]\nModem1=Old\n");
    IniBatch b;
    for (const auto& [k, v] : IniReadSection(path_, "Old")) {
        b.Set("New", k, v);
    }
    b.DeleteSection("Old");
    b.Set("ZIZOD", "Modem1", "New");
    b.Set("New", "Route2", "b");
    b.DeleteKey("New", "Route2");
    struct stat before;
    ASSERT_EQ(stat(path_.c_str(), &before), 0);
    ASSERT_TRUE(IniApply(path_, b));
    EXPECT_EQ(ReadFile(path_), "[ZIZOD]\nModem1=New\n[New]\nRoute1=a\n");
    // The file was replaced, not edited in place, and kept its mode.
    struct stat after;
    ASSERT_EQ(stat(path_.c_str(), &after), 0);
    EXPECT_NE(before.st_ino, after.st_ino);
    EXPECT_EQ(before.st_mode, after.st_mode);
}

TEST_F(IniFile, SeesChangesMadeBehindItsBack) {
    ASSERT_TRUE(IniWrite(path_, "ZIZOD", "ConfigurationUpdateTriggerRestart", "20261211120000"));
    EXPECT_EQ(IniRead(path_, "ZIZOD", "ConfigurationUpdateTriggerRestart"), "20261211120000");
    // Another program rewrites the file in place with a value of the same length, at once.
    WriteFile(path_, "[ZIZOD]\nConfigurationUpdateTriggerRestart=20261211120001\n");
    EXPECT_EQ(IniRead(path_, "ZIZOD", "ConfigurationUpdateTriggerRestart"), "20261211120001");
    unlink(path_.c_str());
    EXPECT_EQ(IniRead(path_, "ZIZOD", "ConfigurationUpdateTriggerRestart"), std::nullopt);
}

TEST_F(IniFile, WriteFailsWhereTheFileCannotBeWritten) {
    EXPECT_FALSE(IniWrite(root_.Path("no/such/dir/ZIZOD.INI"), "a", "b", "c"));
    if (geteuid() == 0) {
        GTEST_SKIP() << "root writes through any mode";
    }
    WriteFile(path_, "[a]\nb=old\n");
    chmod(path_.c_str(), 0444);
    EXPECT_FALSE(IniWrite(path_, "a", "b", "new"));
    EXPECT_EQ(IniRead(path_, "a", "b"), "old");
}

// Children write their own keys into one file at the same time; every key must survive.
TEST_F(IniFile, ConcurrentWritersInTwoProcessesLoseNothing) {
    constexpr int kWriters = 2, kKeys = 150;
    pid_t pids[kWriters];
    for (int w = 0; w < kWriters; ++w) {
        pids[w] = fork();
        ASSERT_GE(pids[w], 0);
        if (pids[w] == 0) {
            for (int k = 0; k < kKeys; ++k) {
                std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
                if (!IniWrite(path_, w == 0 ? "ZIZOD" : "Other", key, std::to_string(k))) {
                    _exit(1);
                }
            }
            _exit(0);
        }
    }
    for (pid_t pid : pids) {
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    for (int w = 0; w < kWriters; ++w) {
        for (int k = 0; k < kKeys; ++k) {
            std::string key = "W" + std::to_string(w) + "K" + std::to_string(k);
            ASSERT_EQ(IniRead(path_, w == 0 ? "ZIZOD" : "Other", key), std::to_string(k)) << key;
        }
    }
}

// A writer killed at random moments leaves either the old or the new file, never a torn one.
TEST_F(IniFile, WriterKilledAnywhereLeavesAWholeFile) {
    std::string filler(4000, 'f');
    IniBatch seed;
    for (int i = 0; i < 40; ++i) {
        seed.Set("ZIZOD", "Key" + std::to_string(i), filler);
    }
    ASSERT_TRUE(IniApply(path_, seed));
    int generation = 0;
    for (int round = 0; round < 30; ++round) {
        pid_t pid = fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            for (int g = generation + 1;; ++g) {
                IniBatch b;
                for (int i = 0; i < 40; ++i) {
                    b.Set("ZIZOD", "Key" + std::to_string(i), filler);
                }
                b.Set("ZIZOD", "Generation", std::to_string(g));
                IniApply(path_, b);
            }
        }
        usleep(static_cast<useconds_t>(1000 + (round * 7919) % 9000));
        kill(pid, SIGKILL);
        waitpid(pid, nullptr, 0);
        // Every key is there with its whole value, and the generation only moves forward.
        std::string text = ReadFile(path_);
        for (int i = 0; i < 40; ++i) {
            ASSERT_EQ(IniParseAndRead(text, "ZIZOD", "Key" + std::to_string(i)), filler)
                << "round " << round;
        }
        auto g = IniParseAndRead(text, "ZIZOD", "Generation");
        int now = g ? std::stoi(*g) : 0;
        ASSERT_GE(now, generation);
        generation = now;
    }
    // The lock is not left behind by a killed writer.
    EXPECT_TRUE(IniWrite(path_, "ZIZOD", "After", "1"));
}

}  // namespace
}  // namespace platform

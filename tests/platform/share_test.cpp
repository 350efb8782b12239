// Sharing modes over flock: which opens exclude which, deletes of held files, dispositions.
#include "platform/share.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "tests/support/temp_root.h"

namespace platform {
namespace {

using testsupport::TempRoot;

struct Mode {
    FileAccess access;
    FileShare share;
};

SharedOpenResult Open(const std::string& path, Mode m,
                      FileDisposition d = FileDisposition::kOpenExisting) {
    return OpenShared(path, m.access, m.share, d);
}

TEST(Share, WhichOpensExcludeWhich) {
    const Mode readAll{FileAccess::kRead, FileShare::kReadWrite};
    const Mode readDenyWrite{FileAccess::kRead, FileShare::kRead};
    const Mode writeShareRead{FileAccess::kReadWrite, FileShare::kRead};
    const Mode writeShareAll{FileAccess::kReadWrite, FileShare::kReadWrite};
    const Mode exclusive{FileAccess::kReadWrite, FileShare::kNone};
    struct Case {
        const char* name;
        Mode first, second;
        bool secondOpens;
    } cases[] = {
        {"reader beside an updater", writeShareRead, readAll, true},
        {"two updaters", writeShareRead, writeShareRead, false},
        {"updater beside a reader", readAll, writeShareRead, true},
        {"updater beside a write-denying reader", readDenyWrite, writeShareRead, false},
        {"two write-denying readers", readDenyWrite, readDenyWrite, true},
        {"sharing writers", writeShareAll, writeShareAll, true},
        {"updater beside a sharing writer", writeShareAll, writeShareRead, false},
        {"anything beside an exclusive holder but a plain reader", exclusive, readDenyWrite, false},
        {"plain reader beside an exclusive holder", exclusive, readAll, true},
    };
    TempRoot root;
    std::string path = root.Path("SMS.CTR");
    root.Write("SMS.CTR", "12345678");
    for (const Case& c : cases) {
        SharedOpenResult first = Open(path, c.first);
        ASSERT_TRUE(first.ok()) << c.name;
        SharedOpenResult second = Open(path, c.second);
        EXPECT_EQ(second.ok(), c.secondOpens) << c.name;
        if (!c.secondOpens) {
            EXPECT_EQ(second.error, FileOpenError::kSharingViolation) << c.name;
        }
        first.file.Close();
        second.file.Close();
        // Released: any mode opens again.
        EXPECT_TRUE(Open(path, c.second).ok()) << c.name;
    }
}

TEST(Share, Dispositions) {
    TempRoot root;
    const Mode update{FileAccess::kReadWrite, FileShare::kRead};
    std::string path = root.Path("f");
    EXPECT_EQ(Open(path, update).error, FileOpenError::kNotFound);
    EXPECT_EQ(Open(root.Path("no/such/dir/f"), update, FileDisposition::kOpenAlways).error,
              FileOpenError::kNotFound);
    EXPECT_TRUE(Open(path, update, FileDisposition::kOpenAlways).ok());
    EXPECT_TRUE(root.Exists("f"));
    EXPECT_EQ(Open(path, update, FileDisposition::kCreateNew).error, FileOpenError::kExists);

    root.Write("f", "content");
    EXPECT_TRUE(Open(path, update, FileDisposition::kOpenAlways).ok());
    EXPECT_EQ(root.Read("f"), "content");
    {
        // A file held by someone else is not emptied by a create that cannot lock it.
        SharedOpenResult held = Open(path, update);
        EXPECT_FALSE(Open(path, update, FileDisposition::kCreateAlways).ok());
        EXPECT_EQ(root.Read("f"), "content");
    }
    EXPECT_TRUE(Open(path, update, FileDisposition::kCreateAlways).ok());
    EXPECT_EQ(root.Read("f"), "");

    ASSERT_EQ(mkdir(root.Path("d").c_str(), 0775), 0);
    EXPECT_EQ(Open(root.Path("d"), {FileAccess::kRead, FileShare::kReadWrite}).error,
              FileOpenError::kOther);
    EXPECT_EQ(Open("", update).error, FileOpenError::kNotFound);
}

TEST(Share, Deletes) {
    TempRoot root;
    std::string path = root.Path("x.FLG");
    EXPECT_EQ(DeleteShared(path), DeleteResult::kMissing);
    root.Write("x.FLG", "1");
    struct Case {
        const char* name;
        Mode holder;
        DeleteResult result;
    } cases[] = {
        {"held without delete sharing (shared lock)",
         {FileAccess::kRead, FileShare::kRead},
         DeleteResult::kInUse},
        {"held by an updater", {FileAccess::kReadWrite, FileShare::kRead}, DeleteResult::kInUse},
        {"open by a plain reader",
         {FileAccess::kRead, FileShare::kReadWrite},
         DeleteResult::kDeleted},
    };
    for (const Case& c : cases) {
        root.Write("x.FLG", "1");
        SharedOpenResult held = Open(path, c.holder);
        ASSERT_TRUE(held.ok()) << c.name;
        EXPECT_EQ(DeleteShared(path), c.result) << c.name;
        EXPECT_EQ(root.Exists("x.FLG"), c.result != DeleteResult::kDeleted) << c.name;
    }
    ASSERT_EQ(mkdir(root.Path("d").c_str(), 0775), 0);
    EXPECT_EQ(DeleteShared(root.Path("d")), DeleteResult::kFailed);
    EXPECT_TRUE(root.Exists("d"));
    ASSERT_EQ(symlink(root.Path("d").c_str(), root.Path("link").c_str()), 0);
    EXPECT_EQ(DeleteShared(root.Path("link")), DeleteResult::kDeleted);
    EXPECT_TRUE(root.Exists("d"));
}

}  // namespace
}  // namespace platform

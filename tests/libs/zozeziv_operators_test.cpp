// The mobile-operator settings: a small database of our own, a broken one, the path override and,
// when it is installed, the real database.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "libs/zozeziv/operators.h"
#include "libs/zozeziv/zozeziv.h"
#include "tests/support/temp_root.h"

namespace {

using zozeziv::OperatorSettings;

const std::string kFixture = ZOZEZIV_TEST_DATA "/operators.xml";

// Points the database path somewhere for one test.
struct ScopedDatabase {
    explicit ScopedDatabase(const std::string& path) {
        ::setenv("ZELMOSMS_OPERATOR_DB", path.c_str(), 1);
    }
    ~ScopedDatabase() { ::unsetenv("ZELMOSMS_OPERATOR_DB"); }
};

TEST(OperatorSettings, ParsesTheMmsAccessPoints) {
    std::vector<OperatorSettings> list = zozeziv::LoadOperatorSettings(kFixture);
    ASSERT_EQ(list.size(), 3u);
    const OperatorSettings& a = list[0];
    EXPECT_EQ(a.country, "gb");
    EXPECT_EQ(a.provider, "Test Network");  // the name without a language wins
    EXPECT_EQ(a.accessPoint, "Test MMS");
    EXPECT_EQ(a.apn, "mms.test");
    EXPECT_EQ(a.username, "mmsuser");
    EXPECT_EQ(a.password, "secret");
    EXPECT_EQ(a.mmsProxy, "10.0.0.9:8080");
    EXPECT_EQ(a.mmsServerUrl, "http://mmsc.test/servlets/mms?a=1&b=2");

    EXPECT_EQ(list[1].country, "xx");
    EXPECT_EQ(list[1].provider, "Seulement");  // only names with a language: the first
    EXPECT_EQ(list[1].apn, "mms2");
    EXPECT_EQ(list[1].mmsServerUrl, "");
    EXPECT_EQ(list[2].apn, "both");  // an internet access point that names an MMS server
    EXPECT_EQ(list[2].mmsServerUrl, "http://both.example/mms");
}

TEST(OperatorSettings, BrokenOrMissingDatabaseGivesNoList) {
    std::vector<OperatorSettings> list;
    EXPECT_FALSE(zozeziv::ParseOperatorSettings(
        "<serviceproviders><country code='a'><provider><gsm><apn value='m'><usage type='mms'/>"
        "</apn></gsm>",
        &list));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(zozeziv::ParseOperatorSettings("not xml at all", &list));
    EXPECT_TRUE(zozeziv::ParseOperatorSettings("<serviceproviders/>", &list));
    EXPECT_TRUE(list.empty());

    testsupport::TempRoot root;
    {
        ScopedDatabase db(root.Path("missing.xml"));
        EXPECT_EQ(OperatorSettingsListAvailable(), 0);
    }
    root.Write("empty.xml", "<serviceproviders></serviceproviders>");
    {
        ScopedDatabase db(root.Path("empty.xml"));
        EXPECT_EQ(OperatorSettingsListAvailable(), 0);
    }
    {
        ScopedDatabase db(kFixture);
        EXPECT_EQ(zozeziv::OperatorDatabasePath(), kFixture);
        EXPECT_NE(OperatorSettingsListAvailable(), 0);
    }
    EXPECT_EQ(zozeziv::OperatorDatabasePath(), ZOZEZIV_OPERATOR_DB);
}

TEST(OperatorSettings, TheInstalledDatabase) {
    if (::access(ZOZEZIV_OPERATOR_DB, R_OK) != 0) {
        GTEST_SKIP() << "mobile-broadband-provider-info is not installed";
    }
    std::vector<OperatorSettings> list = zozeziv::LoadOperatorSettings(ZOZEZIV_OPERATOR_DB);
    EXPECT_GT(list.size(), 100u);
    std::size_t withServer = 0;
    for (const auto& o : list) {
        EXPECT_FALSE(o.apn.empty() && o.mmsServerUrl.empty());
        EXPECT_FALSE(o.country.empty());
        withServer += o.mmsServerUrl.rfind("http", 0) == 0;
    }
    EXPECT_GT(withServer, list.size() / 2);
    EXPECT_NE(OperatorSettingsListAvailable(), 0);
}

}  // namespace

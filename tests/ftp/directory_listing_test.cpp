#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <set>
#include <string>

#include "cftp_session.h"
#include "platform/files/vb_error.h"

namespace {

using ftptest::Bytes;
using ftptest::FtpEnvironment;
using ftptest::Kind;
using ftptest::ServerCase;
using testsupport::TempPrefix;
namespace fs = std::filesystem;

const ServerCase kPyftpdMlsd{Kind::Pyftpdlib, true, true, "PyftpdMlsd"};
const ServerCase kPyftpdList{Kind::Pyftpdlib, false, false, "PyftpdList"};

// The server formats its listing times in UTC; with the client in UTC as well a listed time
// reads back unchanged.
struct UtcScope : ftptest::ZoneScope {
    UtcScope() : ZoneScope("UTC") {}
};

class DirectoryListing : public testing::TestWithParam<ServerCase> {
  protected:
    void SetUp() override {
        if (!env.Start(GetParam())) GTEST_SKIP() << "server not installed";
        ASSERT_TRUE(env.Open()) << env.ftp.GetLastErrorMessage();
    }
    UtcScope utc;
    FtpEnvironment env;
};

TEST_P(DirectoryListing, ListsEntriesWithFlagsSizesAndNames) {
    TempPrefix::WriteFile(env.Remote("alpha.bin"), Bytes(1234));
    TempPrefix::WriteFile(env.Remote("with space.txt"), "hello");
    fs::create_directories(env.Remote("Folder"));

    const auto list = env.ftp.GetDirectoryListing("*");
    ASSERT_NE(list, nullptr) << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(list, env.ftp.Directory());
    ASSERT_EQ(list->Count(), 3);

    std::set<std::string> names;
    std::int32_t position = 0;
    for (const auto& item : *list) {
        names.insert(item->Filename);
        EXPECT_EQ(list->Item(++position), item);
    }
    EXPECT_EQ(names, (std::set<std::string>{"alpha.bin", "with space.txt", "Folder"}));

    const auto alpha = list->Item("ALPHA.BIN");
    EXPECT_EQ(alpha->Filename, "alpha.bin");
    EXPECT_EQ(alpha->FileSize, 1234);
    EXPECT_FALSE(alpha->Directory);
    EXPECT_EQ(list->Item("With Space.TXT")->FileSize, 5);

    const auto folder = list->Item("folder");
    EXPECT_TRUE(folder->Directory);
    EXPECT_FALSE(folder->ReadOnly || folder->Hidden || folder->System || folder->Archive ||
                 folder->Normal || folder->Temporary || folder->Compressed || folder->Offline);
}

TEST_P(DirectoryListing, LastWriteTimeIsTheFilesTime) {
    TempPrefix::WriteFile(env.Remote("dated.bin"), "x");
    // Three days ago on a whole minute: recent enough for a Unix listing to show the time of day.
    const auto when = std::chrono::floor<std::chrono::minutes>(std::chrono::system_clock::now() -
                                                               std::chrono::hours(72));
    const std::time_t seconds = std::chrono::system_clock::to_time_t(when);
    fs::last_write_time(env.Remote("dated.bin"),
                        std::chrono::file_clock::from_sys(
                            std::chrono::time_point_cast<std::chrono::nanoseconds>(when)));

    const auto list = env.ftp.GetDirectoryListing("dated.bin");
    ASSERT_NE(list, nullptr) << env.ftp.GetLastErrorMessage();
    ASSERT_EQ(list->Count(), 1);
    const double expected = static_cast<double>(seconds) / 86400.0 + 25569.0;  // 1970-01-01
    EXPECT_NEAR(list->Item(1)->LastWriteTime, expected, 1.0 / 1440.0 + 1e-9);
}

TEST_P(DirectoryListing, NoMatchGivesNoListAndRecordsNothing) {
    TempPrefix::WriteFile(env.Remote("one.bin"), "1");
    ASSERT_NE(env.ftp.GetDirectoryListing("*"), nullptr);
    const auto previous = env.ftp.Directory();

    EXPECT_EQ(env.ftp.GetDirectoryListing("nothing*.zip"), nullptr);
    EXPECT_EQ(env.ftp.GetLastErrorMessage(), "");
    EXPECT_EQ(env.ftp.Directory()->Count(), 0);
    // A caller that kept the earlier list keeps it as it was.
    EXPECT_EQ(previous->Count(), 1);
    EXPECT_NE(env.ftp.Directory(), previous);
}

INSTANTIATE_TEST_SUITE_P(Servers, DirectoryListing, testing::ValuesIn(ftptest::AllServerCases()),
                         ftptest::CaseName);

TEST(DirectoryListingFaults, EntryOf5000000000BytesKeepsItsLow32Bits) {
    for (const ServerCase& c : {kPyftpdMlsd, kPyftpdList}) {
        FtpEnvironment env;
        if (!env.Start(c, "big-listing-entry", "big.bin"))
            GTEST_SKIP() << "pyftpdlib not installed";
        ASSERT_TRUE(env.Open());
        TempPrefix::WriteFile(env.Remote("big.bin"), "small really");
        const auto list = env.ftp.GetDirectoryListing("big.bin");
        ASSERT_NE(list, nullptr) << c.name << ": " << env.ftp.GetLastErrorMessage();
        EXPECT_EQ(list->Item("big.bin")->FileSize, 705032704) << c.name;
    }
}

TEST(DirectoryListingFaults, NamesDifferingOnlyInCaseRaiseTheDuplicateKeyError) {
    FtpEnvironment env;
    if (!env.Start(kPyftpdMlsd)) GTEST_SKIP() << "pyftpdlib not installed";
    ASSERT_TRUE(env.Open());
    TempPrefix::WriteFile(env.Remote("Twin.txt"), "1");
    TempPrefix::WriteFile(env.Remote("twin.TXT"), "2");
    try {
        env.ftp.GetDirectoryListing("*");
        FAIL() << "no error raised";
    } catch (const VbError& error) {
        EXPECT_EQ(error.Number, 457);
    }
    // The first twin was kept; the find handle is closed, so the connection takes commands.
    EXPECT_EQ(env.ftp.Directory()->Count(), 1);
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/") << env.ftp.GetLastErrorMessage();
}

}  // namespace

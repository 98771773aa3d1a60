// The install folder on Linux: no write bits for group and others, no link on the way.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/security/security.h"
#include "support/prefix.h"

namespace {

namespace fs = std::filesystem;

TEST(AdminFolder, TakesAwayOtherUsersWriteAccess) {
    testsupport::TempPrefix prefix;
    const fs::path folder = prefix.Host("C:\\Quorimetra\\Install");
    fs::create_directories(folder);
    fs::permissions(folder, fs::perms::all);

    security::AdminFolder guard;
    EXPECT_EQ(guard.Secure("C:\\Quorimetra\\Install"), "");
    struct stat info {};
    ASSERT_EQ(::stat(folder.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0755u);
}

TEST(AdminFolder, RefusesALinkOnTheWay) {
    testsupport::TempPrefix prefix;
    const fs::path elsewhere = prefix.DriveC() / "elsewhere";
    fs::create_directories(elsewhere / "Install");
    fs::permissions(elsewhere / "Install", fs::perms::all);
    fs::create_directory_symlink(elsewhere, prefix.DriveC() / "Quorimetra");

    security::AdminFolder guard;
    EXPECT_EQ(guard.Secure("C:\\Quorimetra\\Install"), security::LinkRefusedText("C:\\Quorimetra"));
    EXPECT_EQ(fs::status(elsewhere / "Install").permissions(), fs::perms::all);
}

}  // namespace

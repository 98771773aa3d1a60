#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "support/error_number.h"
#include "support/prefix.h"
#include "support/unprivileged.h"

namespace fs = std::filesystem;
using testsupport::ErrorNumber;
using testsupport::TempPrefix;

TEST(Dir, FindsFilesByWildcardWithoutRegardToCase) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "Install" / "mysql.bat", "x");
    TempPrefix::WriteFile(prefix.DriveC() / "Install" / "README", "x");
    fs::create_directories(prefix.DriveC() / "Install" / "Temporary Directory 1");

    EXPECT_EQ(files::Dir("C:\\install\\MYSQL.BAT"), "mysql.bat");
    EXPECT_EQ(files::Dir("C:\\Install\\*.BAT"), "mysql.bat");
    EXPECT_EQ(files::Dir("C:\\Install\\my?ql.*"), "mysql.bat");
    EXPECT_EQ(files::Dir("C:\\Install\\readme.*"), "README");  // ".*" also matches no extension
    EXPECT_EQ(files::Dir("C:\\Install\\*.msi"), "");
    EXPECT_EQ(files::Dir("C:\\Install\\m?ysql.bat"), "");
}

TEST(Dir, FoldersOnlyWithDirectoryAttribute) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Install" / "Temporary Directory 1");
    EXPECT_EQ(files::Dir("C:\\Install\\Temporary Directory*"), "");
    EXPECT_EQ(files::Dir("C:\\Install\\Temporary Directory*", files::vbDirectory),
              "Temporary Directory 1");
    EXPECT_EQ(files::Dir("C:\\Install", files::vbDirectory), "Install");
    EXPECT_EQ(files::Dir("C:\\Install"), "");
}

TEST(Dir, MissingFolderIsNoMatchNotAnError) {
    TempPrefix prefix;
    EXPECT_EQ(files::Dir("C:\\Nowhere\\At\\All\\*.*"), "");
    EXPECT_EQ(files::Dir("C:\\Nowhere\\file.txt"), "");
}

TEST(FileCopy, ReplacesDestinationAndLeavesNoTemporaryFile) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.appDir / "kelvoranX.zip", "new contents");
    TempPrefix::WriteFile(prefix.DriveC() / "Install" / "KELVORANX.ZIP", "old and longer contents");
    files::FileCopy(files::AppPath() + "\\kelvoranx.zip", "C:\\Install\\kelvoranX.zip");

    // The existing file is found without regard to case and replaced in place.
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "Install" / "KELVORANX.ZIP"), "new contents");
    EXPECT_EQ(std::distance(fs::directory_iterator(prefix.DriveC() / "Install"),
                            fs::directory_iterator()),
              1);
}

TEST(FileCopy, ReportsMissingSourceFolderAsSourceAndMissingTargetFolder) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.appDir / "a.dll", "x");
    fs::create_directories(prefix.appDir / "folder");
    EXPECT_EQ(
        ErrorNumber([&] { files::FileCopy(files::AppPath() + "\\missing.dll", "C:\\a.dll"); }), 53);
    EXPECT_EQ(ErrorNumber([&] { files::FileCopy(files::AppPath() + "\\folder", "C:\\a.dll"); }),
              53);
    EXPECT_EQ(ErrorNumber([&] {
                  files::FileCopy(files::AppPath() + "\\a.dll",
                                  "C:\\Program Files\\Common Files\\microsoft shared\\DAO\\a.dll");
              }),
              76);
    EXPECT_FALSE(fs::exists(prefix.DriveC() / "a.dll"));
}

TEST(FileCopy, UnwritableFolderIsPermissionDenied) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.appDir / "a.dll", "x");
    fs::create_directories(prefix.DriveC() / "locked");
    testsupport::RunUnprivileged({prefix.root, prefix.appDir}, [&] {
        fs::permissions(prefix.DriveC() / "locked", fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(ErrorNumber(
                      [&] { files::FileCopy(files::AppPath() + "\\a.dll", "C:\\locked\\a.dll"); }),
                  70);
        fs::permissions(prefix.DriveC() / "locked", fs::perms::owner_all);
    });
}

TEST(Kill, DeletesMatchingFilesButNeverFolders) {
    TempPrefix prefix;
    const fs::path temp = prefix.DriveC() / "users" / files::UserName() / "Temp";
    TempPrefix::WriteFile(temp / "Temporary Directory 1 for x.zip", "x");
    TempPrefix::WriteFile(temp / "temporary directory 2", "x");
    TempPrefix::WriteFile(temp / "keep.txt", "x");
    fs::create_directories(temp / "Temporary Directory 3");

    files::Kill(files::Environ("Temp") + "\\Temporary Directory*");
    EXPECT_FALSE(fs::exists(temp / "Temporary Directory 1 for x.zip"));
    EXPECT_FALSE(fs::exists(temp / "temporary directory 2"));
    EXPECT_TRUE(fs::exists(temp / "keep.txt"));
    EXPECT_TRUE(fs::is_directory(temp / "Temporary Directory 3"));
    // Only the folder is left matching: nothing to delete is an error.
    EXPECT_EQ(ErrorNumber([&] { files::Kill(files::Environ("Temp") + "\\Temporary Directory*"); }),
              53);
}

TEST(Kill, SingleFileByPathAndMissingOne) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "Install" / "mysql.bat", "x");
    files::Kill("C:\\INSTALL\\MySql.bat");
    EXPECT_FALSE(fs::exists(prefix.DriveC() / "Install" / "mysql.bat"));
    EXPECT_EQ(ErrorNumber([&] { files::Kill("C:\\Install\\mysql.bat"); }), 53);
    EXPECT_EQ(ErrorNumber([&] { files::Kill("C:\\NoFolder\\*.*"); }), 53);
}

TEST(RuntimeError, EveryFailureBecomesOneNumberedText) {
    EXPECT_EQ(vberr::Text(vberr::Make(vberr::FileNotFound)), "Error 53: File not found");
    const std::filesystem::filesystem_error system("cannot copy", std::error_code());
    EXPECT_EQ(vberr::From(system).Number, vberr::PathFileAccess);
    EXPECT_EQ(vberr::Text(std::runtime_error("broken")), "Error 51: broken");
}

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>

#include "platform/files/files.h"
#include "support/prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

TEST(ToHostPath, MatchesExistingComponentsWithoutRegardToCase) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Quorimetra" / "Install");
    EXPECT_EQ(files::ToHostPath("C:\\QUORIMETRA\\install\\mysql.ZIP"),
              prefix.DriveC() / "Quorimetra" / "Install" / "mysql.ZIP");
    // Missing components keep the case given; forward slashes and doubled separators are fine.
    EXPECT_EQ(files::ToHostPath("c:/quorimetra//Novo/Sub"),
              prefix.DriveC() / "Quorimetra" / "Novo" / "Sub");
}

TEST(ToHostPath, PicksFirstSortedMatchWhenSeveralDifferOnlyInCase) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "data");
    fs::create_directories(prefix.DriveC() / "Data");
    fs::create_directories(prefix.DriveC() / "DATA");
    EXPECT_EQ(files::ToHostPath("C:\\dAtA"), prefix.DriveC() / "DATA");
    EXPECT_EQ(files::ToHostPath("C:\\data"), prefix.DriveC() / "data");  // exact name wins
}

TEST(ToHostPath, FoldsLatinLettersOfUtf8Names) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Instalação");
    EXPECT_EQ(files::ToHostPath("C:\\INSTALAÇÃO\\x"), prefix.DriveC() / "Instalação" / "x");
}

TEST(ToHostPath, DotsAreTakenLexicallyAndStopAtTheDriveRoot) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Quorimetra" / "Install");
    EXPECT_EQ(files::ToHostPath("C:\\Missing\\..\\quorimetra\\.\\INSTALL"),
              prefix.DriveC() / "Quorimetra" / "Install");
    EXPECT_EQ(files::ToHostPath("C:\\..\\..\\windows"), prefix.DriveC() / "windows");
}

TEST(ToHostPath, DriveLettersFollowDosdevicesLinks) {
    TempPrefix prefix;
    const fs::path elsewhere = prefix.root / "elsewhere";
    fs::create_directories(elsewhere / "Sub");
    fs::create_directories(prefix.root / "dosdevices");
    fs::create_directory_symlink(elsewhere, prefix.root / "dosdevices" / "d:");
    EXPECT_EQ(files::ToHostPath("D:\\sub\\f.txt"), fs::canonical(elsewhere) / "Sub" / "f.txt");
    EXPECT_EQ(files::ToHostPath("Z:\\tmp"), fs::path("/tmp"));
    try {
        files::ToHostPath("Q:\\anything");
        FAIL() << "an unknown drive resolved";
    } catch (const VbError& e) {
        EXPECT_EQ(e.Number, 76);
        EXPECT_EQ(e.Description, "Path not found");
    }
}

TEST(ToWindowsPath, NamesDriveCAndEverythingElseAsZ) {
    TempPrefix prefix;
    fs::create_directories(prefix.DriveC() / "Quorimetra");
    EXPECT_EQ(files::ToWindowsPath(prefix.DriveC() / "Quorimetra" / "a.txt"),
              "C:\\Quorimetra\\a.txt");
    EXPECT_EQ(files::ToWindowsPath(prefix.DriveC()), "C:\\");
    EXPECT_EQ(files::ToWindowsPath("/usr/share"), "Z:\\usr\\share");
    EXPECT_EQ(files::ToHostPath(files::ToWindowsPath(prefix.appDir)), fs::canonical(prefix.appDir));
}

TEST(Environ, LooksUpNamesWithoutRegardToCaseAndSuppliesDefaults) {
    TempPrefix prefix;
    const std::string user = files::UserName();
    EXPECT_EQ(files::Environ("windir"), "C:\\windows");
    EXPECT_EQ(files::Environ("WINDIR"), "C:\\windows");
    EXPECT_EQ(files::Environ("CommonProgramFiles"), "C:\\Program Files\\Common Files");
    EXPECT_EQ(files::Environ("Temp"), "C:\\users\\" + user + "\\Temp");
    EXPECT_EQ(files::Environ("kv_surely_unset_variable"), "");

    ::setenv("WinDir", "D:\\Win", 1);
    ::setenv("KV_Mixed_Case", "value", 1);
    EXPECT_EQ(files::Environ("windir"), "D:\\Win");
    EXPECT_EQ(files::Environ("kv_mixed_CASE"), "value");
    ::unsetenv("WinDir");
    ::unsetenv("KV_Mixed_Case");
}

TEST(TempPrefix, UnsetsDefaultedVariablesAndRestoresThem) {
    ::setenv("TEMP", "/host/temp", 1);
    {
        TempPrefix prefix;
        EXPECT_EQ(::getenv("TEMP"), nullptr);
        EXPECT_EQ(fs::path(::getenv("WINEPREFIX")), prefix.root);
        EXPECT_TRUE(fs::is_directory(prefix.DriveC() / "windows" / "System32"));
    }
    ASSERT_NE(::getenv("TEMP"), nullptr);
    EXPECT_STREQ(::getenv("TEMP"), "/host/temp");
    ::unsetenv("TEMP");
}

TEST(AppPath, IsTheProgramFolderAsZPathWithoutTrailingSeparator) {
    {
        TempPrefix prefix;
        EXPECT_EQ(files::AppPath(), files::ToWindowsPath(prefix.appDir));
        EXPECT_EQ(files::AppPath().rfind("Z:\\", 0), 0u);
        files::SetAppPathForTesting("/");
        EXPECT_EQ(files::AppPath(), "Z:");
    }
    const fs::path exe = fs::read_symlink("/proc/self/exe");
    EXPECT_EQ(files::ToHostPath(files::AppPath()), exe.parent_path());
}

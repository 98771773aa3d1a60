// Folder creation: every missing folder of a path, parent before child, nothing reported.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "install/Module1.h"
#include "platform/files/files.h"
#include "support/prefix.h"

namespace {

namespace fs = std::filesystem;

class FolderCreation : public ::testing::Test {
  protected:
    testsupport::TempPrefix prefix;
    fs::path C(const std::string& relative) const { return prefix.DriveC() / relative; }
};

// Each level can only be made once its parent exists, so a deep tree made from nothing shows
// that the calls go from the drive down.
TEST_F(FolderCreation, CreatesEveryLevelFromTheDriveDown) {
    CriaDiretorio("C:\\Quorimetra\\Kelvoran\\a\\b");
    EXPECT_TRUE(fs::is_directory(C("Quorimetra/Kelvoran/a/b")));
}

TEST_F(FolderCreation, TrailingSeparatorMakesTheSameFolders) {
    const std::string path = "C:\\Quorimetra\\Install\\";
    CriaDiretorio(path);
    EXPECT_EQ(path, "C:\\Quorimetra\\Install\\");
    EXPECT_TRUE(fs::is_directory(C("Quorimetra/Install")));
    // No empty-named or doubled entry was made below the last level.
    EXPECT_TRUE(fs::is_empty(C("Quorimetra/Install")));
    EXPECT_EQ(std::distance(fs::directory_iterator(C("Quorimetra")), fs::directory_iterator()), 1);
}

TEST_F(FolderCreation, ExistingFoldersInAnyCaseAreReusedAndKept) {
    fs::create_directories(C("QUORIMETRA"));
    testsupport::TempPrefix::WriteFile(C("QUORIMETRA/keep.txt"), "kept");
    CriaDiretorio("C:\\Quorimetra\\Install");
    EXPECT_TRUE(fs::is_directory(C("QUORIMETRA/Install")));
    int named = 0;
    for (const auto& entry : fs::directory_iterator(prefix.DriveC())) {
        if (files::FoldCase(entry.path().filename().string()) == "quorimetra") ++named;
    }
    EXPECT_EQ(named, 1);
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(C("QUORIMETRA/keep.txt")), "kept");

    // All of it exists now: a second call changes nothing and reports nothing.
    CriaDiretorio("C:\\Quorimetra\\Install");
    EXPECT_TRUE(fs::is_empty(C("QUORIMETRA/Install")));
}

TEST_F(FolderCreation, FileInTheWayStopsTheRestSilently) {
    testsupport::TempPrefix::WriteFile(C("Quorimetra"), "a file");
    EXPECT_NO_THROW(CriaDiretorio("C:\\Quorimetra\\Kelvoran\\bin"));
    EXPECT_TRUE(fs::is_regular_file(C("Quorimetra")));
    EXPECT_EQ(testsupport::TempPrefix::ReadFile(C("Quorimetra")), "a file");
}

}  // namespace

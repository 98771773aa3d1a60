#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/shell.h"
#include "support/prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

TEST(FileSystemObject, TellsFoldersFromFilesWithoutRegardToCase) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "Quorimetra" / "Install" / "mysql.zip", "x");
    shell::FileSystemObject fso;
    EXPECT_TRUE(fso.folderexists("C:\\quorimetra\\INSTALL"));
    EXPECT_TRUE(fso.folderexists("C:\\Quorimetra\\Install\\"));
    EXPECT_FALSE(fso.folderexists("C:\\Quorimetra\\Install\\mysql.zip"));
    EXPECT_TRUE(fso.FileExists("C:\\Quorimetra\\Install\\MYSQL.ZIP"));
    EXPECT_FALSE(fso.FileExists("C:\\Quorimetra\\Install"));
    EXPECT_FALSE(fso.FileExists("C:\\Quorimetra\\Install\\absent.zip"));
    EXPECT_FALSE(fso.folderexists("Q:\\unknown drive"));
}

TEST(RealFolder, ItemsAreNamesInOrderAndCopyHereCopiesFoldersWhole) {
    TempPrefix prefix;
    const fs::path source = prefix.DriveC() / "src";
    TempPrefix::WriteFile(source / "b.txt", "b");
    TempPrefix::WriteFile(source / "A.txt", "a");
    TempPrefix::WriteFile(source / "sub" / "deep" / "c.txt", "c");
    fs::create_directories(prefix.DriveC() / "dst");
    TempPrefix::WriteFile(prefix.DriveC() / "dst" / "b.txt", "old");

    shell::ShellApplication app;
    auto from = app.NameSpace("C:\\src");
    ASSERT_NE(from, nullptr);
    std::vector<std::string> names;
    for (const auto& item : from->Items()) names.push_back(item.Name);
    EXPECT_EQ(names, (std::vector<std::string>{"A.txt", "b.txt", "sub"}));

    app.NameSpace("C:\\dst")->CopyHere(from->Items());
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "dst" / "b.txt"), "b");
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "dst" / "sub" / "deep" / "c.txt"), "c");
    EXPECT_EQ(TempPrefix::ReadFile(prefix.DriveC() / "dst" / "A.txt"), "a");
}

TEST(RealFolder, CopyingAFolderIntoItselfIsRefused) {
    TempPrefix prefix;
    TempPrefix::WriteFile(prefix.DriveC() / "src" / "inner" / "x.txt", "x");
    shell::ShellApplication app;
    auto top = app.NameSpace("C:\\");
    shell::FolderItems items;
    for (const auto& item : top->Items()) {
        if (item.Name == "src") items.entries.push_back(item);
    }
    ASSERT_EQ(items.Count(), 1);
    EXPECT_THROW(app.NameSpace("C:\\src\\inner")->CopyHere(items), VbError);
    EXPECT_FALSE(fs::exists(prefix.DriveC() / "src" / "inner" / "src"));
}

TEST(IsSafeEntryName, AcceptsRelativeNamesAndRefusesEverythingThatClimbsOrIsOdd) {
    for (const char* name : {"a.txt", "dir/", "dir/sub/file.dll", "dir\\file", "..a", "a..",
                             "Instalação/leia-me.txt", "a//b"}) {
        EXPECT_TRUE(shell::IsSafeEntryName(name)) << name;
    }
    for (const std::string& name :
         {std::string(""), std::string("/etc/passwd"), std::string("\\windows"), std::string(".."),
          std::string("../x"), std::string("a/../../x"), std::string("a\\..\\x"),
          std::string("./x"), std::string("C:x"), std::string("C:\\x"), std::string("a:b"),
          std::string("... "), std::string("a/. ./b"), std::string("tab\there"),
          std::string("nul\0x", 5), std::string("del\x7f")}) {
        EXPECT_FALSE(shell::IsSafeEntryName(name)) << name;
    }
}

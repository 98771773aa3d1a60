#include <gtest/gtest.h>
#include <stdio.h>
#include <sys/wait.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/shell/product_shortcut.h"
#include "platform/shell/shell.h"
#include "support/prefix.h"

namespace fs = std::filesystem;
using shelltest::ProductShortcut;
using shelltest::U32At;
using testsupport::TempPrefix;

namespace {

// What lnkinfo prints for a file, or nothing when the tool is not installed.
std::string LnkInfo(const fs::path& file) {
    if (!fs::exists("/usr/bin/lnkinfo")) return "";
    const std::string command = "/usr/bin/lnkinfo '" + file.string() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) return "";
    std::string out;
    char buffer[4096];
    std::size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    ::pclose(pipe);
    return out;
}

}  // namespace

TEST(WshShell, DesktopIsTheUsersFolderAndIsCreated) {
    TempPrefix prefix;
    fs::remove_all(prefix.DriveC() / "users" / files::UserName() / "Desktop");
    shell::WshShell wsh;
    EXPECT_EQ(wsh.SpecialFolders("Desktop"), "C:\\users\\" + files::UserName() + "\\Desktop");
    EXPECT_TRUE(fs::is_directory(prefix.DriveC() / "users" / files::UserName() / "Desktop"));
    EXPECT_EQ(wsh.SpecialFolders("Favorites"), "");
    EXPECT_THROW(wsh.CreateShortcut("C:\\x.txt"), VbError);
}

TEST(WshShortcut, ProductShortcutReadsBackThroughLnkinfo) {
    TempPrefix prefix;
    shell::WshShell wsh;
    const std::string path = wsh.SpecialFolders("Desktop") + "\\kelvoran X.lnk";
    auto created = wsh.CreateShortcut(path);
    EXPECT_EQ(created->FullName, path);
    ProductShortcut(path).Save();

    const fs::path host =
        prefix.DriveC() / "users" / files::UserName() / "Desktop" / "kelvoran X.lnk";
    ASSERT_TRUE(fs::is_regular_file(host));
    const std::string info = LnkInfo(host);
    if (info.empty()) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    EXPECT_NE(info.find("Local path\t\t\t: C:\\Quorimetra\\Kelvoran\\kelvoranX.exe\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Working directory\t\t: C:\\Quorimetra\\Kelvoran\\\n"), std::string::npos)
        << info;
    EXPECT_NE(info.find("Description\t\t\t: kelvoran X\n"), std::string::npos) << info;
    EXPECT_EQ(info.find("Command line arguments"), std::string::npos) << info;
    EXPECT_EQ(info.find("Icon location"), std::string::npos) << info;
}

TEST(WshShortcut, SavingTwiceLeavesOneIdenticalFile) {
    TempPrefix prefix;
    const fs::path desktop = prefix.DriveC() / "users" / files::UserName() / "Desktop";
    const std::string path = "C:\\users\\" + files::UserName() + "\\Desktop\\kelvoran X.lnk";
    ProductShortcut(path).Save();
    const std::string first = TempPrefix::ReadFile(desktop / "kelvoran X.lnk");
    ProductShortcut(path).Save();
    EXPECT_EQ(TempPrefix::ReadFile(desktop / "kelvoran X.lnk"), first);
    EXPECT_EQ(std::distance(fs::directory_iterator(desktop), fs::directory_iterator()), 1);
}

TEST(WshShortcut, SaveIntoMissingFolderIsPathNotFound) {
    TempPrefix prefix;
    try {
        ProductShortcut("C:\\no\\such\\folder\\x.lnk").Save();
        FAIL() << "saved into a missing folder";
    } catch (const VbError& e) {
        EXPECT_EQ(e.Number, 76);
    }
}

TEST(BuildShellLink, EmptyWorkingFolderAndArgumentsAreLeftOut) {
    TempPrefix prefix;
    auto link = ProductShortcut("C:\\a.lnk");
    link.WorkingDirectory = "";
    link.Arguments = "-modo \"sem janela\"";
    link.Save();
    const auto bytes = shell::BuildShellLink(link);
    EXPECT_EQ(U32At(bytes, 0x14), 0x02u | 0x04u | 0x20u | 0x80u);
    const std::string info = LnkInfo(prefix.DriveC() / "a.lnk");
    if (info.empty()) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    EXPECT_EQ(info.find("Working directory"), std::string::npos) << info;
    EXPECT_NE(info.find("Command line arguments\t\t: -modo \"sem janela\"\n"), std::string::npos)
        << info;
}

TEST(BuildShellLink, NonAsciiTextSurvivesInUnicode) {
    TempPrefix prefix;
    auto link = ProductShortcut("C:\\b.lnk");
    link.TargetPath = "C:\\Programas\\Instalação\\app.exe";
    link.Description = "Configuração";
    link.Save();
    const std::string info = LnkInfo(prefix.DriveC() / "b.lnk");
    if (info.empty()) GTEST_SKIP() << "lnkinfo (liblnk-utils) is not installed";
    EXPECT_NE(info.find("Local path\t\t\t: C:\\Programas\\Instalação\\app.exe\n"),
              std::string::npos)
        << info;
    EXPECT_NE(info.find("Description\t\t\t: Configuração\n"), std::string::npos) << info;
}

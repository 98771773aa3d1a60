// Shell() and the prefix set-up are checked through a stand-in "wine" on PATH that records
// what it was given.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "support/error_number.h"
#include "support/prefix.h"
#include "support/wine_stand_in.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;
using testsupport::WineStandIn;

namespace {

void WaitFor(double pid) {
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(30)), std::optional<int>(0));
}

int ShellError(const std::string& line) {
    return testsupport::ErrorNumber([&] { files::Shell(line, files::vbHide); });
}

}  // namespace

TEST(Shell, BatchFileRunsThroughWineCmdHiddenWithSamePrefix) {
    TempPrefix prefix;
    WineStandIn wine;
    TempPrefix::WriteFile(prefix.DriveC() / "Quorimetra" / "Install" / "mysql.bat",
                          "@echo off\r\n");
    // A descriptor of ours without close-on-exec must still not reach the program.
    // (A high number: the recording script's own pipes take the low ones.)
    const int opened = ::open("/dev/null", O_RDONLY);
    ASSERT_GE(opened, 0);
    const int leaked = ::dup2(opened, 57);
    ::close(opened);
    ASSERT_EQ(leaked, 57);

    WaitFor(files::Shell("C:\\QUORIMETRA\\Install\\mysql.bat", files::vbHide));
    ::close(leaked);

    const auto argv = wine.Latest("argv");
    EXPECT_EQ(argv, (std::vector<std::string>{"cmd", "/c", "C:\\Quorimetra\\Install\\mysql.bat"}));
    EXPECT_EQ(wine.Latest("prefix"), std::vector<std::string>{prefix.root.string()});
    for (const auto& fd : wine.Latest("fds")) EXPECT_NE(fd, std::to_string(leaked));
}

TEST(Shell, RegistrationToolGetsItsArgumentsSplitTheWindowsWay) {
    TempPrefix prefix;
    WineStandIn wine;
    WaitFor(files::Shell("regsvr32 /s \"C:\\windows\\System32\\COMDLG32.OCX\"",
                         files::vbMinimizedFocus));
    EXPECT_EQ(wine.Latest("argv"),
              (std::vector<std::string>{"regsvr32", "/s", "C:\\windows\\System32\\COMDLG32.OCX"}));
}

// Whatever the window style, the program's output and errors land in the log in Temp, each
// start under a line that names it.
TEST(Shell, ProgramOutputGoesToTheLogInTemp) {
    TempPrefix prefix;
    WineStandIn wine;
    WaitFor(files::Shell("regsvr32 /s x.ocx", files::vbMinimizedFocus));
    WaitFor(files::Shell("cmd /c y", files::vbHide));

    const fs::path log =
        prefix.Host("C:\\users\\" + files::UserName() + "\\Temp") / "instalador-programas.log";
    EXPECT_EQ(files::StartedProgramsLog(), log);
    EXPECT_EQ(wine.Latest("stdout"), std::vector<std::string>{log.string()});
    const std::string text = TempPrefix::ReadFile(log);
    const auto first =
        text.find("regsvr32 /s x.ocx\nfixme: said by regsvr32\nerr: also by regsvr32\n");
    const auto second = text.find("cmd /c y\nfixme: said by cmd\nerr: also by cmd\n");
    EXPECT_NE(first, std::string::npos) << text;
    EXPECT_NE(second, std::string::npos) << text;
    EXPECT_EQ(text.rfind("--- ", first), 0u) << text;
}

TEST(Shell, QuotingRulesOfWindowsCommandLines) {
    TempPrefix prefix;
    WineStandIn wine;
    WaitFor(files::Shell(R"(tool a\\"b c" d\"e "f""g" "" \\server)", files::vbHide));
    EXPECT_EQ(wine.Latest("argv"),
              (std::vector<std::string>{"tool", "a\\b c", "d\"e", "f\"g", "", "\\\\server"}));
}

TEST(Shell, ProgramPathWithBlanksIsQuotedFirstPart) {
    TempPrefix prefix;
    WineStandIn wine;
    TempPrefix::WriteFile(prefix.DriveC() / "Program Files" / "App" / "app.exe", "MZ");
    WaitFor(files::Shell("\"C:\\Program Files\\app\\APP.EXE\" -x", files::vbHide));
    EXPECT_EQ(wine.Latest("argv"),
              (std::vector<std::string>{
                  (prefix.DriveC() / "Program Files" / "App" / "app.exe").string(), "-x"}));
}

TEST(Shell, MissingProgramOrMissingWineIsFileNotFound) {
    TempPrefix prefix;
    {
        WineStandIn wine;
        EXPECT_EQ(ShellError("C:\\Quorimetra\\Install\\mysql.bat"), 53);
        EXPECT_EQ(ShellError("Q:\\nodrive\\x.exe"), 53);
    }
    if (fs::exists("/usr/lib/wine/wine64")) GTEST_SKIP() << "a real Wine is installed";
    WineStandIn noWine(WineStandIn::Presence::Missing);
    TempPrefix::WriteFile(prefix.DriveC() / "mysql.bat", "x");
    EXPECT_EQ(ShellError("C:\\mysql.bat"), 53);
    EXPECT_EQ(ShellError("regsvr32 /s x"), 53);
}

// A program that ends is reaped at once, with no later start needed: no zombie stays behind.
TEST(Shell, ReapsAProgramWhenItEnds) {
    TempPrefix prefix;
    WineStandIn wine;
    const double pid = files::Shell("regsvr32 one", files::vbHide);
    const fs::path proc = "/proc/" + std::to_string(static_cast<pid_t>(pid));
    for (int i = 0; i < 1000 && fs::exists(proc); ++i) ::usleep(10000);
    EXPECT_FALSE(fs::exists(proc));
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(1)), std::optional<int>(0));
    EXPECT_EQ(files::WaitForProgram(pid, std::chrono::seconds(0)), std::nullopt);  // handed out
}

// An installer in a folder whose name has blanks and an accent starts its batch file unquoted,
// as the local road does: the longest part that names a file is the program, even past a file
// that a shorter part names.
TEST(Shell, UnquotedProgramPathWithBlanksIsTheLongestThatNamesAFile) {
    TempPrefix prefix;
    WineStandIn wine;
    const fs::path desktop = prefix.appDir / "Área de Trabalho";
    TempPrefix::WriteFile(desktop / "Instalador", "a decoy at the first blank");
    TempPrefix::WriteFile(desktop / "Instalador KELVORAN" / "mysql.bat", "@echo off\r\n");
    TempPrefix::WriteFile(desktop / "Instalador KELVORAN" / "ferramenta.exe", "MZ");
    files::SetAppPathForTesting(desktop / "Instalador KELVORAN");
    const std::string appPath = files::AppPath();
    files::SetAppPathForTesting({});

    WaitFor(files::Shell(appPath + "\\mysql.bat", files::vbHide));
    EXPECT_EQ(wine.Latest("argv"),
              (std::vector<std::string>{"cmd", "/c", appPath + "\\mysql.bat"}));

    // Without its extension, and followed by arguments, one of which is quoted.
    WaitFor(files::Shell(appPath + "\\ferramenta /s \"a b\"", files::vbHide));
    EXPECT_EQ(wine.Latest("argv"),
              (std::vector<std::string>{
                  (desktop / "Instalador KELVORAN" / "ferramenta.exe").string(), "/s", "a b"}));
}

TEST(WinePrefix, SetUpOnceWithoutADisplayWhenWineHasNotMadeIt) {
    TempPrefix prefix;
    WineStandIn wine;
    ::setenv("DISPLAY", ":99", 1);
    std::vector<std::string> told;
    const auto tell = [&](const std::string& line) { told.push_back(line); };

    EXPECT_EQ(files::PrepareWinePrefix(tell), "");
    ::unsetenv("DISPLAY");
    EXPECT_EQ(wine.Latest("argv"), (std::vector<std::string>{"wineboot", "--init"}));
    EXPECT_EQ(wine.Latest("display"), std::vector<std::string>{"unset"});
    ASSERT_EQ(told.size(), 2u);
    EXPECT_NE(told[0].find(prefix.root.string()), std::string::npos) << told[0];
    EXPECT_EQ(told[1].rfind("Wine pronto em ", 0), 0u) << told[1];

    // Once Wine has written the prefix's registry, nothing more is done.
    TempPrefix::WriteFile(prefix.root / "system.reg", "WINE REGISTRY Version 2\n");
    EXPECT_EQ(files::PrepareWinePrefix(tell), "");
    EXPECT_EQ(wine.Starts().size(), 1u);
    EXPECT_EQ(told.size(), 2u);
}

TEST(WinePrefix, PathOnAMissingDriveCRaisesTheMessage) {
    TempPrefix prefix;
    fs::remove_all(prefix.DriveC());
    try {
        files::ToHostPath("C:\\Quorimetra\\Install");
        ADD_FAILURE() << "no error raised";
    } catch (const VbError& e) {
        EXPECT_EQ(e.Number, 76);
        EXPECT_EQ(e.Description, files::MissingDriveCText());
        EXPECT_NE(e.Description.find(prefix.DriveC().string()), std::string::npos);
    }
    EXPECT_EQ(files::ToWindowsPath("/tmp/x y"), "Z:\\tmp\\x y");  // everything else is Z:
}

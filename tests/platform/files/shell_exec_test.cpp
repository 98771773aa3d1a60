// Shell() is checked through a stand-in "wine" on PATH that records what it was given.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "support/prefix.h"

namespace fs = std::filesystem;
using testsupport::TempPrefix;

namespace {

// Puts a recording "wine" first on PATH (or an empty folder, to have no Wine at all) for the
// life of the object.
class FakeWine {
  public:
    explicit FakeWine(const fs::path& folder, bool installed = true) : folder_(folder) {
        fs::create_directories(folder_);
        if (installed) {
            TempPrefix::WriteFile(
                folder_ / "wine",
                "#!/bin/sh\n"
                "out=\"$(dirname \"$0\")\"\n"
                "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$out/argv.tmp\"\n"
                "printf '%s\\n' \"$WINEPREFIX\" > \"$out/prefix\"\n"
                "o=$(readlink /proc/$$/fd/1); echo \"$o\" > \"$out/stdout\"\n"
                "f=$(ls /proc/$$/fd); echo \"$f\" > \"$out/fds\"\n"
                "mv \"$out/argv.tmp\" \"$out/argv\"\n");
            fs::permissions(folder_ / "wine", fs::perms::owner_all);
        }
        const char* path = ::getenv("PATH");
        oldPath_ = path != nullptr ? path : "";
        const std::string newPath =
            installed ? folder_.string() + ":" + oldPath_ : folder_.string();
        ::setenv("PATH", newPath.c_str(), 1);
    }
    ~FakeWine() { ::setenv("PATH", oldPath_.c_str(), 1); }

    std::vector<std::string> Lines(const char* name) const {
        std::vector<std::string> lines;
        std::string text = TempPrefix::ReadFile(folder_ / name);
        std::size_t start = 0;
        for (auto end = text.find('\n'); end != std::string::npos; end = text.find('\n', start)) {
            lines.push_back(text.substr(start, end - start));
            start = end + 1;
        }
        return lines;
    }

  private:
    fs::path folder_;
    std::string oldPath_;
};

void WaitFor(double pid) {
    int status = 0;
    ASSERT_EQ(::waitpid(static_cast<pid_t>(pid), &status, 0), static_cast<pid_t>(pid));
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

int ShellError(const std::string& line) {
    try {
        files::Shell(line, files::vbHide);
    } catch (const VbError& e) {
        return e.Number;
    }
    return 0;
}

}  // namespace

TEST(Shell, BatchFileRunsThroughWineCmdHiddenWithSamePrefix) {
    TempPrefix prefix;
    FakeWine wine(prefix.root / "bin");
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

    const auto argv = wine.Lines("argv");
    EXPECT_EQ(argv, (std::vector<std::string>{"cmd", "/c", "C:\\Quorimetra\\Install\\mysql.bat"}));
    EXPECT_EQ(wine.Lines("prefix"), std::vector<std::string>{prefix.root.string()});
    EXPECT_EQ(wine.Lines("stdout"), std::vector<std::string>{"/dev/null"});
    for (const auto& fd : wine.Lines("fds")) EXPECT_NE(fd, std::to_string(leaked));
}

TEST(Shell, RegistrationToolGetsItsArgumentsSplitTheWindowsWay) {
    TempPrefix prefix;
    FakeWine wine(prefix.root / "bin");
    WaitFor(files::Shell("regsvr32 /s \"C:\\windows\\System32\\COMDLG32.OCX\"",
                         files::vbMinimizedFocus));
    EXPECT_EQ(wine.Lines("argv"),
              (std::vector<std::string>{"regsvr32", "/s", "C:\\windows\\System32\\COMDLG32.OCX"}));
    // Not hidden: the program keeps our standard output.
    EXPECT_NE(wine.Lines("stdout"), std::vector<std::string>{"/dev/null"});
}

TEST(Shell, QuotingRulesOfWindowsCommandLines) {
    TempPrefix prefix;
    FakeWine wine(prefix.root / "bin");
    WaitFor(files::Shell(R"(tool a\\"b c" d\"e "f""g" "" \\server)", files::vbHide));
    EXPECT_EQ(wine.Lines("argv"),
              (std::vector<std::string>{"tool", "a\\b c", "d\"e", "f\"g", "", "\\\\server"}));
}

TEST(Shell, ProgramPathWithBlanksIsQuotedFirstPart) {
    TempPrefix prefix;
    FakeWine wine(prefix.root / "bin");
    TempPrefix::WriteFile(prefix.DriveC() / "Program Files" / "App" / "app.exe", "MZ");
    WaitFor(files::Shell("\"C:\\Program Files\\app\\APP.EXE\" -x", files::vbHide));
    EXPECT_EQ(wine.Lines("argv"),
              (std::vector<std::string>{
                  (prefix.DriveC() / "Program Files" / "App" / "app.exe").string(), "-x"}));
}

TEST(Shell, MissingProgramOrMissingWineIsFileNotFound) {
    TempPrefix prefix;
    {
        FakeWine wine(prefix.root / "bin");
        EXPECT_EQ(ShellError("C:\\Quorimetra\\Install\\mysql.bat"), 53);
        EXPECT_EQ(ShellError("Q:\\nodrive\\x.exe"), 53);
    }
    if (fs::exists("/usr/lib/wine/wine64")) GTEST_SKIP() << "a real Wine is installed";
    FakeWine noWine(prefix.root / "empty", false);
    TempPrefix::WriteFile(prefix.DriveC() / "mysql.bat", "x");
    EXPECT_EQ(ShellError("C:\\mysql.bat"), 53);
    EXPECT_EQ(ShellError("regsvr32 /s x"), 53);
}

TEST(Shell, ReapsFinishedChildren) {
    TempPrefix prefix;
    FakeWine wine(prefix.root / "bin");
    const auto first = static_cast<pid_t>(files::Shell("regsvr32 one", files::vbHide));
    // Wait until it has exited without reaping it, then start another one.
    for (int i = 0; i < 500 && !fs::exists(prefix.root / "bin" / "argv"); ++i) ::usleep(10000);
    siginfo_t info{};
    ASSERT_EQ(::waitid(P_PID, first, &info, WEXITED | WNOWAIT), 0);
    const auto second = static_cast<pid_t>(files::Shell("regsvr32 two", files::vbHide));
    EXPECT_EQ(::waitpid(first, nullptr, WNOHANG), -1);  // already reaped by the second call
    EXPECT_EQ(errno, ECHILD);
    EXPECT_EQ(::waitpid(second, nullptr, 0), second);
}

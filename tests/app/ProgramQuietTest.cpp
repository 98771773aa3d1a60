// The built program itself, as a separate process: a copy placed in a folder of its own, whose
// connector files make the start phase stop without any network; refused where it cannot run.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "app/InstanceLock.h"
#include "platform/files/files.h"
#include "support/child_process.h"
#include "support/prefix.h"

#ifdef INSTALLER_PROGRAM

namespace {

namespace fs = std::filesystem;
using testsupport::TempPrefix;

struct Finished {
    bool exited = false;
    int code = -1;
};

// Runs the program with one argument ("" for none) and without the variables named in unset,
// its output into the two files; gives up (and kills it) after the bound.
Finished RunProgram(const fs::path& program, const std::string& argument, const fs::path& out,
                    const fs::path& err, std::chrono::seconds bound,
                    const std::vector<std::string>& unset = {}) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr))
            ::_exit(126);
        for (const std::string& name : unset) ::unsetenv(name.c_str());
        if (argument.empty())
            ::execl(program.c_str(), program.c_str(), static_cast<char*>(nullptr));
        ::execl(program.c_str(), program.c_str(), argument.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    const int code = testsupport::WaitBounded(pid, bound);
    return {code >= 0, code};
}

TEST(ProgramQuiet, PrintsTheFailureWithItsTimeAndExitsWithOne) {
    TempPrefix prefix;
    // The program's own folder: the connector package without its set-up batch, a failure
    // that offers no retry.
    const fs::path program = prefix.appDir / "instalador";
    fs::copy_file(INSTALLER_PROGRAM, program);
    TempPrefix::WriteFile(prefix.appDir / "mysql_conector.msi", "x");
    // A prefix that Wine has set up, so that the program does not have Wine build it first.
    TempPrefix::WriteFile(prefix.root / "system.reg", "WINE REGISTRY Version 2\n#arch=win64\n");
    const fs::path out = prefix.root / "stdout.txt";
    const fs::path err = prefix.root / "stderr.txt";

    const Finished finished = RunProgram(program, "/quiet", out, err, std::chrono::seconds(30));

    ASSERT_TRUE(finished.exited) << TempPrefix::ReadFile(err);
    EXPECT_EQ(finished.code, 1);
    const std::regex printed(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Erro ao instalar conector MySql!\n)"
                             R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d Código de saída: 1\n)");
    EXPECT_TRUE(std::regex_match(TempPrefix::ReadFile(out), printed)) << TempPrefix::ReadFile(out);
    EXPECT_EQ(TempPrefix::ReadFile(err), "");
    // Without /log, the same lines go to the log in the Temp folder.
    EXPECT_EQ(TempPrefix::ReadFile(
                  prefix.Host("C:\\users\\" + files::UserName() + "\\Temp\\instalador.log")),
              TempPrefix::ReadFile(out));
    EXPECT_TRUE(fs::is_directory(prefix.Host("C:\\Quorimetra\\Install")));
}

TEST(ProgramQuiet, SecondInstanceIsRefusedAndTouchesNothing) {
    TempPrefix prefix;
    const app::InstanceLock first;
    ASSERT_TRUE(first.acquired());
    const fs::path out = prefix.root / "stdout.txt";
    const fs::path err = prefix.root / "stderr.txt";

    const Finished finished =
        RunProgram(INSTALLER_PROGRAM, "/quiet", out, err, std::chrono::seconds(30));

    ASSERT_TRUE(finished.exited);
    EXPECT_EQ(finished.code, 1);
    EXPECT_TRUE(std::regex_match(
        TempPrefix::ReadFile(out),
        std::regex(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d O instalador já está em execução\.\n)")))
        << TempPrefix::ReadFile(out);
    EXPECT_FALSE(fs::exists(prefix.Host("C:\\Quorimetra\\Install")));
}

TEST(ProgramQuiet, WindowWithoutDisplaySaysSoAndExitsWithTwo) {
    TempPrefix prefix;
    const fs::path out = prefix.root / "stdout.txt";
    const fs::path err = prefix.root / "stderr.txt";
    for (const std::string argument : {"", "/passive"}) {
        const Finished finished =
            RunProgram(INSTALLER_PROGRAM, argument, out, err, std::chrono::seconds(30),
                       {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
        ASSERT_TRUE(finished.exited) << argument;
        EXPECT_EQ(finished.code, 2) << argument;
        const std::string said = TempPrefix::ReadFile(err);
        EXPECT_NE(said.find("Não há tela disponível"), std::string::npos) << said;
        EXPECT_NE(said.find("/quiet"), std::string::npos) << said;
    }
}

}  // namespace

#endif

// /passive with the real window, in a child process as the program runs it, on the offscreen
// platform and on a virtual X display: a message box (a missing component) is logged, answers
// itself, and the run ends with exit code 1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <thread>

#include "app/WindowProgram.h"
#include "support/child_process.h"
#include "support/ftp_servers.h"
#include "support/prefix.h"
#include "support/signing.h"
#include "support/wine_stand_in.h"
#include "support/zip_builder.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FtpServer;
using testsupport::TempPrefix;

// An X server of its own on a display number it picks; stopped with the object.
class VirtualDisplay {
  public:
    VirtualDisplay() {
        int fds[2];
        if (::pipe(fds) != 0) return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::close(fds[0]);
            const int devnull = ::open("/dev/null", O_WRONLY);
            ::dup2(devnull, 2);
            const std::string fd = std::to_string(fds[1]);
            ::execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-nolisten", "tcp", "-noreset",
                     "-screen", "0", "1920x1080x24", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(fds[1]);
        // The number ends with a line break; the server dies if the pipe closes before that.
        std::string number;
        char c = 0;
        while (pid_ > 0 && ::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
        ::close(fds[0]);
        if (number.empty()) return;
        const long n = std::strtol(number.c_str(), nullptr, 10);
        // The number comes a moment before the server takes clients: wait for its socket.
        const std::string socketPath = "/tmp/.X11-unix/X" + std::to_string(n);
        for (int attempt = 0; attempt < 100; ++attempt) {
            if (Accepts(socketPath)) {
                display_ = ":" + std::to_string(n);
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~VirtualDisplay() {
        if (pid_ > 0) {
            ::kill(pid_, SIGTERM);
            ::waitpid(pid_, nullptr, 0);
        }
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N", or "" when no server came up.
    const std::string& name() const { return display_; }

  private:
    static bool Accepts(const std::string& path) {
        const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        path.copy(address.sun_path, sizeof address.sun_path - 1);
        const bool ok =
            s >= 0 && ::connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
        if (s >= 0) ::close(s);
        return ok;
    }

    pid_t pid_ = -1;
    std::string display_;
};

class PassiveRun : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib))
            GTEST_SKIP() << "pyftpdlib is not installed";
        // The local road with the product archive beside the installer, and no Dlls folder:
        // the deployment's first component is missing.
        TempPrefix::WriteFile(prefix.appDir / "mysql.bat", "@echo off\r\n");
        testzip::Write(prefix.appDir / "kelvoranX.zip",
                       {{"kelvoranX.exe", "MZ"}, {"leia.txt", "leia"}});
        testsupport::SignFile(prefix.appDir / "kelvoranX.zip");
        fs::create_directories(prefix.root / "server");
        testsupport::FtpServerOptions options;
        options.root = prefix.root / "server";
        server = std::make_unique<FtpServer>(FtpServer::Kind::Pyftpdlib, options);
    }

    // The program's window run in a child process on the platform; its exit code.
    int RunPassive(const std::string& platform, const std::string& display = "") {
        const pid_t pid = ::fork();
        if (pid == 0) {
            if (!std::freopen(log.c_str(), "w", stdout)) ::_exit(126);
            ::setenv("QT_QPA_PLATFORM", platform.c_str(), 1);
            if (!display.empty()) ::setenv("DISPLAY", display.c_str(), 1);
            int argc = 1;
            char name[] = "instalador";
            char* argv[] = {name, nullptr};
            app::WindowProgram program(argc, argv, app::RunMode::Passive, &std::cout);
            program.form().txtServer.Text = server->address();
            program.form().mChavePublica = testsupport::PublicKey();
            ::_exit(program.Exec() == 0 ? 0 : 100);
        }
        return testsupport::WaitBounded(pid, std::chrono::seconds(60));
    }

    void ExpectBoxLoggedOnce() {
        const std::string text = TempPrefix::ReadFile(log);
        const std::string box = "Ocorreu um erro na instalação, arquivo não encontrado: ";
        const auto at = text.find(box);
        ASSERT_NE(at, std::string::npos) << text;
        EXPECT_EQ(text.find(box, at + 1), std::string::npos) << text;
    }

    TempPrefix prefix;
    testsupport::WineStandIn wine;
    std::unique_ptr<FtpServer> server;
    const fs::path log = prefix.root / "passive.log";
};

TEST_F(PassiveRun, MessageBoxEndsTheRunWithOneOffscreen) {
    EXPECT_EQ(RunPassive("offscreen"), 1);
    ExpectBoxLoggedOnce();
}

TEST_F(PassiveRun, MessageBoxAnswersItselfAndEndsTheRunWithOneUnderXvfb) {
    const VirtualDisplay display;
    if (display.name().empty()) GTEST_SKIP() << "Xvfb could not be started";
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(RunPassive("xcb", display.name()), 1);
    // The box stayed up for its few seconds before it answered itself.
    EXPECT_GE(std::chrono::steady_clock::now() - start,
              std::chrono::milliseconds(app::WindowProgram::kPassiveMessageMs));
    ExpectBoxLoggedOnce();
}

}  // namespace

#include "support/ftp_servers.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <vector>

namespace testsupport {
namespace {

namespace fs = std::filesystem;

constexpr int kStartTimeoutMs = 15000;

fs::path MakeWorkDir() {
    std::string templ = (fs::temp_directory_path() / "ftpserver-XXXXXX").string();
    if (mkdtemp(templ.data()) == nullptr) {
        throw std::runtime_error("cannot create a work folder for the FTP server");
    }
    return templ;
}

// Reads the "PORT <n>" line the server prints once it listens; 0 when it does not come.
int ReadPort(int fd) {
    std::string seen;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 100) <= 0) continue;
        char chunk[256];
        ssize_t n = read(fd, chunk, sizeof chunk);
        if (n <= 0) return 0;
        seen.append(chunk, static_cast<std::size_t>(n));
        for (std::size_t end; (end = seen.find('\n')) != std::string::npos;) {
            std::string line = seen.substr(0, end);
            seen.erase(0, end + 1);
            if (line.rfind("PORT ", 0) == 0) return std::atoi(line.c_str() + 5);
        }
        if (seen.size() > 4096) return 0;
    }
    return 0;
}

std::string ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

}  // namespace

FtpServer::FtpServer(Kind kind, FtpServerOptions options)
    : kind_(kind), options_(std::move(options)) {
    workDir_ = MakeWorkDir();
    const std::string servers = INSTALLER_TEST_SERVERS;
    std::vector<std::string> args{INSTALLER_PYTHON};
    if (kind_ == Kind::Pyftpdlib) {
        args.insert(args.end(),
                    {servers + "/pyftpd.py", "--root", options_.root.string(), "--user",
                     options_.user, "--password", options_.password, "--port", "0", "--host",
                     options_.host, "--command-log", (workDir_ / "commands.log").string()});
        if (!options_.mlsd) args.push_back("--no-mlsd");
        if (options_.dosList) args.push_back("--dos-list");
        if (!options_.fault.empty()) args.insert(args.end(), {"--fault", options_.fault});
        if (!options_.faultArg.empty()) {
            args.insert(args.end(), {"--fault-arg", options_.faultArg});
        }
    } else {
        args.insert(args.end(),
                    {servers + "/vsftpd_launch.py", "--root", options_.root.string(), "--user",
                     options_.user, "--password", options_.password, "--work", workDir_.string()});
    }

    int out[2], in[2];
    if (pipe2(out, O_CLOEXEC) != 0) throw std::system_error(errno, std::generic_category());
    if (pipe2(in, O_CLOEXEC) != 0) {
        close(out[0]);
        close(out[1]);
        throw std::system_error(errno, std::generic_category());
    }
    const std::string errLog = (workDir_ / "stderr.log").string();
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);

    pid_ = fork();
    if (pid_ == 0) {
        dup2(in[0], 0);
        dup2(out[1], 1);
        int err = open(errLog.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (err >= 0) dup2(err, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    lifeline_ = in[1];
    if (pid_ < 0) {
        close(out[0]);
        close(lifeline_);
        throw std::runtime_error("cannot start the FTP server");
    }
    port_ = ReadPort(out[0]);
    close(out[0]);
    if (port_ <= 0) {
        std::string why = ReadAll(errLog);
        Stop();
        throw std::runtime_error("the FTP server did not start: " + why);
    }
}

FtpServer::~FtpServer() { Stop(); }

void FtpServer::Stop() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        bool gone = false;
        for (int i = 0; i < 300 && !gone; ++i) {
            pid_t r = waitpid(pid_, &status, WNOHANG);
            gone = r == pid_ || (r < 0 && errno == ECHILD);
            if (!gone) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        if (!gone) {
            kill(pid_, SIGKILL);
            waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }
    if (lifeline_ >= 0) {
        close(lifeline_);
        lifeline_ = -1;
    }
    if (!workDir_.empty()) {
        std::error_code ec;
        fs::remove_all(workDir_, ec);
        workDir_.clear();
    }
}

std::string FtpServer::address() const {
    if (options_.host.find(':') != std::string::npos) {
        return "[" + options_.host + "]:" + std::to_string(port_);
    }
    return options_.host + ":" + std::to_string(port_);
}

std::string FtpServer::ReceivedCommands() const { return ReadAll(workDir_ / "commands.log"); }

bool ServerAvailable(FtpServer::Kind kind) {
    if (access(INSTALLER_PYTHON, X_OK) != 0) return false;
    if (kind == FtpServer::Kind::Pyftpdlib) {
        static const bool have =
            std::system(INSTALLER_PYTHON " -c 'import pyftpdlib' >/dev/null 2>&1") == 0;
        return have;
    }
    return geteuid() == 0 && access("/usr/sbin/vsftpd", X_OK) == 0 &&
           (access("/lib/x86_64-linux-gnu/security/pam_pwdfile.so", R_OK) == 0 ||
            access("/usr/lib/x86_64-linux-gnu/security/pam_pwdfile.so", R_OK) == 0);
}

}  // namespace testsupport

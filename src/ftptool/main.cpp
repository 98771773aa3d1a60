// kelvoran-ftp: a command-line FTP tool for the keepers of the distribution server, built on
// the installer's own FTP client and its built-in connection settings.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "ftp/cFTP.h"
#include "ftptool/options.h"
#include "ftptool/progress_bar.h"
#include "platform/files/files.h"
#include "platform/files/vb_error.h"

#ifndef INSTALLER_SERVER
#define INSTALLER_SERVER "127.0.0.1:2121"
#endif
#ifndef INSTALLER_USER
#define INSTALLER_USER "kelvoran"
#endif
#ifndef INSTALLER_PASSWORD
#define INSTALLER_PASSWORD ""
#endif

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

namespace fs = std::filesystem;

// "yyyy-mm-dd hh:mm" of a Date (days since 1899-12-30, the time of day as the fraction, which
// counts forward from midnight also for days before day 0).
std::string FormatDate(Date date) {
    using namespace std::chrono;
    const double whole = std::trunc(date);
    const double fraction = std::fabs(date - whole);
    long long seconds = std::llround(fraction * 86400.0);
    long long day = static_cast<long long>(whole);
    if (seconds >= 86400) {
        seconds -= 86400;
        day += date < 0 ? -1 : 1;
    }
    const year_month_day ymd{sys_days{1899y / December / 30} + days{day}};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02lld:%02lld", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()),
                  seconds / 3600, (seconds / 60) % 60);
    return text;
}

// The client's own text for a failure, or ours when it recorded nothing.
int Fail(const cFTP& ftp, const std::string& fallback) {
    const std::string recorded = ftp.GetLastErrorMessage();
    std::fprintf(stderr, "kelvoran-ftp: %s\n",
                 recorded.empty() ? fallback.c_str() : recorded.c_str());
    return kExitFailed;
}

std::string LocalWindowsPath(const std::string& hostPath) {
    return files::ToWindowsPath(fs::absolute(fs::path(hostPath)));
}

std::string RemoteBaseName(const std::string& remote) {
    const auto slash = remote.find_last_of('/');
    return slash == std::string::npos ? remote : remote.substr(slash + 1);
}

int List(cFTP& ftp, const std::vector<std::string>& args) {
    const std::string pattern = args.empty() ? "*" : args[0];
    const auto list = ftp.GetDirectoryListing(pattern);
    if (!list) {
        // No list with nothing recorded is a pattern that matched nothing.
        if (ftp.GetLastErrorMessage().empty()) return kExitOk;
        return Fail(ftp, "listing failed");
    }
    for (const auto& item : *list) {
        std::printf("%c %12ld %s %s\n", item->Directory ? 'd' : '-',
                    static_cast<long>(item->FileSize), FormatDate(item->LastWriteTime).c_str(),
                    item->Filename.c_str());
    }
    return kExitOk;
}

int Get(cFTP& ftp, const std::vector<std::string>& args) {
    const std::string& remote = args[0];
    const std::string local = args.size() > 1 ? args[1] : RemoteBaseName(remote);
    if (local.empty()) {
        std::fprintf(stderr, "kelvoran-ftp: no local name for %s\n", remote.c_str());
        return kExitUsage;
    }
    ftptool::ProgressBar bar(stderr);
    ftp.FileTransferProgress = [&bar](std::int32_t& current, std::int32_t& total) {
        bar.Update(current, total);
    };
    const bool ok = ftp.FTPDownloadFile(LocalWindowsPath(local), remote);
    bar.Finish();
    if (!ok) return Fail(ftp, remote + ": not found on the server, or empty");
    return kExitOk;
}

int Put(cFTP& ftp, const std::vector<std::string>& args) {
    const std::string& local = args[0];
    const std::string remote = args.size() > 1 ? args[1] : fs::path(local).filename().string();
    if (remote.empty()) {
        std::fprintf(stderr, "kelvoran-ftp: no remote name for %s\n", local.c_str());
        return kExitUsage;
    }
    ftptool::ProgressBar bar(stderr);
    ftp.FileTransferProgress = [&bar](std::int32_t& current, std::int32_t& total) {
        bar.Update(current, total);
    };
    const bool ok = ftp.FTPUploadFile(LocalWindowsPath(local), remote);
    bar.Finish();
    if (!ok) return Fail(ftp, "upload of " + local + " failed");
    return kExitOk;
}

int Run(cFTP& ftp, const ftptool::Options& options) {
    const auto& args = options.args;
    const std::string& command = options.command;
    if (command == "ls") return List(ftp, args);
    if (command == "get") return Get(ftp, args);
    if (command == "put") return Put(ftp, args);
    if (command == "mv") {
        return ftp.RenameFTPFile(args[0], args[1]) ? kExitOk : Fail(ftp, "rename failed");
    }
    if (command == "rm") return ftp.DeleteFTPFile(args[0]) ? kExitOk : Fail(ftp, "delete failed");
    if (command == "mkdir") {
        return ftp.CreateFTPDirectory(args[0]) ? kExitOk : Fail(ftp, "mkdir failed");
    }
    if (command == "rmdir") {
        return ftp.RemoveFTPDirectory(args[0]) ? kExitOk : Fail(ftp, "rmdir failed");
    }
    // pwd
    const std::string folder = ftp.GetFTPDirectory();
    if (folder.empty()) return Fail(ftp, "the server named no current folder");
    std::printf("%s\n", folder.c_str());
    return kExitOk;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const ftptool::ParseResult parsed =
        ftptool::ParseCommandLine(arguments, INSTALLER_SERVER, INSTALLER_USER);
    if (!parsed.options) {
        std::fprintf(stderr, "kelvoran-ftp: %s\n%s", parsed.error.c_str(), ftptool::kUsage);
        return kExitUsage;
    }
    const ftptool::Options& options = *parsed.options;

    const auto password = ftptool::ResolvePassword(options.askPassword, INSTALLER_PASSWORD);
    if (!password) {
        std::fprintf(stderr, "kelvoran-ftp: could not read the password from the terminal\n");
        return kExitFailed;
    }

    cFTP ftp(cFTP::Host{nullptr, [](const std::string& text) {
                            std::fprintf(stderr, "kelvoran-ftp: %s\n", text.c_str());
                        }});
    ftp.SetTransferBinary();
    if (options.passive) {
        ftp.SetModePassive();
    } else {
        ftp.SetModeActive();
    }

    int status = kExitFailed;
    try {
        status = ftp.OpenConnection(options.server, options.user, *password)
                     ? Run(ftp, options)
                     : Fail(ftp, "no network connection to " + options.server);
    } catch (const VbError& error) {
        std::fprintf(stderr, "kelvoran-ftp: Error %d: %s\n", error.Number,
                     error.Description.c_str());
        status = kExitFailed;
    }
    ftp.CloseConnection();
    return status;
}

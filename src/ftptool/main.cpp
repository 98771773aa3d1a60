// kelvoran-ftp: a command-line FTP tool for the keepers of the distribution server, built on
// the installer's own FTP client and its built-in connection settings.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "ftp/cFTP.h"
#include "ftptool/failure.h"
#include "ftptool/options.h"
#include "ftptool/progress_bar.h"
#include "ftptool/terminal.h"
#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/kernel/kernel.h"
#include "platform/security/security.h"
#include "platform/wininet/handle.h"

#ifndef INSTALLER_SERVER
#define INSTALLER_SERVER "127.0.0.1:2121"
#endif
#ifndef INSTALLER_USER
#define INSTALLER_USER "kelvoran"
#endif
#ifndef INSTALLER_PASSWORD
#define INSTALLER_PASSWORD ""
#endif

namespace ftptool {

struct Session {
    cFTP& ftp;
    std::string server;
};

}  // namespace ftptool

namespace {

using ftptool::Session;
namespace fs = std::filesystem;

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr const char* kVersion = "kelvoran-ftp 10.0.X";

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

// "kelvoran-ftp: SERVER: what failed (the client's record)".
int Fail(const Session& s, const std::string& fallback) {
    const std::string recorded = s.ftp.GetLastErrorMessage();
    std::fprintf(stderr, "kelvoran-ftp: %s: %s\n", s.server.c_str(),
                 ftptool::DescribeFailure(recorded, fallback).c_str());
    return kExitFailed;
}

std::string LocalWindowsPath(const fs::path& hostPath) {
    return files::ToWindowsPath(fs::absolute(hostPath));
}

std::string RemoteBaseName(const std::string& remote) {
    const auto slash = remote.find_last_of('/');
    return slash == std::string::npos ? remote : remote.substr(slash + 1);
}

// A name beside `name` that no installer asks for, where a transfer lands before it is
// renamed into place.
std::string TemporaryBeside(const std::string& name) {
    const auto slash = name.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "" : name.substr(0, slash + 1);
    const std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    return folder + "." + base + ".part-" + std::to_string(ftptool::ProcessId());
}

void ShowProgress(cFTP& ftp, ftptool::ProgressBar& bar) {
    ftp.FileTransferProgress = [&bar](std::int32_t& current, std::int32_t& total) {
        bar.Update(current, total);
    };
}

// A zero file time is an unknown time: date 0, as the client's own listing gives it.
Date EntryDate(cFTP& ftp, const FILETIME& ft) {
    return ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0 ? 0 : ftp.FileTimeToDate(ft);
}

// The entries of a pattern, with their full 64-bit sizes (the client's list keeps 32 bits).
bool Find(Session& s, const std::string& pattern, std::vector<WIN32_FIND_DATAA>& entries) {
    WIN32_FIND_DATAA data;
    wininet::Handle find(FtpFindFirstFileA(s.ftp.ConnectionHandle(), pattern.c_str(), &data, 0, 0));
    DWORD code = GetLastError();
    while (find) {
        entries.push_back(data);
        if (!InternetFindNextFileA(find.get(), &data)) {
            code = GetLastError();
            break;
        }
    }
    if (code == ERROR_NO_MORE_FILES) return true;
    s.ftp.SetLastErrorMessage(static_cast<std::int32_t>(code), "FtpFindFirstFile");
    return false;
}

int List(Session& s, const std::vector<std::string>& args) {
    const std::string pattern = args.empty() ? "*" : args[0];
    std::vector<WIN32_FIND_DATAA> entries;
    if (!Find(s, pattern, entries)) return Fail(s, "listing failed");
    // A folder named alone is listed by its contents.
    const bool wildcard = pattern.find_first_of("*?") != std::string::npos;
    if (!wildcard && entries.size() == 1 &&
        (entries[0].dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
        RemoteBaseName(pattern) == entries[0].cFileName) {
        entries.clear();
        if (!Find(s, pattern + "/*", entries)) return Fail(s, "listing failed");
    }
    for (const auto& e : entries) {
        const auto size = (static_cast<unsigned long long>(e.nFileSizeHigh) << 32) | e.nFileSizeLow;
        const bool folder = (e.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        std::printf("%c %12llu %s %s\n", folder ? 'd' : '-', size,
                    FormatDate(EntryDate(s.ftp, e.ftLastWriteTime)).c_str(), e.cFileName);
    }
    return kExitOk;
}

bool CopyToStandardOutput(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    ftptool::BinaryStandardOutput();
    std::cout << in.rdbuf();
    std::cout.flush();
    return static_cast<bool>(std::cout);
}

int Get(Session& s, const std::vector<std::string>& args) {
    const std::string& remote = args[0];
    const std::string local = args.size() > 1 ? args[1] : RemoteBaseName(remote);
    if (local.empty()) {
        std::fprintf(stderr, "kelvoran-ftp: no local name for %s\n", remote.c_str());
        return kExitUsage;
    }
    const bool toOutput = local == "-";
    // The bytes land beside the target and take its name only when complete.
    const fs::path target =
        toOutput ? fs::temp_directory_path() / RemoteBaseName(remote) : fs::path(local);
    fs::path temporary = target;
    temporary += ".part-" + std::to_string(ftptool::ProcessId());
    std::error_code ec;
    struct Cleanup {
        fs::path path;
        ~Cleanup() {
            std::error_code ignored;
            fs::remove(path, ignored);
        }
    } cleanup{temporary};

    ftptool::ProgressBar bar(stderr);
    ShowProgress(s.ftp, bar);
    const bool ok = s.ftp.FTPDownloadFile(LocalWindowsPath(temporary), remote);
    bar.Finish();
    if (!ok) return Fail(s, remote + ": no such file on the server, or it is empty");
    if (toOutput) {
        if (!CopyToStandardOutput(temporary)) return Fail(s, "could not write standard output");
        return kExitOk;
    }
    fs::rename(temporary, target, ec);
    if (ec) return Fail(s, local + ": " + ec.message());
    return kExitOk;
}

int Put(Session& s, const std::vector<std::string>& args) {
    const std::string& local = args[0];
    const std::string remote = args.size() > 1 ? args[1] : fs::path(local).filename().string();
    if (remote.empty()) {
        std::fprintf(stderr, "kelvoran-ftp: no remote name for %s\n", local.c_str());
        return kExitUsage;
    }
    // Uploaded beside the target and renamed into place: an installer never fetches half an
    // archive, and a failed upload leaves the old file whole.
    const std::string temporary = TemporaryBeside(remote);
    ftptool::ProgressBar bar(stderr);
    ShowProgress(s.ftp, bar);
    bool ok = false;
    try {
        ok = s.ftp.FTPUploadFile(LocalWindowsPath(local), temporary);
    } catch (const VbError&) {
        bar.Finish();
        s.ftp.DeleteFTPFile(temporary);
        throw;
    }
    bar.Finish();
    if (ok && s.ftp.RenameFTPFile(temporary, remote)) return kExitOk;
    const int status = Fail(s, "upload of " + local + " failed");
    s.ftp.DeleteFTPFile(temporary);
    return status;
}

int Rename(Session& s, const std::vector<std::string>& args) {
    return s.ftp.RenameFTPFile(args[0], args[1]) ? kExitOk : Fail(s, "rename failed");
}

int Delete(Session& s, const std::vector<std::string>& args) {
    return s.ftp.DeleteFTPFile(args[0]) ? kExitOk : Fail(s, "delete failed");
}

int MakeFolder(Session& s, const std::vector<std::string>& args) {
    return s.ftp.CreateFTPDirectory(args[0]) ? kExitOk : Fail(s, "mkdir failed");
}

int RemoveFolder(Session& s, const std::vector<std::string>& args) {
    return s.ftp.RemoveFTPDirectory(args[0]) ? kExitOk : Fail(s, "rmdir failed");
}

int CurrentFolder(Session& s, const std::vector<std::string>&) {
    const std::string folder = s.ftp.GetFTPDirectory();
    if (folder.empty()) return Fail(s, "the server named no current folder");
    std::printf("%s\n", folder.c_str());
    return kExitOk;
}

constexpr ftptool::Command kCommands[] = {
    {"ls", 0, 1, "[PATTERN|DIR]", "list remote entries (type, size, last write, name)", List},
    {"get", 1, 2, "REMOTE [LOCAL|-]", "download a file (- writes it to standard output)", Get},
    {"put", 1, 2, "LOCAL [REMOTE]", "upload a file", Put},
    {"mv", 2, 2, "FROM TO", "rename a remote file", Rename},
    {"rm", 1, 1, "REMOTE", "delete a remote file", Delete},
    {"mkdir", 1, 1, "DIR", "create a remote folder", MakeFolder},
    {"rmdir", 1, 1, "DIR", "remove a remote folder", RemoveFolder},
    {"pwd", 0, 0, "", "print the remote current folder", CurrentFolder},
};

}  // namespace

int main(int argc, char** argv) {
    // Before wininet.dll is loaded, at the first FTP call.
    security::LoadLibrariesFromSystemFolderOnly();
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const std::string usage = ftptool::Usage(kCommands, INSTALLER_SERVER);
    const ftptool::ParseResult parsed =
        ftptool::ParseCommandLine(arguments, kCommands, INSTALLER_SERVER, INSTALLER_USER);
    switch (parsed.action) {
        case ftptool::ParseResult::Action::Help:
            std::fputs(usage.c_str(), stdout);
            return kExitOk;
        case ftptool::ParseResult::Action::Version:
            std::printf("%s\n", kVersion);
            return kExitOk;
        case ftptool::ParseResult::Action::Refuse:
            std::fprintf(stderr, "kelvoran-ftp: %s\n%s", parsed.error.c_str(), usage.c_str());
            return kExitUsage;
        case ftptool::ParseResult::Action::Run:
            break;
    }
    const ftptool::Options& options = parsed.options;

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

    Session session{ftp, ftptool::ServerWithPort(options.server)};
    int status = kExitFailed;
    try {
        status = ftp.OpenConnection(options.server, options.user, *password)
                     ? options.command->handler(session, options.args)
                     : Fail(session, "no network connection");
    } catch (const VbError& error) {
        std::fprintf(stderr, "kelvoran-ftp: %s: Error %d: %s\n", session.server.c_str(),
                     error.Number, error.Description.c_str());
        status = kExitFailed;
    }
    ftp.CloseConnection();
    return status;
}

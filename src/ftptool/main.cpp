// kelvoran-ftp: a command-line FTP tool for the keepers of the distribution server, built on
// the installer's own FTP client and its built-in connection settings.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "ftp/cFTP.h"
#include "ftptool/failure.h"
#include "ftptool/options.h"
#include "ftptool/progress_bar.h"
#include "ftptool/terminal.h"
#include "platform/crypto/crypto.h"
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
    std::string keyFile;  // --sign or --key
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

// A local file removed when the command ends, on every road.
struct RemovedAtEnd {
    std::optional<fs::path> path;
    ~RemovedAtEnd() {
        std::error_code ignored;
        if (path) fs::remove(*path, ignored);
    }
};

// Downloads with the progress bar; a failure is reported and gives false.
bool DownloadWithBar(Session& s, const std::string& remote, const fs::path& local) {
    ftptool::ProgressBar bar(stderr);
    ShowProgress(s.ftp, bar);
    const bool ok = s.ftp.FTPDownloadFile(LocalWindowsPath(local), remote);
    bar.Finish();
    if (!ok) Fail(s, remote + ": no such file on the server, or it is empty");
    return ok;
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
    const RemovedAtEnd cleanup{temporary};
    if (!DownloadWithBar(s, remote, temporary)) return kExitFailed;
    if (toOutput) {
        if (!CopyToStandardOutput(temporary)) return Fail(s, "could not write standard output");
        return kExitOk;
    }
    fs::rename(temporary, target, ec);
    if (ec) return Fail(s, local + ": " + ec.message());
    return kExitOk;
}

// The whole of a local file as text; none when it cannot be read.
std::optional<std::string> ReadWhole(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) return std::nullopt;
    return text.str();
}

crypto::Digest Sha256Of(const std::string& bytes) {
    crypto::Sha256 hash;
    hash.Update(bytes.data(), bytes.size());
    return hash.Final();
}

// Uploads the local file under a temporary name beside the remote one; the name, or none after a
// failure, which leaves nothing behind.
std::optional<std::string> UploadBeside(Session& s, const std::string& local,
                                        const std::string& remote) {
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
    if (ok) return temporary;
    Fail(s, "upload of " + local + " failed");
    s.ftp.DeleteFTPFile(temporary);
    return std::nullopt;
}

int Put(Session& s, const std::vector<std::string>& args) {
    const std::string& local = args[0];
    const std::string remote = args.size() > 1 ? args[1] : fs::path(local).filename().string();
    if (remote.empty()) {
        std::fprintf(stderr, "kelvoran-ftp: no remote name for %s\n", local.c_str());
        return kExitUsage;
    }
    // The signature is made before anything is sent: a key that cannot sign changes nothing.
    std::optional<fs::path> signature;
    if (!s.keyFile.empty()) {
        const auto key = ReadWhole(s.keyFile);
        const auto content = ReadWhole(local);
        if (!key || !content) {
            std::fprintf(stderr, "kelvoran-ftp: cannot read %s\n",
                         (key ? local : s.keyFile).c_str());
            return kExitFailed;
        }
        std::string error;
        const auto der = crypto::Sign(*key, Sha256Of(*content), &error);
        if (!der) {
            std::fprintf(stderr, "kelvoran-ftp: %s: %s\n", s.keyFile.c_str(), error.c_str());
            return kExitFailed;
        }
        signature = fs::temp_directory_path() /
                    (RemoteBaseName(remote) + ".sig-" + std::to_string(ftptool::ProcessId()));
        std::ofstream(*signature, std::ios::binary)
            .write(reinterpret_cast<const char*>(der->data()),
                   static_cast<std::streamsize>(der->size()));
    }
    const RemovedAtEnd cleanup{signature};

    // Uploaded beside the targets and renamed into place: an installer never fetches half an
    // archive, and a failed upload leaves the old files whole. The two renames come last and
    // together, so that the archive and its signature change in the same moment, near enough.
    const auto archive = UploadBeside(s, local, remote);
    if (!archive) return kExitFailed;
    std::optional<std::string> signatureTemporary;
    if (signature) {
        signatureTemporary = UploadBeside(s, signature->string(), remote + ".sig");
        if (!signatureTemporary) {
            s.ftp.DeleteFTPFile(*archive);
            return kExitFailed;
        }
    }
    if (!s.ftp.RenameFTPFile(*archive, remote)) {
        const int status = Fail(s, "upload of " + local + " failed");
        s.ftp.DeleteFTPFile(*archive);
        if (signatureTemporary) s.ftp.DeleteFTPFile(*signatureTemporary);
        return status;
    }
    if (signatureTemporary && !s.ftp.RenameFTPFile(*signatureTemporary, remote + ".sig")) {
        const int status = Fail(s, "upload of the signature of " + local + " failed");
        s.ftp.DeleteFTPFile(*signatureTemporary);
        return status;
    }
    return kExitOk;
}

// Downloads a remote file into a temporary local file; its bytes, or none after a failure.
std::optional<std::string> Fetch(Session& s, const std::string& remote) {
    const fs::path temporary = fs::temp_directory_path() / (RemoteBaseName(remote) + ".verify-" +
                                                            std::to_string(ftptool::ProcessId()));
    const RemovedAtEnd cleanup{temporary};
    if (!DownloadWithBar(s, remote, temporary)) return std::nullopt;
    return ReadWhole(temporary);
}

int Verify(Session& s, const std::vector<std::string>& args) {
    const std::string& remote = args[0];
    const auto key = ReadWhole(s.keyFile);
    if (!key || !crypto::ParsePublicKeyPem(*key)) {
        std::fprintf(stderr, "kelvoran-ftp: %s is not a PEM public key of the P-256 curve\n",
                     s.keyFile.c_str());
        return kExitFailed;
    }
    const auto content = Fetch(s, remote);
    if (!content) return kExitFailed;
    const auto signature = Fetch(s, remote + ".sig");
    if (!signature) return kExitFailed;
    const crypto::Digest digest = Sha256Of(*content);
    const crypto::Bytes der(signature->begin(), signature->end());
    switch (crypto::Verify(*key, digest, der)) {
        case crypto::Verdict::Good:
            std::printf("%s: good signature, SHA-256 %s\n", remote.c_str(),
                        crypto::Hex(digest).c_str());
            return kExitOk;
        case crypto::Verdict::Malformed:
            std::fprintf(stderr, "kelvoran-ftp: %s.sig is not a DER signature of the curve\n",
                         remote.c_str());
            return kExitFailed;
        case crypto::Verdict::Mismatch:
        case crypto::Verdict::BadKey:
            break;
    }
    std::fprintf(stderr, "kelvoran-ftp: %s: the signature does not match under %s\n",
                 remote.c_str(), s.keyFile.c_str());
    return kExitFailed;
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
    {"put", 1, 2, "[--sign KEY] LOCAL [REMOTE]",
     "upload a file; with --sign, its signature beside it as REMOTE.sig", Put, "--sign"},
    {"verify", 1, 1, "--key PUB REMOTE",
     "download a file and its .sig and check the signature under the public key", Verify, "--key",
     true},
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

    Session session{ftp, ftptool::ServerWithPort(options.server), options.keyFile};
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

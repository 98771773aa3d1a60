// A test FTP server on loopback, a Wine-style prefix for the local files, and a cFTP whose
// yields and progress events are recorded.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ftp/cFTP.h"
#include "platform/files/files.h"
#include "support/bytes.h"
#include "support/ftp_servers.h"
#include "support/prefix.h"

namespace ftptest {

namespace fs = std::filesystem;
using testsupport::Bytes;
using Kind = testsupport::FtpServer::Kind;
using Event = std::pair<std::int32_t, std::int32_t>;

struct ServerCase {
    Kind kind;
    bool mlsd;
    bool passive;
    const char* name;
};

inline const std::vector<ServerCase>& AllServerCases() {
    static const std::vector<ServerCase> cases = {
        {Kind::Pyftpdlib, true, false, "PyftpdMlsdActive"},
        {Kind::Pyftpdlib, true, true, "PyftpdMlsdPassive"},
        {Kind::Pyftpdlib, false, false, "PyftpdListActive"},
        {Kind::Pyftpdlib, false, true, "PyftpdListPassive"},
        {Kind::Vsftpd, false, false, "VsftpdActive"},
        {Kind::Vsftpd, false, true, "VsftpdPassive"},
    };
    return cases;
}

inline std::string CaseName(const testing::TestParamInfo<ServerCase>& info) {
    return info.param.name;
}

// Sets TZ for one test and puts the old zone back.
class ZoneScope {
  public:
    explicit ZoneScope(const char* zone) {
        if (const char* old = std::getenv("TZ")) saved_ = old, had_ = true;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~ZoneScope() {
        if (had_) {
            ::setenv("TZ", saved_.c_str(), 1);
        } else {
            ::unsetenv("TZ");
        }
        ::tzset();
    }

  private:
    std::string saved_;
    bool had_ = false;
};

class FtpEnvironment {
  public:
    FtpEnvironment()
        : ftp(cFTP::Host{[this] { ++yields; },
                         [this](const std::string& text) { messageBoxes.push_back(text); }}) {
        serverRoot = prefix.root / "server";
        localDir = prefix.DriveC() / "work";
        fs::create_directories(serverRoot);
        fs::create_directories(localDir);
        ftp.FileTransferProgress = [this](std::int32_t& current, std::int32_t& total) {
            events.emplace_back(current, total);
        };
        ftp.SetTransferBinary();
    }
    ~FtpEnvironment() { ftp.CloseConnection(); }

    // Starts the server; false (with the test skipped by the caller) when it is not installed.
    bool Start(const ServerCase& c, std::string fault = {}, std::string faultArg = {}) {
        if (!testsupport::ServerAvailable(c.kind)) return false;
        testsupport::FtpServerOptions options;
        options.root = serverRoot;
        options.mlsd = c.mlsd;
        options.fault = std::move(fault);
        options.faultArg = std::move(faultArg);
        server = std::make_unique<testsupport::FtpServer>(c.kind, options);
        if (c.passive) {
            ftp.SetModePassive();
        } else {
            ftp.SetModeActive();
        }
        return true;
    }

    bool Open() {
        const auto& o = server->options();
        return ftp.OpenConnection(server->address(), o.user, o.password);
    }

    // Windows path of a file in the local work folder.
    std::string Local(const std::string& name) const {
        return files::ToWindowsPath(localDir / name);
    }
    fs::path LocalHost(const std::string& name) const { return localDir / name; }
    fs::path Remote(const std::string& name) const { return serverRoot / name; }

    testsupport::TempPrefix prefix;
    fs::path serverRoot;
    fs::path localDir;
    std::unique_ptr<testsupport::FtpServer> server;
    std::vector<Event> events;
    int yields = 0;
    std::vector<std::string> messageBoxes;
    cFTP ftp;
};

}  // namespace ftptest

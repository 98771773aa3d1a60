// Test FTP servers on loopback, started by the tests and stopped when the object goes away:
// pyftpdlib (with or without MLSD, scriptable faults) and vsftpd (a C server with a virtual
// user, LIST only).
#pragma once

#include <filesystem>
#include <string>

namespace testsupport {

// The account the build bakes into the installer and the tool, so the servers the tests start
// accept what the programs under test send, whatever the build's settings.
inline constexpr const char* kFtpUser = INSTALLER_USER;
inline constexpr const char* kFtpPassword = INSTALLER_PASSWORD;

struct FtpServerOptions {
    std::filesystem::path root;  // folder served as the account's home and "/"
    std::string user = kFtpUser;
    std::string password = kFtpPassword;
    bool mlsd = true;  // pyftpdlib only: offer MLSD/MLST in FEAT
    // pyftpdlib only: a fault to inject, by name (see tests/servers/README.md), e.g.
    // "drop-data-middle", "silent", "huge-line", "not-ftp", "pasv-other-address".
    std::string fault;
    std::string faultArg;
    bool dosList = false;            // pyftpdlib only: LIST in the DOS format
    std::string host = "127.0.0.1";  // pyftpdlib only: "127.0.0.1" or "::1"
};

class FtpServer {
  public:
    enum class Kind { Pyftpdlib, Vsftpd };
    // Starts the server and waits until it listens; throws std::runtime_error when it cannot.
    FtpServer(Kind kind, FtpServerOptions options);
    ~FtpServer();  // stops the server (by its pid)
    FtpServer(const FtpServer&) = delete;
    FtpServer& operator=(const FtpServer&) = delete;

    int port() const { return port_; }
    // "127.0.0.1:<port>" (or "[::1]:<port>"), the server text the client takes.
    std::string address() const;
    const FtpServerOptions& options() const { return options_; }
    // pyftpdlib only: every command line the server received so far, one per line.
    std::string ReceivedCommands() const;

  private:
    void Stop();

    Kind kind_;
    FtpServerOptions options_;
    int pid_ = -1;
    int port_ = 0;
    int lifeline_ = -1;  // write end of the server's stdin; the server stops when it closes
    std::filesystem::path workDir_;
};

// Whether the server kind can run here; a test calls GTEST_SKIP() when it cannot.
bool ServerAvailable(FtpServer::Kind kind);

}  // namespace testsupport

// Shared pieces of the FTP service tests: a served folder, a server on loopback, and a
// connection through the service with short timeouts.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/wininet/wininet.h"
#include "support/bytes.h"
#include "support/ftp_servers.h"

namespace wininet_test {

namespace fs = std::filesystem;
using testsupport::Bytes;
using testsupport::FtpServer;
using testsupport::FtpServerOptions;

constexpr DWORD kSentinel = 0xdeadbeef;

inline void WriteFile(const fs::path& p, const std::string& content) {
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << content;
}

inline std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The Windows path of a host path (drive Z: is the host's root).
inline std::string Win(const fs::path& host) { return "Z:" + host.string(); }

// A fresh folder under the system's temporary folder, removed afterwards.
class TempDir {
  public:
    TempDir() {
        std::string t = (fs::temp_directory_path() / "wininet-test-XXXXXX").string();
        path = mkdtemp(t.data());
    }
    ~TempDir() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
    fs::path path;
};

// The root and connection handles of one session, closed at the end.
struct Session {
    HINTERNET root = nullptr;
    HINTERNET connection = nullptr;
    ~Session() {
        if (connection) InternetCloseHandle(connection);
        if (root) InternetCloseHandle(root);
    }
};

inline void SetTimeouts(HINTERNET h, DWORD ms) {
    for (DWORD option : {INTERNET_OPTION_CONNECT_TIMEOUT, INTERNET_OPTION_RECEIVE_TIMEOUT,
                         INTERNET_OPTION_SEND_TIMEOUT}) {
        ASSERT_TRUE(InternetSetOptionA(h, option, &ms, sizeof ms));
    }
}

// Opens a root handle with the given timeouts and connects to `address`; the handles stay
// in the session even when the connection fails (connection is then null).
inline void Open(Session& s, const std::string& address, DWORD flags, DWORD timeoutMs = 3000,
                 const char* user = testsupport::kFtpUser,
                 const char* password = testsupport::kFtpPassword) {
    s.root = InternetOpenA("Vorn FTP Client", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    ASSERT_NE(s.root, nullptr);
    SetTimeouts(s.root, timeoutMs);
    s.connection = InternetConnectA(s.root, address.c_str(), INTERNET_INVALID_PORT_NUMBER, user,
                                    password, INTERNET_SERVICE_FTP, flags, 0);
}

inline std::string LastResponse() {
    char buffer[4096] = {};
    DWORD error = 0, length = sizeof buffer;
    if (!InternetGetLastResponseInfoA(&error, buffer, &length)) return {};
    return std::string(buffer, length);
}

// Reads a whole open file in chunks of `chunk` bytes; false on the first failed read.
inline bool ReadAll(HINTERNET file, std::string& out, DWORD chunk = 255) {
    std::string buffer(chunk, '\0');
    for (;;) {
        DWORD got = 0;
        if (!InternetReadFile(file, buffer.data(), chunk, &got)) return false;
        if (got == 0) return true;
        out.append(buffer.data(), got);
    }
}

// A pyftpdlib server over a folder holding data.bin, started with a fault, and one session.
class FtpFaults : public testing::Test {
  protected:
    void SetUp() override {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib)) {
            GTEST_SKIP() << "pyftpdlib not available";
        }
        content_ = Bytes(200000, 5);
        WriteFile(dir_.path / "data.bin", content_);
    }

    void Start(const std::string& fault = "", const std::string& arg = "", bool mlsd = true,
               const std::string& host = "127.0.0.1") {
        FtpServerOptions o;
        o.root = dir_.path;
        o.fault = fault;
        o.faultArg = arg;
        o.mlsd = mlsd;
        o.host = host;
        server_ = std::make_unique<FtpServer>(FtpServer::Kind::Pyftpdlib, o);
    }

    // Connects; the connection handle may be null (the last error tells why).
    HINTERNET Connect(DWORD flags = 0, DWORD timeoutMs = 3000) {
        SetLastError(kSentinel);
        Open(s_, server_->address(), flags, timeoutMs);
        return s_.connection;
    }

    TempDir dir_;
    std::string content_;
    std::unique_ptr<FtpServer> server_;
    Session s_;
};

}  // namespace wininet_test

// The system's WinINet behind the layer: the server text's port reaches the system, and the
// login goes through it, against a minimal FTP server on loopback in the test itself.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "platform/wininet/wininet.h"

namespace {

// Accepts one connection (within 10 s) and answers the login: 220, 331 to USER, 230 to PASS,
// 221 to QUIT, 502 to anything else.
class LoginServer {
  public:
    LoginServer() {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        listen(listener_, 1);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Serve(); });
    }
    ~LoginServer() {
        if (thread_.joinable()) thread_.join();
        closesocket(listener_);
        WSACleanup();
    }
    int port() const { return port_; }
    // The commands received, once the client has gone.
    std::vector<std::string> Finish() {
        thread_.join();
        return commands_;
    }

  private:
    void Serve() {
        fd_set ready;
        FD_ZERO(&ready);
        FD_SET(listener_, &ready);
        timeval wait{10, 0};
        if (select(0, &ready, nullptr, nullptr, &wait) != 1) return;
        const SOCKET client = accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET) return;
        DWORD timeoutMs = 10000;
        setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeoutMs),
                   sizeof timeoutMs);
        auto reply = [&](const std::string& text) {
            send(client, text.data(), static_cast<int>(text.size()), 0);
        };
        reply("220 pronto\r\n");
        std::string line;
        char c = 0;
        while (recv(client, &c, 1, 0) == 1) {
            if (c != '\n') {
                if (c != '\r') line += c;
                continue;
            }
            commands_.push_back(line);
            const std::string verb = line.substr(0, 4);
            line.clear();
            if (verb == "USER") {
                reply("331 senha\r\n");
            } else if (verb == "PASS") {
                reply("230 entrou\r\n");
            } else if (verb == "QUIT") {
                reply("221 tchau\r\n");
                break;
            } else {
                reply("502 nao\r\n");
            }
        }
        closesocket(client);
    }
    SOCKET listener_;
    int port_ = 0;
    std::thread thread_;
    std::vector<std::string> commands_;
};

TEST(SystemWinInet, ServerTextPortReachesTheSystemAndTheLoginGoesThrough) {
    LoginServer server;
    HINTERNET root = InternetOpenA("Instalador", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    ASSERT_NE(root, nullptr);
    const std::string text = "127.0.0.1:" + std::to_string(server.port());
    HINTERNET connection =
        InternetConnectA(root, text.c_str(), INTERNET_INVALID_PORT_NUMBER, "kelvoran", "Kv7q2Rm9Xa",
                         INTERNET_SERVICE_FTP, INTERNET_FLAG_PASSIVE, 0);
    const DWORD error = GetLastError();
    if (connection != nullptr) InternetCloseHandle(connection);
    InternetCloseHandle(root);
    const auto commands = server.Finish();
    EXPECT_NE(connection, nullptr) << error;
    EXPECT_THAT(commands, ::testing::IsSupersetOf({"USER kelvoran", "PASS Kv7q2Rm9Xa"}));
}

}  // namespace

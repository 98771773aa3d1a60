// The FTP service against broken, hostile and unreachable servers, and the call contract
// (parameters, handles, last error and last reply).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <chrono>
#include <thread>

#include "service_session.h"

namespace wininet_test {
namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;

TEST_F(FtpFaults, LoginRefusedIs12015WithTheReplyKept) {
    Start();
    Open(s_, server_->address(), 0, 3000, testsupport::kFtpUser, "wrong");
    EXPECT_EQ(s_.connection, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_LOGIN_FAILURE);
    EXPECT_THAT(LastResponse(), StartsWith("530"));
}

TEST_F(FtpFaults, UnreachablePortAndUnknownNameFail) {
    // A port nobody listens on: bind one, note it, close it.
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    close(fd);
    Session closed;
    SetLastError(kSentinel);
    Open(closed, "127.0.0.1:" + std::to_string(ntohs(a.sin_port)), 0);
    EXPECT_EQ(closed.connection, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_CANNOT_CONNECT);

    Session unknown;
    SetLastError(kSentinel);
    Open(unknown, "no-such-host.invalid", 0);
    EXPECT_EQ(unknown.connection, nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_NAME_NOT_RESOLVED);
}

TEST_F(FtpFaults, ServerPortComesFromTheNameOrTheArgument) {
    Start();
    Session s;
    s.root = InternetOpenA("t", 0, nullptr, nullptr, 0);
    SetTimeouts(s.root, 3000);
    s.connection = InternetConnectA(
        s.root, "127.0.0.1", static_cast<INTERNET_PORT>(server_->port()), testsupport::kFtpUser,
        testsupport::kFtpPassword, INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_NE(s.connection, nullptr) << GetLastError();
    // ":port" in the name wins over the argument.
    HINTERNET second =
        InternetConnectA(s.root, server_->address().c_str(), 1, testsupport::kFtpUser,
                         testsupport::kFtpPassword, INTERNET_SERVICE_FTP, 0, 0);
    EXPECT_NE(second, nullptr) << GetLastError();
    InternetCloseHandle(second);
}

TEST_F(FtpFaults, SilentServerTimesOut) {
    Start("silent");
    auto begin = std::chrono::steady_clock::now();
    EXPECT_EQ(Connect(0, 400), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(std::chrono::steady_clock::now() - begin, std::chrono::seconds(5));
}

TEST_F(FtpFaults, ServerSilentOnRetrTimesOutAndTheSessionIsThenDropped) {
    Start("silent", "RETR");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE, 3000), nullptr);
    // The connection's own timeout takes the place of the root's.
    DWORD ms = 300;
    ASSERT_TRUE(InternetSetOptionA(s_.connection, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms));
    SetLastError(kSentinel);
    EXPECT_EQ(FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpDeleteFileA(s_.connection, "data.bin"));
    EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
    EXPECT_TRUE(fs::exists(dir_.path / "data.bin"));
}

TEST_F(FtpFaults, RepliesThatBreakTheProtocolAreRefused) {
    for (const char* fault : {"huge-line", "not-ftp", "endless-reply"}) {
        Start(fault);
        Session s;
        SetLastError(kSentinel);
        Open(s, server_->address(), 0);
        EXPECT_EQ(s.connection, nullptr) << fault;
        EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_SERVER_RESPONSE) << fault;
    }
    // The same within a session: a huge reply line to PWD.
    Start("huge-line", "PWD");
    ASSERT_NE(Connect(), nullptr);
    char buffer[64];
    DWORD length = sizeof buffer;
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(s_.connection, buffer, &length));
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

TEST_F(FtpFaults, PassiveAddressOfTheServerIsIgnored) {
    Start("pasv-other-address");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE), nullptr);
    HINTERNET file =
        FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr) << GetLastError() << LastResponse();
    std::string got;
    EXPECT_TRUE(ReadAll(file, got));
    EXPECT_TRUE(got == content_);
    InternetCloseHandle(file);
    // EPSV was refused, so PASV (with its 10.1.2.3 address) carried the transfer.
    EXPECT_THAT(server_->ReceivedCommands(), HasSubstr("PASV"));
}

TEST_F(FtpFaults, ActiveConnectionFromAnotherAddressIsRefused) {
    Start("active-from-other");
    ASSERT_NE(Connect(0, 2000), nullptr);
    SetLastError(kSentinel);
    HINTERNET file =
        FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    EXPECT_EQ(file, nullptr);
    EXPECT_THAT(GetLastError(),
                testing::AnyOf(ERROR_INTERNET_EXTENDED_ERROR, ERROR_INTERNET_TIMEOUT));
    if (file) InternetCloseHandle(file);
}

TEST_F(FtpFaults, DroppedDataConnectionFailsTheRead) {
    struct Case {
        const char* fault;
        const char* arg;
        std::vector<DWORD> errors;
    };
    const Case cases[] = {
        {"drop-data-start", "", {ERROR_INTERNET_EXTENDED_ERROR}},
        {"drop-data-middle", "", {ERROR_INTERNET_EXTENDED_ERROR}},
        {"drop-data-before-end", "", {ERROR_INTERNET_EXTENDED_ERROR}},
        {"drop-data-middle",
         "rst",
         {ERROR_INTERNET_CONNECTION_RESET, ERROR_INTERNET_EXTENDED_ERROR}},
    };
    for (const auto& c : cases) {
        for (DWORD flags : {DWORD{0}, INTERNET_FLAG_PASSIVE}) {
            SCOPED_TRACE(std::string(c.fault) + " " + c.arg + (flags ? " passive" : " active"));
            Start(c.fault, c.arg);
            Session s;
            Open(s, server_->address(), flags);
            ASSERT_NE(s.connection, nullptr);
            HINTERNET file =
                FtpOpenFileA(s.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
            ASSERT_NE(file, nullptr) << GetLastError();
            std::string got;
            SetLastError(kSentinel);
            EXPECT_FALSE(ReadAll(file, got));
            EXPECT_THAT(c.errors, testing::Contains(GetLastError()));
            EXPECT_LT(got.size(), content_.size());
            EXPECT_EQ(got, content_.substr(0, got.size()));
            InternetCloseHandle(file);
            // The session goes on after a failed transfer.
            EXPECT_TRUE(FtpSetCurrentDirectoryA(s.connection, "/")) << GetLastError();
        }
    }
}

TEST_F(FtpFaults, OnlyTheFirstTransferDropsWhenAsked) {
    Start("drop-first-transfer");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE), nullptr);
    const std::string local = Win(dir_.path / "copy.bin");
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpGetFileA(s_.connection, "data.bin", local.c_str(), FALSE, 0,
                             FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_FALSE(fs::exists(dir_.path / "copy.bin"));  // no partial file left behind
    EXPECT_TRUE(FtpGetFileA(s_.connection, "data.bin", local.c_str(), FALSE, 0,
                            FTP_TRANSFER_TYPE_BINARY, 0))
        << GetLastError();
    EXPECT_TRUE(ReadFile(dir_.path / "copy.bin") == content_);
}

TEST_F(FtpFaults, DroppedControlConnectionAbortsTheSession) {
    Start("drop-control");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE), nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    EXPECT_THAT(GetLastError(),
                testing::AnyOf(ERROR_INTERNET_CONNECTION_ABORTED, ERROR_INTERNET_CONNECTION_RESET));
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpSetCurrentDirectoryA(s_.connection, "/"));
    EXPECT_EQ(GetLastError(), ERROR_FTP_DROPPED);
}

TEST_F(FtpFaults, NamesWithLineBreaksAreRefusedBeforeAnythingIsSent) {
    Start();
    ASSERT_NE(Connect(), nullptr);
    const char* evil = "x\r\nDELE data.bin";
    WIN32_FIND_DATAA d;
    auto check = [](BOOL ok) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    };
    SetLastError(kSentinel);
    check(FtpDeleteFileA(s_.connection, evil));
    SetLastError(kSentinel);
    check(FtpRenameFileA(s_.connection, "data.bin", evil));
    SetLastError(kSentinel);
    check(FtpCreateDirectoryA(s_.connection, "a\nb"));
    SetLastError(kSentinel);
    check(FtpSetCurrentDirectoryA(s_.connection, evil));
    SetLastError(kSentinel);
    check(FtpOpenFileA(s_.connection, evil, GENERIC_READ, 0, 0) != nullptr);
    SetLastError(kSentinel);
    check(FtpFindFirstFileA(s_.connection, evil, &d, 0, 0) != nullptr);
    SetLastError(kSentinel);
    check(FtpGetFileA(s_.connection, evil, "Z:/tmp/never", FALSE, 0, 0, 0));
    EXPECT_TRUE(fs::exists(dir_.path / "data.bin"));
    const std::string seen = server_->ReceivedCommands();
    EXPECT_THAT(seen, Not(HasSubstr("DELE")));
    EXPECT_THAT(seen, Not(HasSubstr("RNFR")));
    EXPECT_THAT(seen, Not(HasSubstr("MKD")));
    EXPECT_THAT(seen, Not(HasSubstr("CWD")));
}

TEST_F(FtpFaults, HandlesAreCheckedBeforeUse) {
    Start();
    ASSERT_NE(Connect(), nullptr);
    int junk = 0;
    HINTERNET bogus = &junk;
    char buffer[16];
    DWORD n = 0;
    for (HINTERNET h : {HINTERNET{nullptr}, bogus}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(FtpDeleteFileA(h, "a"));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(kSentinel);
        EXPECT_FALSE(InternetReadFile(h, buffer, sizeof buffer, &n));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        SetLastError(kSentinel);
        EXPECT_FALSE(InternetCloseHandle(h));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    // A handle of the wrong kind.
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpDeleteFileA(s_.root, "a"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetReadFile(s_.connection, buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INCORRECT_HANDLE_TYPE);

    // Closing the connection closes the file under it.
    HINTERNET file = FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, 0, 0);
    ASSERT_NE(file, nullptr);
    EXPECT_TRUE(InternetCloseHandle(s_.connection));
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetReadFile(file, buffer, sizeof buffer, &n));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpDeleteFileA(s_.connection, "data.bin"));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    s_.connection = nullptr;
}

TEST_F(FtpFaults, LastReplyIsKeptPerThreadAlsoOnSuccess) {
    Start();
    ASSERT_NE(Connect(), nullptr);
    ASSERT_TRUE(FtpCreateDirectoryA(s_.connection, "q\"uote"));
    ASSERT_TRUE(FtpSetCurrentDirectoryA(s_.connection, "q\"uote"));
    EXPECT_THAT(LastResponse(), StartsWith("250"));
    char folder[64] = {};
    DWORD length = sizeof folder;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(s_.connection, folder, &length));
    EXPECT_STREQ(folder, "/q\"uote");
    EXPECT_THAT(LastResponse(), StartsWith("257 \"/q\"\"uote\""));
    EXPECT_THAT(LastResponse(), testing::EndsWith("\r\n"));

    std::string other;
    std::thread([&] { other = LastResponse(); }).join();
    EXPECT_EQ(other, "");

    char small[4];
    DWORD error = 0, size = sizeof small;
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetGetLastResponseInfoA(&error, small, &size));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(size, LastResponse().size() + 1);
}

TEST_F(FtpFaults, HugeFilesInTheListingKeepTheirHighBits) {
    WriteFile(dir_.path / "big.bin", "small really");
    for (bool mlsd : {true, false}) {
        Start("big-listing-entry", "", mlsd);
        Session s;
        Open(s, server_->address(), INTERNET_FLAG_PASSIVE);
        ASSERT_NE(s.connection, nullptr);
        WIN32_FIND_DATAA d;
        HINTERNET f = FtpFindFirstFileA(s.connection, "BIG.bin", &d, 0, 0);
        ASSERT_NE(f, nullptr) << GetLastError();
        EXPECT_EQ(d.nFileSizeLow, 705032704u);
        EXPECT_EQ(d.nFileSizeHigh, 1u);
        InternetCloseHandle(f);
    }
}

TEST_F(FtpFaults, TransferTypeIsSentOnlyWhenItChanges) {
    Start();
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE), nullptr);
    for (DWORD type :
         {FTP_TRANSFER_TYPE_BINARY, FTP_TRANSFER_TYPE_BINARY, FTP_TRANSFER_TYPE_ASCII}) {
        HINTERNET file = FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, type, 0);
        ASSERT_NE(file, nullptr);
        InternetCloseHandle(file);
    }
    const std::string seen = server_->ReceivedCommands();
    auto count = [&](const std::string& what) {
        std::size_t n = 0;
        for (std::size_t at = seen.find(what); at != std::string::npos;
             at = seen.find(what, at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(count("TYPE I"), 1u);
    EXPECT_EQ(count("TYPE A"), 1u);
    EXPECT_EQ(count("RETR"), 3u);
}

TEST_F(FtpFaults, Ipv6WorksInBothModes) {
    int probe = socket(AF_INET6, SOCK_STREAM, 0);
    sockaddr_in6 a{};
    a.sin6_family = AF_INET6;
    a.sin6_addr = in6addr_loopback;
    bool haveV6 = probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    if (probe >= 0) close(probe);
    if (!haveV6) GTEST_SKIP() << "no IPv6 loopback";
    Start("", "", true, "::1");
    for (DWORD flags : {DWORD{0}, INTERNET_FLAG_PASSIVE}) {
        Session s;
        Open(s, server_->address(), flags);
        ASSERT_NE(s.connection, nullptr) << GetLastError();
        HINTERNET file =
            FtpOpenFileA(s.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
        ASSERT_NE(file, nullptr) << GetLastError() << LastResponse();
        std::string got;
        EXPECT_TRUE(ReadAll(file, got));
        EXPECT_TRUE(got == content_);
        InternetCloseHandle(file);
    }
    EXPECT_THAT(server_->ReceivedCommands(), HasSubstr("EPRT |2|::1|"));
    EXPECT_THAT(server_->ReceivedCommands(), HasSubstr("EPSV"));
}

TEST(FtpAutodial, AnswersFromTheInterfacesUnlessOffline) {
    EXPECT_TRUE(InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr));
    wininet::SetAutodialOfflineForTesting(true);
    EXPECT_FALSE(InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr));
    wininet::SetAutodialOfflineForTesting(false);
    EXPECT_TRUE(InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr));
}

TEST(FtpOptions, TimeoutOptionsAreChecked) {
    HINTERNET root = InternetOpenA("t", 0, nullptr, nullptr, 0);
    ASSERT_NE(root, nullptr);
    DWORD ms = 500;
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetSetOptionA(root, 9999, &ms, sizeof ms));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_INVALID_OPTION);
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetSetOptionA(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, 2));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_BAD_OPTION_LENGTH);
    EXPECT_TRUE(InternetCloseHandle(root));
    SetLastError(kSentinel);
    EXPECT_FALSE(InternetSetOptionA(root, INTERNET_OPTION_RECEIVE_TIMEOUT, &ms, sizeof ms));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

}  // namespace
}  // namespace wininet_test

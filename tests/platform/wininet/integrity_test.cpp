// The service against servers that lose data, answer before the data connection or never
// finish a reply: nothing short is called a success, and no call outlives its deadline.
#include <gmock/gmock.h>

#include <chrono>

#include "service_session.h"

namespace wininet_test {
namespace {

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TEST_F(FtpFaults, ShortGetFileFailsAndLeavesNoFile) {
    Start("short-data");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE), nullptr);
    const fs::path local = dir_.path / "local" / "copy.bin";
    fs::create_directories(local.parent_path());
    // In ASCII mode too: line ends may grow on the way, never shrink.
    for (DWORD type : {FTP_TRANSFER_TYPE_BINARY, FTP_TRANSFER_TYPE_ASCII}) {
        SetLastError(kSentinel);
        EXPECT_FALSE(FtpGetFileA(s_.connection, "data.bin", Win(local).c_str(), FALSE, 0, type, 0));
        EXPECT_EQ(GetLastError(), ERROR_INTERNET_CONNECTION_ABORTED) << type;
        EXPECT_TRUE(fs::is_empty(local.parent_path()));
    }
}

TEST_F(FtpFaults, ActiveModeReplyAlreadyReceivedFailsAtOnce) {
    Start("active-425");
    ASSERT_NE(Connect(0, 5000), nullptr);
    const auto start = Clock::now();
    SetLastError(kSentinel);
    EXPECT_EQ(FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    EXPECT_LT(SecondsSince(start), 1.0);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_THAT(LastResponse(), StartsWith("425"));
}

TEST_F(FtpFaults, RefusedForeignConnectionIsDescribedNotTheServersSuccess) {
    Start("active-from-other");
    ASSERT_NE(Connect(0, 3000), nullptr);
    EXPECT_EQ(FtpOpenFileA(s_.connection, "data.bin", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0),
              nullptr);
    ASSERT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    const std::string text = LastResponse();
    EXPECT_THAT(text, Not(StartsWith("2")));
    EXPECT_THAT(text, HasSubstr("127.0.0.2"));
}

TEST_F(FtpFaults, TricklingServerIsGivenUpWithinTheDeadline) {
    // One byte every 0.2 s never lets a 1.5 s read timeout expire: only a bound on the whole
    // greeting or reply ends the wait.
    Start("trickle");
    auto start = Clock::now();
    EXPECT_EQ(Connect(0, 1500), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(SecondsSince(start), 3.0);

    Start("trickle", "PWD");
    Session s;
    Open(s, server_->address(), 0, 1500);
    ASSERT_NE(s.connection, nullptr);
    char folder[256];
    DWORD size = sizeof folder;
    start = Clock::now();
    EXPECT_FALSE(FtpGetCurrentDirectoryA(s.connection, folder, &size));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_TIMEOUT);
    EXPECT_LT(SecondsSince(start), 3.0);
}

TEST_F(FtpFaults, ListingIsBoundedByEntries) {
    Start("many-entries");
    ASSERT_NE(Connect(INTERNET_FLAG_PASSIVE, 10000), nullptr);
    WIN32_FIND_DATAA data;
    SetLastError(kSentinel);
    EXPECT_EQ(FtpFindFirstFileA(s_.connection, "*", &data, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_HTTP_INVALID_SERVER_RESPONSE);
}

TEST_F(FtpFaults, LoginReplyIsTheLastResponseAfterConnecting) {
    Start();
    ASSERT_NE(Connect(), nullptr);
    EXPECT_THAT(LastResponse(), StartsWith("230"));
}

}  // namespace
}  // namespace wininet_test

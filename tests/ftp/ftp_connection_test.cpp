#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "cftp_session.h"
#include "ftp/cFTP.h"
#include "platform/files/vb_error.h"
#include "platform/kernel/kernel.h"
#include "platform/wininet/wininet.h"

namespace {

using ftptest::FtpEnvironment;
using ftptest::Kind;
using ftptest::ServerCase;
using ftptest::ZoneScope;

const ServerCase kPyftpd{Kind::Pyftpdlib, true, true, "Pyftpd"};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

// A loopback port nobody listens on: bound, then released.
int ClosedPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return -1;
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

FILETIME FileTimeOf(std::uint64_t ticks) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(ticks);
    ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return ft;
}

TEST(FtpSettings, NewInstanceIsClosedAsciiActiveWithEmptyError) {
    cFTP ftp;
    EXPECT_EQ(ftp.ConnectionHandle(), nullptr);
    EXPECT_EQ(ftp.TransferType(), 1);
    EXPECT_EQ(ftp.ConnectFlags(), 0);
    EXPECT_EQ(ftp.GetLastErrorMessage(), "");
}

TEST(FtpSettings, DirectoryOfNewInstanceIsOneEmptyList) {
    cFTP ftp;
    const auto first = ftp.Directory();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->Count(), 0);
    EXPECT_EQ(ftp.Directory(), first);
}

TEST(FtpErrorText, ComposesOperationCodeAndMessage) {
    cFTP ftp;
    ftp.SetLastErrorMessage(99999, "SomeOperation");
    EXPECT_EQ(ftp.GetLastErrorMessage(), "SomeOperation error code: 99999 Message: ");
    ftp.SetLastErrorMessage(-7, "Other");
    EXPECT_EQ(ftp.GetLastErrorMessage(), "Other error code: -7 Message: ");

    ftp.SetLastErrorMessage(static_cast<std::int32_t>(ERROR_INTERNET_TIMEOUT), "Op");
    const std::string text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(StartsWith(text, "Op error code: 12002 Message: ")) << text;
    EXPECT_GT(text.size(), std::string("Op error code: 12002 Message: ").size()) << text;
}

TEST(FtpConnection, OfflineAutodialFailsAndRecordsNothing) {
    cFTP ftp;
    ftp.SetLastErrorMessage(99999, "Earlier");
    wininet::SetAutodialOfflineForTesting(true);
    const bool opened = ftp.OpenConnection("127.0.0.1:1", "u", "p");
    wininet::SetAutodialOfflineForTesting(false);
    EXPECT_FALSE(opened);
    EXPECT_EQ(ftp.ConnectionHandle(), nullptr);
    EXPECT_EQ(ftp.GetLastErrorMessage(), "Earlier error code: 99999 Message: ");
}

TEST(FtpConnection, RefusedConnectRecordsInternetConnectWithCode) {
    const int port = ClosedPort();
    ASSERT_GT(port, 0);
    cFTP ftp;
    EXPECT_FALSE(ftp.OpenConnection("127.0.0.1:" + std::to_string(port), "u", "p"));
    EXPECT_EQ(ftp.ConnectionHandle(), nullptr);
    const std::string text = ftp.GetLastErrorMessage();
    EXPECT_TRUE(StartsWith(text, "InternetConnect error code: ")) << text;
    EXPECT_EQ(text.find("error code: 12003"), std::string::npos) << text;
}

TEST(FtpConnection, ClosedInstanceOperationsFailWithInvalidHandle) {
    cFTP ftp;
    ftp.CloseConnection();
    EXPECT_EQ(ftp.GetLastErrorMessage(), "");

    EXPECT_EQ(ftp.GetFTPDirectory(), "");
    EXPECT_TRUE(StartsWith(ftp.GetLastErrorMessage(), "FtpGetCurrentDirectory error code: 6 "))
        << ftp.GetLastErrorMessage();

    EXPECT_EQ(ftp.GetDirectoryListing("*"), nullptr);
    EXPECT_TRUE(StartsWith(ftp.GetLastErrorMessage(), "FtpFindFirstFile error code: 6 "))
        << ftp.GetLastErrorMessage();
    EXPECT_EQ(ftp.Directory()->Count(), 0);
}

TEST(FtpConnection, ServerReplyAloneForExtendedError) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    ASSERT_TRUE(env.Open()) << env.ftp.GetLastErrorMessage();
    EXPECT_FALSE(env.ftp.DeleteFTPFile("missing.bin"));
    const std::string text = env.ftp.GetLastErrorMessage();
    EXPECT_TRUE(StartsWith(text, "550")) << text;
    EXPECT_EQ(text.find("error code"), std::string::npos) << text;
}

TEST(FtpConnection, SecondOpenReplacesTheFirstConnection) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    ASSERT_TRUE(env.Open());
    const HINTERNET first = env.ftp.ConnectionHandle();
    ASSERT_TRUE(env.ftp.SetFTPDirectory("/"));
    ASSERT_TRUE(env.Open());
    EXPECT_NE(env.ftp.ConnectionHandle(), nullptr);
    // The first connection was closed: the service no longer knows its handle.
    SetLastError(0xdeadbeef);
    EXPECT_FALSE(InternetCloseHandle(first));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/");

    env.ftp.CloseConnection();
    EXPECT_EQ(env.ftp.ConnectionHandle(), nullptr);
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "");
}

TEST(FtpConnection, ModeChangeAppliesFromTheNextOpen) {
    // This server makes its active-mode data connections from another address, which the
    // service refuses: only passive transfers get through.
    FtpEnvironment env;
    const ServerCase activeCase{Kind::Pyftpdlib, true, false, "Active"};
    if (!env.Start(activeCase, "active-from-other")) GTEST_SKIP() << "pyftpdlib not installed";
    testsupport::TempPrefix::WriteFile(env.Remote("f.bin"), "12345");
    ASSERT_TRUE(env.Open());
    env.ftp.SetModePassive();
    env.ftp.SetLastErrorMessage(99999, "Earlier");
    EXPECT_EQ(env.ftp.GetDirectoryListing("*"), nullptr);
    EXPECT_NE(env.ftp.GetLastErrorMessage(), "Earlier error code: 99999 Message: ");

    ASSERT_TRUE(env.Open());
    const auto list = env.ftp.GetDirectoryListing("*");
    ASSERT_NE(list, nullptr) << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(list->Item("f.bin")->FileSize, 5);
}

TEST(FileTimeToDate, EpochInUtcIsDayMinus109205) {
    ZoneScope zone("UTC");
    cFTP ftp;
    EXPECT_DOUBLE_EQ(ftp.FileTimeToDate(FileTimeOf(0)), -109205.0);
    // 2021-01-01 12:00 UTC: 13,253,977,200 s after 1601-01-01 is day 44197.5.
    EXPECT_DOUBLE_EQ(ftp.FileTimeToDate(FileTimeOf(132539760000000000ull)), 44197.5);
}

TEST(FileTimeToDate, LocalZoneOffsetIsApplied) {
    ZoneScope zone("UTC-3");  // POSIX sign: three hours east of UTC
    cFTP ftp;
    EXPECT_DOUBLE_EQ(ftp.FileTimeToDate(FileTimeOf(132539760000000000ull)), 44197.625);
}

TEST(FileTimeToDate, YearBeyond9999IsOverflow) {
    ZoneScope zone("UTC");
    cFTP ftp;
    try {
        ftp.FileTimeToDate(FileTimeOf(0x6000000000000000ull));
        FAIL() << "no error raised";
    } catch (const VbError& error) {
        EXPECT_EQ(error.Number, 6);
    }
}

}  // namespace

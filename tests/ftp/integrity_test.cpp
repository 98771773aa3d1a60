// cFTP where data could be lost or a failure taken for a success: refused and discarded
// uploads, ASCII downloads, folders with spaces, names with a NUL, undated entries.
#include <gmock/gmock.h>

#include <chrono>
#include <string>
#include <thread>
#include <type_traits>

#include "cftp_session.h"
#include "platform/files/vb_error.h"

namespace {

using ftptest::Bytes;
using ftptest::FtpEnvironment;
using ftptest::Kind;
using ftptest::ServerCase;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using testsupport::TempPrefix;
namespace fs = std::filesystem;

const ServerCase kPyftpd{Kind::Pyftpdlib, true, true, "Pyftpd"};

TEST(UploadNotSent, LeavesTheServersFileWhole) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    const std::string archive = Bytes(3000);
    TempPrefix::WriteFile(env.Remote("kelvoranx.zip"), archive);
    TempPrefix::WriteFile(env.LocalHost("big.zip"), "");
    fs::resize_file(env.LocalHost("big.zip"), 2147483648ull);  // sparse: 2 GiB
    ASSERT_TRUE(env.Open());

    EXPECT_THROW(env.ftp.FTPUploadFile(env.Local("no-such.zip"), "kelvoranx.zip"), VbError);
    EXPECT_FALSE(env.ftp.FTPUploadFile(env.Local("big.zip"), "kelvoranx.zip"));
    EXPECT_THAT(env.ftp.GetLastErrorMessage(), StartsWith("FTPUploadFile error code: 223"));
    EXPECT_FALSE(env.ftp.SimpleFTPPutFile(env.Local("no-such.zip"), "kelvoranx.zip"));

    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("kelvoranx.zip")), archive);
    EXPECT_THAT(env.server->ReceivedCommands(), Not(HasSubstr("STOR")));
}

TEST(UploadDiscarded, FinalReplyDecides) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd, "stor-452")) GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(env.LocalHost("up.zip"), Bytes(1000));
    ASSERT_TRUE(env.Open());
    EXPECT_FALSE(env.ftp.FTPUploadFile(env.Local("up.zip"), "up.zip"));
    EXPECT_THAT(env.ftp.GetLastErrorMessage(), StartsWith("452 Insufficient storage space."));
    EXPECT_TRUE(env.events.empty() || env.events.back() != ftptest::Event(1000, 1000));
}

TEST(AsciiDownload, IsWhatTheServerSends) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    std::string text, sent;
    for (int i = 0; i < 300; ++i) {
        text += "linha " + std::to_string(i) + "\n";
        sent += "linha " + std::to_string(i) + "\r\n";
    }
    TempPrefix::WriteFile(env.Remote("notes.txt"), text);
    ASSERT_TRUE(env.Open());
    env.ftp.SetTransferASCII();
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("notes.txt"), "notes.txt"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("notes.txt")), sent);

    const auto total = static_cast<std::int32_t>(text.size());
    ASSERT_EQ(env.events.size(), sent.size() / 255 + 1);
    EXPECT_EQ(env.events.back(), ftptest::Event(total, total));
    for (const auto& [current, eventTotal] : env.events) EXPECT_LE(current, eventTotal);
}

// The size the 150 reply announces, or without it the listed size (which the client checks
// itself, whatever the service below does): fewer bytes are a failure in ASCII mode too.
TEST(AsciiDownload, ShorterThanAnnouncedFails) {
    for (const char* announced : {"", "unannounced"}) {
        FtpEnvironment env;
        if (!env.Start(kPyftpd, "short-data", announced)) GTEST_SKIP() << "no pyftpdlib";
        TempPrefix::WriteFile(env.Remote("notes.txt"), std::string(600, 'x'));
        ASSERT_TRUE(env.Open());
        env.ftp.SetTransferASCII();
        EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("notes.txt"), "notes.txt")) << announced;
        EXPECT_THAT(env.ftp.GetLastErrorMessage(),
                    StartsWith("InternetReadFile error code: 12030"));
        EXPECT_NE(env.events.back(), ftptest::Event(600, 600));
    }
}

class FolderWithSpace : public testing::TestWithParam<ServerCase> {};

TEST_P(FolderWithSpace, FilesInItAreSizedAndDownloaded) {
    FtpEnvironment env;
    if (!env.Start(GetParam())) GTEST_SKIP() << "server not installed";
    const std::string archive = Bytes(700);
    TempPrefix::WriteFile(env.Remote("sub dir/a b.zip"), archive);
    ASSERT_TRUE(env.Open());
    EXPECT_EQ(env.ftp.GetFTPFileSize("sub dir/a b.zip"), 700) << env.ftp.GetLastErrorMessage();
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("a.zip"), "sub dir/a b.zip"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("a.zip")), archive);
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderWithSpace,
                         testing::Values(kPyftpd, ServerCase{Kind::Vsftpd, false, true, "Vsftpd"}),
                         ftptest::CaseName);

TEST(NulInName, IsRefusedBeforeAnythingIsSent) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    const auto& o = env.server->options();
    EXPECT_FALSE(
        env.ftp.OpenConnection(env.server->address(), o.user, o.password + std::string("\0x", 2)));
    EXPECT_THAT(env.ftp.GetLastErrorMessage(), StartsWith("InternetConnect error code: 87"));
    EXPECT_EQ(env.server->ReceivedCommands(), "");

    TempPrefix::WriteFile(env.Remote("victim.txt"), "keep");
    ASSERT_TRUE(env.Open());
    EXPECT_FALSE(env.ftp.DeleteFTPFile(std::string("victim.txt\0.bak", 15)));
    EXPECT_THAT(env.ftp.GetLastErrorMessage(), StartsWith("DeleteFTPFile error code: 87"));
    EXPECT_EQ(env.ftp.GetFTPFileSize(std::string("victim.txt\0", 11)), -2);
    EXPECT_TRUE(fs::exists(env.Remote("victim.txt")));
    EXPECT_THAT(env.server->ReceivedCommands(), Not(HasSubstr("DELE")));
}

TEST(Ownership, DestroyedInstanceClosesItsConnection) {
    static_assert(!std::is_copy_constructible_v<cFTP> && !std::is_copy_assignable_v<cFTP>);
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    const auto& o = env.server->options();
    auto ftp = std::make_unique<cFTP>();
    ftp->SetModePassive();
    ASSERT_TRUE(ftp->OpenConnection(env.server->address(), o.user, o.password));
    ftp.reset();
    for (int i = 0; i < 50 && env.server->ReceivedCommands().find("QUIT") == std::string::npos;
         ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    EXPECT_THAT(env.server->ReceivedCommands(), HasSubstr("QUIT"));
}

TEST(UndatedEntry, HasDateZeroWestOfUtcWithNoMessageBox) {
    ftptest::ZoneScope zone("America/Sao_Paulo");
    FtpEnvironment env;
    if (!env.Start(kPyftpd, "undated-entry")) GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(env.Remote("undated.txt"), "a");
    TempPrefix::WriteFile(env.Remote("dated.txt"), "b");
    ASSERT_TRUE(env.Open());
    const auto list = env.ftp.GetDirectoryListing("*");
    ASSERT_NE(list, nullptr) << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(list->Item("undated.txt")->LastWriteTime, 0);
    EXPECT_EQ(list->Item("undated.txt")->CreationTime, 0);
    EXPECT_GT(list->Item("dated.txt")->LastWriteTime, 40000);
    EXPECT_TRUE(env.messageBoxes.empty());
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cftp_session.h"
#include "platform/files/vb_error.h"

namespace {

using ftptest::Bytes;
using ftptest::Event;
using ftptest::FtpEnvironment;
using ftptest::Kind;
using ftptest::ServerCase;
using testsupport::TempPrefix;

const ServerCase kPyftpd{Kind::Pyftpdlib, true, true, "Pyftpd"};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

class ChunkedTransfer : public testing::TestWithParam<ServerCase> {
  protected:
    void SetUp() override {
        if (!env.Start(GetParam())) GTEST_SKIP() << "server not installed";
        ASSERT_TRUE(env.Open()) << env.ftp.GetLastErrorMessage();
    }
    FtpEnvironment env;
};

TEST_P(ChunkedTransfer, DownloadOf510BytesRaisesTwoChunkEventsAndTheFinalOne) {
    const std::string data = Bytes(510);
    TempPrefix::WriteFile(env.Remote("two.bin"), data);
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("two.bin"), "two.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.events, (std::vector<Event>{{255, 510}, {510, 510}, {510, 510}}));
    EXPECT_EQ(env.yields, 2);
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("two.bin")), data);
}

TEST_P(ChunkedTransfer, DownloadShorterThanAChunkRaisesOnlyTheFinalEvent) {
    const std::string data = Bytes(100);
    TempPrefix::WriteFile(env.Remote("small.bin"), data);
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("small.bin"), "/small.bin"));
    EXPECT_EQ(env.events, (std::vector<Event>{{100, 100}}));
    EXPECT_EQ(env.yields, 0);
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("small.bin")), data);
}

TEST_P(ChunkedTransfer, LargerBinaryFilesTravelByteExactBothWays) {
    const std::string data = Bytes(300000, 11);  // not a multiple of 255, holds CR, LF and NUL
    TempPrefix::WriteFile(env.Remote("big.bin"), data);
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("big.bin"), "big.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("big.bin")), data);
    ASSERT_EQ(env.events.size(), 300000u / 255 + 1);
    EXPECT_EQ(env.events.back(), (Event{300000, 300000}));

    env.events.clear();
    ASSERT_TRUE(env.ftp.FTPUploadFile(env.Local("big.bin"), "copy.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("copy.bin")), data);
    EXPECT_EQ(env.events.back(), (Event{300000, 300000}));
}

TEST_P(ChunkedTransfer, UploadOf510BytesRaisesTwoChunkEventsAndTheFinalOne) {
    const std::string data = Bytes(510, 3);
    TempPrefix::WriteFile(env.LocalHost("up.bin"), data);
    ASSERT_TRUE(env.ftp.FTPUploadFile(env.Local("up.bin"), "up.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.events, (std::vector<Event>{{255, 510}, {510, 510}, {510, 510}}));
    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("up.bin")), data);
}

TEST_P(ChunkedTransfer, UploadOfAnExactMultipleRepeatsTheLastEvent) {
    const std::string data = Bytes(765, 5);
    TempPrefix::WriteFile(env.LocalHost("three.bin"), data);
    ASSERT_TRUE(env.ftp.FTPUploadFile(env.Local("three.bin"), "three.bin"));
    EXPECT_EQ(env.events, (std::vector<Event>{{255, 765}, {510, 765}, {765, 765}, {765, 765}}));
    EXPECT_EQ(env.yields, 3);
    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("three.bin")), data);
}

TEST_P(ChunkedTransfer, EmptyUploadCreatesAnEmptyRemoteFile) {
    TempPrefix::WriteFile(env.LocalHost("empty.bin"), "");
    ASSERT_TRUE(env.ftp.FTPUploadFile(env.Local("empty.bin"), "empty.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.events, (std::vector<Event>{{0, 0}}));
    ASSERT_TRUE(ftptest::fs::exists(env.Remote("empty.bin")));
    EXPECT_EQ(ftptest::fs::file_size(env.Remote("empty.bin")), 0u);
}

INSTANTIATE_TEST_SUITE_P(Servers, ChunkedTransfer, testing::ValuesIn(ftptest::AllServerCases()),
                         ftptest::CaseName);

class ChunkedDownload : public testing::Test {
  protected:
    void Start(std::string fault = {}, std::string faultArg = {}) {
        if (!env.Start(kPyftpd, std::move(fault), std::move(faultArg))) {
            GTEST_SKIP() << "pyftpdlib not installed";
        }
        ASSERT_TRUE(env.Open()) << env.ftp.GetLastErrorMessage();
    }
    FtpEnvironment env;
};

TEST_F(ChunkedDownload, EmptyRemoteFileFailsWithoutLocalFileOrText) {
    Start();
    TempPrefix::WriteFile(env.Remote("zero.bin"), "");
    EXPECT_EQ(env.ftp.GetFTPFileSize("zero.bin"), 0);
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("zero.bin"), "zero.bin"));
    EXPECT_FALSE(ftptest::fs::exists(env.LocalHost("zero.bin")));
    EXPECT_EQ(env.ftp.GetLastErrorMessage(), "");
    EXPECT_TRUE(env.events.empty());
}

TEST_F(ChunkedDownload, MissingRemoteKeepsTheEarlierText) {
    Start();
    env.ftp.SetLastErrorMessage(99999, "Earlier");
    const std::string earlier = env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.ftp.GetFTPFileSize("nothing-here.bin"), -1);
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("x.bin"), "nothing-here.bin"));
    EXPECT_EQ(env.ftp.GetLastErrorMessage(), earlier);
    EXPECT_FALSE(ftptest::fs::exists(env.LocalHost("x.bin")));
}

TEST_F(ChunkedDownload, NameWithSpacesAndSurroundingSpaces) {
    Start();
    const std::string data = Bytes(600);
    TempPrefix::WriteFile(env.Remote("my file.zip"), data);
    EXPECT_EQ(env.ftp.GetFTPFileSize("my file.zip"), 600);
    ASSERT_TRUE(env.ftp.FTPDownloadFile("  " + env.Local("my copy.zip") + "  ", "  my file.zip "))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("my copy.zip")), data);
}

TEST_F(ChunkedDownload, PathsOfOnlySpacesFailWithoutText) {
    Start();
    TempPrefix::WriteFile(env.Remote("a.bin"), "abc");
    TempPrefix::WriteFile(env.LocalHost("a.bin"), "abc");
    EXPECT_FALSE(env.ftp.FTPDownloadFile("   ", "a.bin"));
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("a.bin"), "  "));
    EXPECT_FALSE(env.ftp.FTPUploadFile("", "a.bin"));
    EXPECT_FALSE(env.ftp.FTPUploadFile(env.Local("a.bin"), " "));
    EXPECT_EQ(env.ftp.GetLastErrorMessage(), "");
    EXPECT_TRUE(env.events.empty());
}

TEST_F(ChunkedDownload, LongerExistingLocalFileIsCutToTheDownload) {
    Start();
    const std::string data = Bytes(510, 9);
    TempPrefix::WriteFile(env.Remote("f.bin"), data);
    TempPrefix::WriteFile(env.LocalHost("f.bin"), std::string(5000, 'x'));
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("f.bin"), "f.bin"));
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("f.bin")), data);
}

TEST_F(ChunkedDownload, DroppedDataConnectionFailsAndKeepsTheGoodChunks) {
    Start("drop-data-middle");  // the server sends half of the file, then breaks off
    const std::string data = Bytes(400000, 13);
    TempPrefix::WriteFile(env.Remote("drop.bin"), data);
    TempPrefix::WriteFile(env.LocalHost("drop.bin"), std::string(600000, 'x'));
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("drop.bin"), "drop.bin"));
    // Recorded under the chunk's label, or the server's own 426 reply when the service has it.
    const std::string text = env.ftp.GetLastErrorMessage();
    EXPECT_TRUE(StartsWith(text, "InternetReadFile error code: ") || StartsWith(text, "426"))
        << text;
    ASSERT_FALSE(env.events.empty());
    const Event last = env.events.back();
    EXPECT_LT(last.first, 400000);
    EXPECT_EQ(last.first % 255, 0);
    EXPECT_EQ(last.second, 400000);
    // Only the chunks reported as done are in the local file, the old longer content is gone.
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("drop.bin")),
              data.substr(0, static_cast<std::size_t>(last.first)));
}

TEST_F(ChunkedDownload, DataEndingBeforeTheListedSizeFails) {
    Start();
    const std::string data = Bytes(32 << 20, 17);
    TempPrefix::WriteFile(env.Remote("shrinks.bin"), data);
    TempPrefix::WriteFile(env.LocalHost("shrinks.bin"), std::string(33 << 20, 'x'));
    // The server's file is cut while the transfer runs: the data ends early with a normal
    // end-of-transfer reply, so only the count read can tell.
    env.ftp.FileTransferProgress = [&](std::int32_t& current, std::int32_t& total) {
        if (env.events.empty()) ftptest::fs::resize_file(env.Remote("shrinks.bin"), 0);
        env.events.emplace_back(current, total);
    };
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("shrinks.bin"), "shrinks.bin"));
    EXPECT_TRUE(StartsWith(env.ftp.GetLastErrorMessage(), "InternetReadFile error code: 12030 "))
        << env.ftp.GetLastErrorMessage();
    ASSERT_FALSE(env.events.empty());
    const Event last = env.events.back();
    EXPECT_LT(last.first, 32 << 20);
    EXPECT_EQ(ftptest::fs::file_size(env.LocalHost("shrinks.bin")),
              static_cast<std::uintmax_t>(last.first));
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("shrinks.bin")),
              data.substr(0, static_cast<std::size_t>(last.first)));
}

TEST_F(ChunkedDownload, RemoteOf5000000000BytesIsRefused) {
    Start("big-listing-entry", "huge.bin");  // listed as 5,000,000,000 bytes
    TempPrefix::WriteFile(env.Remote("huge.bin"), Bytes(1000));
    // The size lookup itself reads only the low 32 bits.
    EXPECT_EQ(env.ftp.GetFTPFileSize("huge.bin"), 705032704);
    EXPECT_FALSE(env.ftp.FTPDownloadFile(env.Local("huge.bin"), "huge.bin"));
    EXPECT_TRUE(StartsWith(env.ftp.GetLastErrorMessage(), "FTPDownloadFile error code: 223 "))
        << env.ftp.GetLastErrorMessage();
    EXPECT_FALSE(ftptest::fs::exists(env.LocalHost("huge.bin")));
    EXPECT_TRUE(env.events.empty());
}

TEST_F(ChunkedDownload, LocalFileErrorIsRaisedAndTheRemoteFileClosed) {
    Start();
    TempPrefix::WriteFile(env.Remote("r.bin"), Bytes(300));
    try {
        env.ftp.FTPDownloadFile(env.Local("no-such-folder\\r.bin"), "r.bin");
        FAIL() << "no error raised";
    } catch (const VbError& error) {
        EXPECT_EQ(error.Number, 76);
    }
    // With the remote file still open the connection would refuse the next command.
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/") << env.ftp.GetLastErrorMessage();
    EXPECT_TRUE(env.ftp.FTPDownloadFile(env.Local("r.bin"), "r.bin"));
}

TEST_F(ChunkedDownload, TransferStartedFromTheProgressHandlerIsRefused) {
    Start();
    const std::string data = Bytes(1000);
    TempPrefix::WriteFile(env.Remote("outer.bin"), data);
    TempPrefix::WriteFile(env.Remote("inner.bin"), Bytes(10));
    std::vector<bool> nested;
    env.ftp.FileTransferProgress = [&](std::int32_t&, std::int32_t&) {
        if (nested.empty()) {
            nested.push_back(env.ftp.FTPDownloadFile(env.Local("inner.bin"), "inner.bin"));
            nested.push_back(env.ftp.FTPUploadFile(env.Local("outer.bin"), "x.bin"));
        }
    };
    ASSERT_TRUE(env.ftp.FTPDownloadFile(env.Local("outer.bin"), "outer.bin"));
    EXPECT_EQ(nested, (std::vector<bool>{false, false}));
    EXPECT_TRUE(StartsWith(env.ftp.GetLastErrorMessage(), "FTPUploadFile error code: 12110 "))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("outer.bin")), data);
    EXPECT_FALSE(ftptest::fs::exists(env.LocalHost("inner.bin")));
}

TEST(ChunkedUpload, MissingLocalFileIsRaisedAndTheConnectionStaysUsable) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    ASSERT_TRUE(env.Open());
    try {
        env.ftp.FTPUploadFile(env.Local("absent.bin"), "absent.bin");
        FAIL() << "no error raised";
    } catch (const VbError& error) {
        EXPECT_EQ(error.Number, 53);
    }
    EXPECT_TRUE(env.events.empty());
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/") << env.ftp.GetLastErrorMessage();
}

TEST(ChunkedUpload, RemoteThatCannotBeOpenedFailsWithTheServersReply) {
    FtpEnvironment env;
    if (!env.Start(kPyftpd)) GTEST_SKIP() << "pyftpdlib not installed";
    ASSERT_TRUE(env.Open());
    TempPrefix::WriteFile(env.LocalHost("u.bin"), Bytes(10));
    EXPECT_FALSE(env.ftp.FTPUploadFile(env.Local("u.bin"), "no-such-folder/u.bin"));
    EXPECT_TRUE(StartsWith(env.ftp.GetLastErrorMessage(), "5")) << env.ftp.GetLastErrorMessage();
    EXPECT_TRUE(env.events.empty());
}

}  // namespace

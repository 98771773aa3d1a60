#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "cftp_session.h"

namespace {

using ftptest::Bytes;
using ftptest::FtpEnvironment;
using ftptest::Kind;
using ftptest::ServerCase;
using testsupport::TempPrefix;
namespace fs = std::filesystem;

const ServerCase kPyftpd{Kind::Pyftpdlib, true, true, "Pyftpd"};

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.rfind(prefix, 0) == 0;
}

TEST(SimpleOperations, ClosedInstanceRecordsEachOperationsLabel) {
    FtpEnvironment env;
    cFTP& ftp = env.ftp;
    TempPrefix::WriteFile(env.LocalHost("l.bin"), "x");
    const std::vector<std::pair<std::string, std::function<bool()>>> operations = {
        {"SimpleFtpPutFile", [&] { return ftp.SimpleFTPPutFile(env.Local("l.bin"), "r.bin"); }},
        {"RenameFTPFile", [&] { return ftp.RenameFTPFile("a", "b"); }},
        {"CreateFTPDirectory", [&] { return ftp.CreateFTPDirectory("d"); }},
        {"RemoveFTPDirectory", [&] { return ftp.RemoveFTPDirectory("d"); }},
        {"DeleteFTPFile", [&] { return ftp.DeleteFTPFile("r.bin"); }},
        {"SimpleFtpGetFile", [&] { return ftp.SimpleFTPGetFile(env.Local("g.bin"), "r.bin"); }},
        {"FtpSetCurrentDirectory", [&] { return ftp.SetFTPDirectory("/"); }},
        {"FtpGetCurrentDirectory", [&] { return !ftp.GetFTPDirectory().empty(); }},
    };
    for (const auto& [label, operation] : operations) {
        EXPECT_FALSE(operation()) << label;
        EXPECT_TRUE(StartsWith(ftp.GetLastErrorMessage(), label + " error code: 6 Message: "))
            << ftp.GetLastErrorMessage();
    }
    EXPECT_TRUE(env.events.empty());
}

class SimpleOperationsOnServer : public testing::TestWithParam<ServerCase> {
  protected:
    void SetUp() override {
        if (!env.Start(GetParam())) GTEST_SKIP() << "server not installed";
        ASSERT_TRUE(env.Open()) << env.ftp.GetLastErrorMessage();
    }
    FtpEnvironment env;
};

TEST_P(SimpleOperationsOnServer, WholeFileTransfersReplaceAndRaiseNoEvents) {
    const std::string data = Bytes(70000, 21);
    TempPrefix::WriteFile(env.LocalHost("src.bin"), data);
    ASSERT_TRUE(env.ftp.SimpleFTPPutFile(env.Local("src.bin"), "put.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("put.bin")), data);

    TempPrefix::WriteFile(env.LocalHost("dst.bin"), std::string(100000, 'o'));
    ASSERT_TRUE(env.ftp.SimpleFTPGetFile(env.Local("dst.bin"), "put.bin"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(TempPrefix::ReadFile(env.LocalHost("dst.bin")), data);
    EXPECT_TRUE(env.events.empty());
    EXPECT_EQ(env.yields, 0);
}

TEST_P(SimpleOperationsOnServer, RenameDeleteAndFolders) {
    TempPrefix::WriteFile(env.Remote("old name.txt"), "abc");
    ASSERT_TRUE(env.ftp.RenameFTPFile("old name.txt", "new name.txt"))
        << env.ftp.GetLastErrorMessage();
    EXPECT_FALSE(fs::exists(env.Remote("old name.txt")));
    EXPECT_EQ(TempPrefix::ReadFile(env.Remote("new name.txt")), "abc");

    ASSERT_TRUE(env.ftp.DeleteFTPFile("new name.txt")) << env.ftp.GetLastErrorMessage();
    EXPECT_FALSE(fs::exists(env.Remote("new name.txt")));

    ASSERT_TRUE(env.ftp.CreateFTPDirectory("made")) << env.ftp.GetLastErrorMessage();
    EXPECT_TRUE(fs::is_directory(env.Remote("made")));
    ASSERT_TRUE(env.ftp.RemoveFTPDirectory("made")) << env.ftp.GetLastErrorMessage();
    EXPECT_FALSE(fs::exists(env.Remote("made")));
}

TEST_P(SimpleOperationsOnServer, ServerRefusalsLeaveTheServersReply) {
    const std::vector<std::function<bool()>> refused = {
        [&] { return env.ftp.DeleteFTPFile("missing.txt"); },
        [&] { return env.ftp.RenameFTPFile("missing.txt", "other.txt"); },
        [&] { return env.ftp.RemoveFTPDirectory("missing-folder"); },
        [&] { return env.ftp.SetFTPDirectory("missing-folder"); },
        [&] { return env.ftp.SimpleFTPGetFile(env.Local("g.bin"), "missing.txt"); },
    };
    for (std::size_t i = 0; i < refused.size(); ++i) {
        env.ftp.SetLastErrorMessage(99999, "Earlier");
        EXPECT_FALSE(refused[i]()) << i;
        const std::string text = env.ftp.GetLastErrorMessage();
        EXPECT_TRUE(StartsWith(text, "5")) << i << ": " << text;
        EXPECT_EQ(text.find("error code"), std::string::npos) << i << ": " << text;
    }
}

TEST_P(SimpleOperationsOnServer, CurrentFolderAsTheServerNamesIt) {
    fs::create_directories(env.Remote("sub dir") / "say \"hi\"");
    TempPrefix::WriteFile(env.Remote("sub dir") / "inner.bin", Bytes(300));
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/");

    ASSERT_TRUE(env.ftp.SetFTPDirectory("sub dir")) << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/sub dir");
    // Later transfers take relative names from the new folder.
    EXPECT_EQ(env.ftp.GetFTPFileSize("inner.bin"), 300);
    EXPECT_TRUE(env.ftp.FTPDownloadFile(env.Local("inner.bin"), "inner.bin"));

    ASSERT_TRUE(env.ftp.SetFTPDirectory("say \"hi\"")) << env.ftp.GetLastErrorMessage();
    EXPECT_EQ(env.ftp.GetFTPDirectory(), "/sub dir/say \"hi\"");
}

INSTANTIATE_TEST_SUITE_P(Servers, SimpleOperationsOnServer,
                         testing::ValuesIn(ftptest::AllServerCases()), ftptest::CaseName);

}  // namespace

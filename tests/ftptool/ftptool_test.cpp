#include <sys/wait.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "ftptool/progress_bar.h"
#include "support/bytes.h"
#include "support/ftp_servers.h"
#include "support/prefix.h"
#include "support/signing.h"

namespace {

namespace fs = std::filesystem;
using testsupport::FtpServer;
using testsupport::TempPrefix;

std::string Quote(const std::string& word) {
    std::string quoted = "'";
    for (char c : word) {
        if (c == '\'') {
            quoted += "'\\''";
        } else {
            quoted += c;
        }
    }
    return quoted + "'";
}

struct Result {
    int status = -1;
    std::string out;
    std::string err;
};

// Runs the tool in a folder with extra environment settings, stdin closed.
Result RunTool(const fs::path& folder, const std::vector<std::string>& args,
               const std::string& environment = "") {
    const fs::path out = folder / ".out";
    const fs::path err = folder / ".err";
    std::string command = "cd " + Quote(folder.string()) + " && env -u KELVORAN_FTP_PASSWORD " +
                          environment + " " + Quote(KELVORAN_FTP_BINARY);
    for (const auto& arg : args) command += " " + Quote(arg);
    command += " </dev/null >" + Quote(out.string()) + " 2>" + Quote(err.string());
    const int raw = std::system(command.c_str());
    Result result;
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = TempPrefix::ReadFile(out);
    result.err = TempPrefix::ReadFile(err);
    fs::remove(out);
    fs::remove(err);
    return result;
}

TEST(ProgressBar, ShowsBarPercentAndAmounts) {
    EXPECT_EQ(ftptool::FormatProgress(1258291, 2831155, 20),
              "[########............]  44%  1.2/2.7 MiB");
    EXPECT_EQ(ftptool::FormatProgress(0, 0, 4), "[####] 100%  0/0 B");
    EXPECT_EQ(ftptool::FormatProgress(512, 2048, 4), "[#...]  25%  0.5/2.0 KiB");
}

class FtpTool : public testing::Test {
  protected:
    void SetUp() override {
        work = prefix.root / "cli";
        root = prefix.root / "server";
        fs::create_directories(work);
        fs::create_directories(root);
    }
    bool StartServer(const std::string& password = testsupport::kFtpPassword,
                     const std::string& fault = "") {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib)) return false;
        testsupport::FtpServerOptions options;
        options.root = root;
        options.password = password;
        options.fault = fault;
        server = std::make_unique<FtpServer>(FtpServer::Kind::Pyftpdlib, options);
        return true;
    }
    std::vector<std::string> With(std::vector<std::string> args) {
        args.insert(args.begin(), {"--server", server->address(), "--passive"});
        return args;
    }

    TempPrefix prefix;
    fs::path work;
    fs::path root;
    std::unique_ptr<FtpServer> server;
};

TEST_F(FtpTool, UsageErrorsExitWith2) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {}, {"frobnicate"}, {"mv", "only-one"}, {"--bogus", "ls"}, {"pwd", "extra"}}) {
        const Result r = RunTool(work, args);
        EXPECT_EQ(r.status, 2) << r.err;
        EXPECT_NE(r.err.find("usage: kelvoran-ftp"), std::string::npos) << r.err;
    }
}

TEST_F(FtpTool, PasswordOnTheCommandLineIsRefused) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--password", "secret", "ls"}, {"--password=secret", "ls"}, {"-p", "secret", "ls"}}) {
        const Result r = RunTool(work, args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("not accepted on the command line"), std::string::npos) << r.err;
    }
}

TEST_F(FtpTool, PutAndLsListTheEntries) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    const std::string data = testsupport::Bytes(700000);
    TempPrefix::WriteFile(work / "upload me.bin", data);
    fs::create_directories(root / "Folder");

    const Result put = RunTool(work, With({"put", "upload me.bin"}));
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(TempPrefix::ReadFile(root / "upload me.bin"), data);
    // Not a terminal: no progress bar.
    EXPECT_EQ(put.err, "");

    const Result ls = RunTool(work, With({"ls"}));
    ASSERT_EQ(ls.status, 0) << ls.err;
    EXPECT_NE(ls.out.find("-       700000 "), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find(" upload me.bin\n"), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find("d "), std::string::npos) << ls.out;
    EXPECT_NE(ls.out.find(" Folder\n"), std::string::npos) << ls.out;
    // type, size, "yyyy-mm-dd hh:mm", name
    EXPECT_TRUE(std::regex_search(
        ls.out, std::regex(R"(- +700000 \d{4}-\d\d-\d\d \d\d:\d\d upload me\.bin)")))
        << ls.out;

    const Result get = RunTool(work, With({"get", "upload me.bin", "back.bin"}));
    ASSERT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(TempPrefix::ReadFile(work / "back.bin"), data);
}

TEST_F(FtpTool, FolderCommandsAndFailures) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    EXPECT_EQ(RunTool(work, With({"mkdir", "made"})).status, 0);
    EXPECT_TRUE(fs::is_directory(root / "made"));
    TempPrefix::WriteFile(root / "a.txt", "a");
    EXPECT_EQ(RunTool(work, With({"mv", "a.txt", "made/b.txt"})).status, 0);
    EXPECT_TRUE(fs::exists(root / "made" / "b.txt"));
    EXPECT_EQ(RunTool(work, With({"rm", "made/b.txt"})).status, 0);
    EXPECT_EQ(RunTool(work, With({"rmdir", "made"})).status, 0);
    EXPECT_FALSE(fs::exists(root / "made"));
    const Result pwd = RunTool(work, With({"pwd"}));
    EXPECT_EQ(pwd.status, 0);
    EXPECT_EQ(pwd.out, "/\n");

    const Result rm = RunTool(work, With({"rm", "missing.txt"}));
    EXPECT_EQ(rm.status, 1);
    EXPECT_EQ(rm.err.rfind("kelvoran-ftp: " + server->address() + ": no such file", 0), 0u)
        << rm.err;
    EXPECT_NE(rm.err.find("(550 "), std::string::npos) << rm.err;

    const Result get = RunTool(work, With({"get", "missing.txt"}));
    EXPECT_EQ(get.status, 1);
    EXPECT_NE(get.err.find("missing.txt"), std::string::npos) << get.err;
    EXPECT_FALSE(fs::exists(work / "missing.txt"));

    const Result put = RunTool(work, With({"put", "absent.bin"}));
    EXPECT_EQ(put.status, 1);
    EXPECT_NE(put.err.find("Error 53"), std::string::npos) << put.err;
}

TEST_F(FtpTool, PasswordFromTheEnvironment) {
    if (!StartServer("an-other-secret")) GTEST_SKIP() << "pyftpdlib not installed";
    const Result builtIn = RunTool(work, With({"pwd"}));
    EXPECT_EQ(builtIn.status, 1);
    EXPECT_FALSE(builtIn.err.empty());
    const Result fromEnvironment =
        RunTool(work, With({"pwd"}), "KELVORAN_FTP_PASSWORD=" + Quote("an-other-secret"));
    EXPECT_EQ(fromEnvironment.status, 0) << fromEnvironment.err;
    EXPECT_EQ(fromEnvironment.out, "/\n");
}

TEST(ProgressBar, ShowsRateAndTimeLeft) {
    EXPECT_EQ(ftptool::FormatRate(3 << 20, 9 << 20, 2.0), "  1.5 MiB/s  0:04 left");
    EXPECT_EQ(ftptool::FormatRate(0, 100, 1.0), "");
}

TEST_F(FtpTool, HelpVersionAndBadPortExitCodes) {
    for (const char* help : {"--help", "-h"}) {
        const Result r = RunTool(work, {help});
        EXPECT_EQ(r.status, 0);
        EXPECT_NE(r.out.find("usage: kelvoran-ftp"), std::string::npos) << r.out;
        EXPECT_NE(r.out.find("The server is "), std::string::npos) << r.out;
    }
    const Result version = RunTool(work, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("kelvoran-ftp ", 0), 0u) << version.out;
    for (const char* server : {"127.0.0.1:99999", "127.0.0.1:0", "127.0.0.1:x"}) {
        const Result r = RunTool(work, {"--server", server, "pwd"});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("invalid port"), std::string::npos) << r.err;
    }
}

TEST_F(FtpTool, ErrorsNameTheServerAndWhatFailed) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    const std::string login = RunTool(work, With({"pwd"}), "KELVORAN_FTP_PASSWORD=wrong").err;
    EXPECT_EQ(login.rfind("kelvoran-ftp: " + server->address() + ": login refused", 0), 0u)
        << login;
    const std::string missing = RunTool(work, With({"get", "missing.txt"})).err;
    EXPECT_NE(missing.find(server->address() + ": missing.txt: no such file"), std::string::npos)
        << missing;
    const std::string gone = "127.0.0.1:" + std::to_string(server->port());
    server.reset();
    const std::string refused = RunTool(work, {"--server", gone, "pwd"}).err;
    EXPECT_EQ(refused.rfind("kelvoran-ftp: " + gone + ": connection refused", 0), 0u) << refused;
}

TEST_F(FtpTool, PassiveIsTheDefault) {
    // Active data connections from this server come from a foreign address and are refused.
    if (!StartServer(testsupport::kFtpPassword, "active-from-other"))
        GTEST_SKIP() << "pyftpdlib not installed";
    const std::string address = server->address();
    EXPECT_EQ(RunTool(work, {"--server", address, "ls"}).status, 0);
    EXPECT_EQ(RunTool(work, {"--server", address, "--active", "ls"}).status, 1);
}

// The files in a folder, names only.
std::vector<std::string> Names(const fs::path& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(folder)) names.push_back(e.path().filename());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(FtpTool, FailedPutLeavesTheOldFileWhole) {
    if (!StartServer(testsupport::kFtpPassword, "stor-452"))
        GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(root / "kelvoranx.zip", "old archive");
    TempPrefix::WriteFile(work / "new.zip", "new archive");
    EXPECT_EQ(RunTool(work, With({"put", "no-such.zip", "kelvoranx.zip"})).status, 1);
    const Result discarded = RunTool(work, With({"put", "new.zip", "kelvoranx.zip"}));
    EXPECT_EQ(discarded.status, 1);
    EXPECT_NE(discarded.err.find("no space left on the server (452"), std::string::npos)
        << discarded.err;
    EXPECT_EQ(TempPrefix::ReadFile(root / "kelvoranx.zip"), "old archive");
    EXPECT_EQ(Names(root), std::vector<std::string>{"kelvoranx.zip"});
}

TEST_F(FtpTool, PutReplacesTheFileOnlyWhenComplete) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(root / "kelvoranx.zip", "old archive");
    TempPrefix::WriteFile(work / "new.zip", "new archive");
    EXPECT_EQ(RunTool(work, With({"put", "new.zip", "kelvoranx.zip"})).status, 0);
    EXPECT_EQ(TempPrefix::ReadFile(root / "kelvoranx.zip"), "new archive");
    EXPECT_EQ(Names(root), std::vector<std::string>{"kelvoranx.zip"});
    EXPECT_NE(server->ReceivedCommands().find("STOR .kelvoranx.zip.part-"), std::string::npos);
}

TEST_F(FtpTool, FailedGetLeavesNoPartialFile) {
    if (!StartServer(testsupport::kFtpPassword, "short-data"))
        GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(root / "data.bin", std::string(5000, 'x'));
    EXPECT_EQ(RunTool(work, With({"get", "data.bin"})).status, 1);
    EXPECT_TRUE(fs::is_empty(work));
}

TEST_F(FtpTool, GetToStandardOutput) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    const std::string data(3000, 'z');
    TempPrefix::WriteFile(root / "data.bin", data);
    const Result r = RunTool(work, With({"get", "data.bin", "-"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, data);
    EXPECT_TRUE(fs::is_empty(work));
}

TEST_F(FtpTool, LsShowsFullSizesAndFolderContents) {
    if (!StartServer(testsupport::kFtpPassword, "big-listing-entry"))
        GTEST_SKIP() << "pyftpdlib not installed";
    TempPrefix::WriteFile(root / "big.bin", "b");
    TempPrefix::WriteFile(root / "Folder" / "inside.txt", "i");
    const Result all = RunTool(work, With({"ls"}));
    EXPECT_NE(all.out.find("-   5000000000 "), std::string::npos) << all.out;
    const Result folder = RunTool(work, With({"ls", "Folder"}));
    EXPECT_EQ(folder.status, 0) << folder.err;
    EXPECT_NE(folder.out.find(" inside.txt\n"), std::string::npos) << folder.out;
    EXPECT_EQ(folder.out.find(" Folder\n"), std::string::npos) << folder.out;
}

}  // namespace

namespace {

TEST_F(FtpTool, SignedPutIsWhatVerifyAndTheOpensslCommandLineAccept) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    const std::string archive = testsupport::Bytes(5000);
    TempPrefix::WriteFile(work / "release.zip", archive);
    const std::string key = testsupport::SigningKeyFile().string();
    const std::string pub = testsupport::PublicKeyFile().string();
    const std::string otherPub =
        (testsupport::SigningKeyFile().parent_path() / "other-public-key.pem").string();

    // A key that cannot sign sends nothing.
    Result r = RunTool(work, With({"put", "--sign", pub, "release.zip", "kelvoranx.zip"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_TRUE(fs::is_empty(root));

    r = RunTool(work, With({"put", "--sign", key, "release.zip", "kelvoranx.zip"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(TempPrefix::ReadFile(root / "kelvoranx.zip"), archive);
    const std::string check = "openssl dgst -sha256 -verify " + Quote(pub) + " -signature " +
                              Quote((root / "kelvoranx.zip.sig").string()) + " " +
                              Quote((root / "kelvoranx.zip").string()) + " >/dev/null";
    EXPECT_EQ(std::system(check.c_str()), 0);

    r = RunTool(work, With({"verify", "--key", pub, "kelvoranx.zip"}));
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("kelvoranx.zip: good signature, SHA-256 "), std::string::npos) << r.out;
    r = RunTool(work, With({"verify", "--key", otherPub, "kelvoranx.zip"}));
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("does not match"), std::string::npos) << r.err;
    TempPrefix::WriteFile(root / "kelvoranx.zip", archive + "x");
    EXPECT_EQ(RunTool(work, With({"verify", "--key", pub, "kelvoranx.zip"})).status, 1);
    EXPECT_EQ(RunTool(work, With({"verify", "kelvoranx.zip"})).status, 2);
}

}  // namespace

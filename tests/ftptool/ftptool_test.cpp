#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "ftptool/progress_bar.h"
#include "support/ftp_servers.h"
#include "support/prefix.h"

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
    bool StartServer(const std::string& password = "Kv7q2Rm9Xa") {
        if (!testsupport::ServerAvailable(FtpServer::Kind::Pyftpdlib)) return false;
        testsupport::FtpServerOptions options;
        options.root = root;
        options.password = password;
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

TEST_F(FtpTool, PutShowsProgressAndLsListsTheEntries) {
    if (!StartServer()) GTEST_SKIP() << "pyftpdlib not installed";
    std::string data(700000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 31 + i / 7);
    TempPrefix::WriteFile(work / "upload me.bin", data);
    fs::create_directories(root / "Folder");

    const Result put = RunTool(work, With({"put", "upload me.bin"}));
    ASSERT_EQ(put.status, 0) << put.err;
    EXPECT_EQ(TempPrefix::ReadFile(root / "upload me.bin"), data);
    EXPECT_NE(put.err.find("] 100%  683.6/683.6 KiB\n"), std::string::npos) << put.err;
    EXPECT_EQ(put.err.back(), '\n');

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
    EXPECT_EQ(rm.err.rfind("kelvoran-ftp: 550", 0), 0u) << rm.err;

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

}  // namespace

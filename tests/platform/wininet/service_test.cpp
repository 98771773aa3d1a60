// The FTP service against real servers on loopback: pyftpdlib with MLSD, with LIST (Unix and
// DOS formats) and vsftpd, each in active and passive mode.
#include <gmock/gmock.h>

#include "service_session.h"

namespace wininet_test {
namespace {

enum class Flavour { PyMlsd, PyList, PyDos, Vsftpd };

struct Param {
    Flavour flavour;
    bool passive;
};

std::string Describe(const Param& p) {
    static const char* names[] = {"PyftpdlibMlsd", "PyftpdlibList", "PyftpdlibDos", "Vsftpd"};
    return std::string(names[static_cast<int>(p.flavour)]) + (p.passive ? "Passive" : "Active");
}

std::string Name(const testing::TestParamInfo<Param>& info) { return Describe(info.param); }

void PrintTo(const Param& p, std::ostream* os) { *os << Describe(p); }

class FtpService : public testing::TestWithParam<Param> {
  protected:
    void SetUp() override {
        const Param p = GetParam();
        const auto kind =
            p.flavour == Flavour::Vsftpd ? FtpServer::Kind::Vsftpd : FtpServer::Kind::Pyftpdlib;
        if (!testsupport::ServerAvailable(kind)) GTEST_SKIP() << "server not available";
        content_ = Bytes(100000, 7);
        WriteFile(dir_.path / "kelvoranx.zip", content_);
        WriteFile(dir_.path / "my file.zip", "spaced");
        WriteFile(dir_.path / "Readme.TXT", "readme");
        WriteFile(dir_.path / "sub" / "inner.bin", Bytes(510, 3));
        fs::create_directories(dir_.path / "empty dir");
        FtpServerOptions o;
        o.root = dir_.path;
        o.mlsd = p.flavour == Flavour::PyMlsd;
        o.dosList = p.flavour == Flavour::PyDos;
        server_ = std::make_unique<FtpServer>(kind, o);
        Open(s_, server_->address(), p.passive ? INTERNET_FLAG_PASSIVE : 0);
        ASSERT_NE(s_.connection, nullptr) << GetLastError() << " " << LastResponse();
    }

    // Every entry the find service gives for a pattern, or the error of the first call.
    std::vector<WIN32_FIND_DATAA> FindAll(const char* pattern, DWORD* error = nullptr) {
        std::vector<WIN32_FIND_DATAA> all;
        WIN32_FIND_DATAA d;
        SetLastError(kSentinel);
        HINTERNET f = FtpFindFirstFileA(s_.connection, pattern, &d, 0, 0);
        if (error) *error = f ? 0 : GetLastError();
        if (!f) return all;
        do {
            all.push_back(d);
        } while (InternetFindNextFileA(f, &d));
        EXPECT_EQ(GetLastError(), ERROR_NO_MORE_FILES);
        InternetCloseHandle(f);
        return all;
    }

    TempDir dir_;
    TempDir local_;
    std::string content_;
    std::unique_ptr<FtpServer> server_;
    Session s_;
};

TEST_P(FtpService, DownloadsByteExactIn255ByteReads) {
    HINTERNET file =
        FtpOpenFileA(s_.connection, "/kelvoranx.zip", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr) << GetLastError();
    std::string got;
    EXPECT_TRUE(ReadAll(file, got));
    EXPECT_TRUE(got == content_) << got.size();
    DWORD n = 99;
    char b[8];
    EXPECT_TRUE(InternetReadFile(file, b, sizeof b, &n));  // still at the end
    EXPECT_EQ(n, 0u);
    EXPECT_TRUE(InternetCloseHandle(file));
    EXPECT_THAT(LastResponse(), testing::StartsWith("226"));
}

TEST_P(FtpService, ReadFillsTheWholeBufferUntilTheEnd) {
    HINTERNET file =
        FtpOpenFileA(s_.connection, "kelvoranx.zip", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr);
    std::string buffer(70000, '\0');
    DWORD n = 0;
    ASSERT_TRUE(InternetReadFile(file, buffer.data(), 70000, &n));
    EXPECT_EQ(n, 70000u);
    ASSERT_TRUE(InternetReadFile(file, buffer.data(), 70000, &n));
    EXPECT_EQ(n, 30000u);
    EXPECT_EQ(buffer.substr(0, 30000), content_.substr(70000));
    InternetCloseHandle(file);
}

TEST_P(FtpService, UploadsAndGetsBackByteExact) {
    const std::string data = Bytes(300001, 11);
    HINTERNET file =
        FtpOpenFileA(s_.connection, "up.bin", GENERIC_WRITE, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr) << GetLastError();
    for (std::size_t at = 0; at < data.size(); at += 255) {
        DWORD n = static_cast<DWORD>(std::min<std::size_t>(255, data.size() - at)), written = 0;
        ASSERT_TRUE(InternetWriteFile(file, data.data() + at, n, &written));
        ASSERT_EQ(written, n);
    }
    EXPECT_TRUE(InternetCloseHandle(file));
    EXPECT_TRUE(ReadFile(dir_.path / "up.bin") == data);

    // One-call transfers, over a local file that exists already.
    WriteFile(local_.path / "put.bin", data.substr(0, 1000));
    const std::string localPut = Win(local_.path / "put.bin");
    ASSERT_TRUE(
        FtpPutFileA(s_.connection, localPut.c_str(), "put.bin", FTP_TRANSFER_TYPE_BINARY, 0))
        << GetLastError();
    EXPECT_EQ(ReadFile(dir_.path / "put.bin"), data.substr(0, 1000));
    WriteFile(local_.path / "got.bin", "old content, longer than nothing");
    const std::string localGet = Win(local_.path / "got.bin");
    ASSERT_TRUE(FtpGetFileA(s_.connection, "up.bin", localGet.c_str(), FALSE, FILE_ATTRIBUTE_NORMAL,
                            FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_RELOAD, 0))
        << GetLastError();
    EXPECT_TRUE(ReadFile(local_.path / "got.bin") == data);
    EXPECT_EQ(std::distance(fs::directory_iterator(local_.path), fs::directory_iterator()), 2);
}

TEST_P(FtpService, GetFileHonoursFailIfExistsAndLeavesNothingOnFailure) {
    const std::string target = Win(local_.path / "x.zip");
    WriteFile(local_.path / "x.zip", "keep");
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpGetFileA(s_.connection, "kelvoranx.zip", target.c_str(), TRUE, 0,
                             FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
    EXPECT_EQ(ReadFile(local_.path / "x.zip"), "keep");

    const std::string missing = Win(local_.path / "missing.zip");
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpGetFileA(s_.connection, "no-such-file.zip", missing.c_str(), FALSE, 0,
                             FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_THAT(LastResponse(), testing::StartsWith("550"));
    EXPECT_EQ(std::distance(fs::directory_iterator(local_.path), fs::directory_iterator()), 1);
}

TEST_P(FtpService, PutFileOfMissingLocalFileFailsWith2) {
    const std::string missing = Win(local_.path / "nothing-here.bin");
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpPutFileA(s_.connection, missing.c_str(), "x.bin", FTP_TRANSFER_TYPE_BINARY, 0));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_FALSE(fs::exists(dir_.path / "x.bin"));
}

TEST_P(FtpService, FindMatchesWildcardsWithoutRegardToCase) {
    auto names = [](const std::vector<WIN32_FIND_DATAA>& v) {
        std::vector<std::string> n;
        for (const auto& d : v) n.emplace_back(d.cFileName);
        return n;
    };
    EXPECT_THAT(names(FindAll("*.zip")),
                testing::UnorderedElementsAre("kelvoranx.zip", "my file.zip"));
    EXPECT_THAT(names(FindAll("/KELVORANX.ZIP")), testing::ElementsAre("kelvoranx.zip"));
    EXPECT_THAT(names(FindAll("my?file.zip")), testing::ElementsAre("my file.zip"));
    EXPECT_THAT(names(FindAll("readme.t?t")), testing::ElementsAre("Readme.TXT"));
    EXPECT_THAT(names(FindAll("sub/*")), testing::ElementsAre("inner.bin"));
    EXPECT_THAT(names(FindAll("\\sub\\inner.*")), testing::ElementsAre("inner.bin"));
    EXPECT_THAT(names(FindAll("*.*")),
                testing::UnorderedElementsAre("kelvoranx.zip", "my file.zip", "Readme.TXT", "sub",
                                              "empty dir"));
    EXPECT_THAT(names(FindAll(nullptr)), testing::SizeIs(5));

    DWORD error = 0;
    EXPECT_TRUE(FindAll("nothing*.zip", &error).empty());
    EXPECT_EQ(error, ERROR_NO_MORE_FILES);
    EXPECT_TRUE(FindAll("kelvoranx.zi", &error).empty());
    EXPECT_EQ(error, ERROR_NO_MORE_FILES);
}

TEST_P(FtpService, FindReportsKindsSizesAndTimes) {
    auto all = FindAll("*");
    ASSERT_EQ(all.size(), 5u);
    for (const auto& d : all) {
        const std::string name = d.cFileName;
        if (name == "sub" || name == "empty dir") {
            EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_DIRECTORY) << name;
        } else {
            EXPECT_EQ(d.dwFileAttributes, FILE_ATTRIBUTE_NORMAL) << name;
        }
        if (name == "kelvoranx.zip") {
            EXPECT_EQ(d.nFileSizeLow, 100000u);
            EXPECT_EQ(d.nFileSizeHigh, 0u);
        }
        // The files were written a moment ago: their time is within a day of now (the
        // listing formats carry minutes at best).
        const std::uint64_t ticks =
            (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) |
            d.ftLastWriteTime.dwLowDateTime;
        const std::int64_t unixSeconds =
            static_cast<std::int64_t>(ticks / 10000000) - 11644473600LL;
        EXPECT_LT(std::llabs(unixSeconds - static_cast<std::int64_t>(time(nullptr))), 86400)
            << name;
    }
}

TEST_P(FtpService, OneFindHandleAtATimeAndCallsWaitForAnOpenFile) {
    WIN32_FIND_DATAA d;
    HINTERNET find = FtpFindFirstFileA(s_.connection, "*", &d, 0, 0);
    ASSERT_NE(find, nullptr);
    SetLastError(kSentinel);
    EXPECT_EQ(FtpFindFirstFileA(s_.connection, "*", &d, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    InternetCloseHandle(find);

    HINTERNET file =
        FtpOpenFileA(s_.connection, "kelvoranx.zip", GENERIC_READ, FTP_TRANSFER_TYPE_BINARY, 0);
    ASSERT_NE(file, nullptr);
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpDeleteFileA(s_.connection, "my file.zip"));
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    SetLastError(kSentinel);
    EXPECT_EQ(FtpFindFirstFileA(s_.connection, "*", &d, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);
    SetLastError(kSentinel);
    EXPECT_EQ(FtpOpenFileA(s_.connection, "sub/inner.bin", GENERIC_READ, 0, 0), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_FTP_TRANSFER_IN_PROGRESS);

    // Closing a read that was not finished gives the connection back at once.
    char b[255];
    DWORD n = 0;
    ASSERT_TRUE(InternetReadFile(file, b, sizeof b, &n));
    EXPECT_EQ(n, 255u);
    InternetCloseHandle(file);
    EXPECT_TRUE(FtpDeleteFileA(s_.connection, "my file.zip")) << GetLastError();
    EXPECT_FALSE(fs::exists(dir_.path / "my file.zip"));
    EXPECT_EQ(FindAll("*.zip").size(), 1u);
}

TEST_P(FtpService, FolderOperationsAndCurrentFolder) {
    EXPECT_TRUE(FtpCreateDirectoryA(s_.connection, "new folder")) << GetLastError();
    EXPECT_TRUE(fs::is_directory(dir_.path / "new folder"));
    EXPECT_TRUE(FtpSetCurrentDirectoryA(s_.connection, "new folder"));
    char buffer[1024] = {};
    DWORD length = sizeof buffer;
    ASSERT_TRUE(FtpGetCurrentDirectoryA(s_.connection, buffer, &length));
    EXPECT_STREQ(buffer, "/new folder");
    EXPECT_EQ(length, 11u);

    length = 5;
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpGetCurrentDirectoryA(s_.connection, buffer, &length));
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(length, 12u);

    EXPECT_TRUE(FtpSetCurrentDirectoryA(s_.connection, "/"));
    EXPECT_TRUE(FtpRenameFileA(s_.connection, "Readme.TXT", "new folder/moved.txt"));
    EXPECT_EQ(ReadFile(dir_.path / "new folder" / "moved.txt"), "readme");
    SetLastError(kSentinel);
    EXPECT_FALSE(FtpRemoveDirectoryA(s_.connection, "new folder"));  // not empty
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_THAT(LastResponse(), testing::StartsWith("550"));
    EXPECT_TRUE(FtpDeleteFileA(s_.connection, "new folder/moved.txt"));
    EXPECT_TRUE(FtpRemoveDirectoryA(s_.connection, "new folder"));
    EXPECT_FALSE(fs::exists(dir_.path / "new folder"));

    SetLastError(kSentinel);
    EXPECT_FALSE(FtpDeleteFileA(s_.connection, "no such file"));
    EXPECT_EQ(GetLastError(), ERROR_INTERNET_EXTENDED_ERROR);
    EXPECT_THAT(LastResponse(), testing::StartsWith("550"));
}

INSTANTIATE_TEST_SUITE_P(Servers, FtpService,
                         testing::Values(Param{Flavour::PyMlsd, false},
                                         Param{Flavour::PyMlsd, true},
                                         Param{Flavour::PyList, false},
                                         Param{Flavour::PyList, true}, Param{Flavour::PyDos, false},
                                         Param{Flavour::PyDos, true}, Param{Flavour::Vsftpd, false},
                                         Param{Flavour::Vsftpd, true}),
                         Name);

}  // namespace
}  // namespace wininet_test

// Kernel stand-ins: per-thread last error, folder creation, module handles, message texts and
// file-time conversion.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <thread>

#include "platform/kernel/kernel.h"
#include "support/prefix.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

TEST(LastError, IsKeptPerThread) {
    SetLastError(42);
    DWORD seenByOther = kSentinel;
    std::thread([&] {
        seenByOther = GetLastError();
        SetLastError(7);
    }).join();
    EXPECT_EQ(seenByOther, ERROR_SUCCESS);
    EXPECT_EQ(GetLastError(), 42u);
}

TEST(CreateDirectory, CreatesOneLevelAndReportsWhyNot) {
    testsupport::TempPrefix prefix;
    SetLastError(kSentinel);
    EXPECT_TRUE(CreateDirectoryA("C:\\Quorimetra", nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.Host("C:\\Quorimetra")));
    EXPECT_TRUE(CreateDirectoryA("c:\\QUORIMETRA\\Install", nullptr));
    EXPECT_TRUE(std::filesystem::is_directory(prefix.DriveC() / "Quorimetra" / "Install"));

    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\Quorimetra\\Install", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA("C:\\missing\\child", nullptr));
    EXPECT_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
    EXPECT_FALSE(std::filesystem::exists(prefix.DriveC() / "missing"));

    // A parent that may not be written.
    std::filesystem::create_directories(prefix.DriveC() / "locked");
    std::filesystem::permissions(
        prefix.DriveC() / "locked",
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    SetLastError(kSentinel);
    BOOL made = CreateDirectoryA("C:\\locked\\inside", nullptr);
    std::filesystem::permissions(prefix.DriveC() / "locked", std::filesystem::perms::owner_all);
    if (geteuid() != 0) {  // root writes anywhere
        EXPECT_FALSE(made);
        EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    }
}

TEST(ModuleHandle, KnowsTheServiceModuleOnly) {
    HMODULE a = GetModuleHandleA("wininet.dll");
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(GetModuleHandleA("WININET.DLL"), a);
    SetLastError(kSentinel);
    EXPECT_EQ(GetModuleHandleA("shell32.dll"), nullptr);
    EXPECT_EQ(GetLastError(), ERROR_MOD_NOT_FOUND);
}

TEST(FormatMessage, WritesTheTextWhenItFits) {
    HMODULE m = GetModuleHandleA("wininet.dll");
    char buffer[256];
    std::memset(buffer, 'x', sizeof buffer);
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 12002, 0, buffer, 256, nullptr);
    EXPECT_EQ(std::string(buffer), "The operation timed out\r\n");
    EXPECT_EQ(n, std::strlen(buffer));
    for (DWORD code : {2u, 6u, 18u, 87u, 12003u, 12007u, 12015u, 12029u, 12030u, 12031u, 12110u}) {
        n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, code, 0, buffer, 256, nullptr);
        EXPECT_GT(n, 2u) << code;
        EXPECT_EQ(std::string(buffer).substr(n - 2), "\r\n") << code;
    }

    // Too small: nothing written, 122. Exactly the text and its NUL: fits.
    const std::string timedOut = "The operation timed out\r\n";
    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(kSentinel);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 12002, 0, buffer,
                             static_cast<DWORD>(timedOut.size()), nullptr),
              0u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(buffer[0], 'x');
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 12002, 0, buffer,
                             static_cast<DWORD>(timedOut.size() + 1), nullptr),
              timedOut.size());

    // No text for the code.
    std::memset(buffer, 'x', sizeof buffer);
    SetLastError(kSentinel);
    EXPECT_EQ(FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, m, 12999, 0, buffer, 256, nullptr), 0u);
    EXPECT_EQ(GetLastError(), ERROR_MR_MID_NOT_FOUND);
    EXPECT_EQ(buffer[0], 'x');
}

// Sets TZ for the test and puts it back afterwards.
class ZoneOverride {
  public:
    explicit ZoneOverride(const char* zone) {
        const char* old = std::getenv("TZ");
        had_ = old != nullptr;
        if (had_) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneOverride() {
        if (had_) {
            setenv("TZ", old_.c_str(), 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
    }

  private:
    bool had_ = false;
    std::string old_;
};

std::uint64_t Ticks(const FILETIME& f) {
    return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

TEST(FileTimeToLocal, AppliesTheCurrentOffsetOfTheZone) {
    FILETIME utc{0x12345678, 0x01D00000}, local{};
    {
        ZoneOverride zone("UTC0");
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Ticks(local), Ticks(utc));
    }
    {
        // A fixed zone three hours behind UTC, no daylight saving.
        ZoneOverride zone("<-03>3");
        ASSERT_TRUE(FileTimeToLocalFileTime(&utc, &local));
        EXPECT_EQ(Ticks(utc) - Ticks(local), 3ull * 3600 * 10000000);
    }
    {
        // A zone with daylight saving: the offset in force now applies to any moment.
        ZoneOverride zone("CET-1CEST,M3.5.0,M10.5.0/3");
        std::time_t now = std::time(nullptr);
        std::tm tm{};
        localtime_r(&now, &tm);
        const std::int64_t offset = static_cast<std::int64_t>(tm.tm_gmtoff) * 10000000;
        for (FILETIME t : {FILETIME{0, 0x01D00000} /* a winter date */, FILETIME{0, 0x01D80000}}) {
            ASSERT_TRUE(FileTimeToLocalFileTime(&t, &local));
            EXPECT_EQ(static_cast<std::int64_t>(Ticks(local) - Ticks(t)), offset);
        }
    }
    {
        ZoneOverride zone("<-03>3");
        FILETIME zero{0, 0};
        SetLastError(kSentinel);
        EXPECT_FALSE(FileTimeToLocalFileTime(&zero, &local));  // before 1601 in local time
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
}

}  // namespace

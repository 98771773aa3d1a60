// What the callers take from the kernel layer, pinned on the system itself (run under Wine):
// folder creation errors and the service's message texts.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/kernel/kernel.h"
#include "platform/wininet/wininet.h"

namespace {

constexpr DWORD kSentinel = 0xdeadbeef;

TEST(SystemKernel, CreateDirectoryReportsWhyNot) {
    const std::string base = (std::filesystem::temp_directory_path() / "kernel-windows").string();
    std::filesystem::remove_all(base);
    EXPECT_TRUE(CreateDirectoryA(base.c_str(), nullptr));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA(base.c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));
    SetLastError(kSentinel);
    EXPECT_FALSE(CreateDirectoryA((base + "\\missing\\child").c_str(), nullptr));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    std::filesystem::remove_all(base);
}

TEST(SystemKernel, ServiceModuleHasTheMessageTexts) {
    // The program imports WinINet, so its module is loaded before any text is asked for.
    HINTERNET root = InternetOpenA("Instalador", INTERNET_OPEN_TYPE_DIRECT, nullptr, nullptr, 0);
    InternetCloseHandle(root);
    HMODULE module = GetModuleHandleA("wininet.dll");
    ASSERT_NE(module, nullptr);
    // The texts are the system's own: Wine words some differently from Windows and has none for
    // 12003, 12015, 12031 or 12110 (the callers then show an empty text).
    for (DWORD code : {12002u, 12007u, 12029u, 12030u}) {
        char buffer[256] = {};
        const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, code, 0, buffer,
                                       sizeof buffer, nullptr);
        EXPECT_GT(n, 2u) << code;
        EXPECT_EQ(std::string(buffer, n).substr(n > 2 ? n - 2 : 0), "\r\n") << code;
    }
}

}  // namespace

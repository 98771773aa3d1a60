// The text of the Windows program's unattended modes: UTF-16 to a console, UTF-8 bytes to a
// file or a pipe, whole lines at once. Runs on a virtual display, where Wine can make a console.
#include <gtest/gtest.h>

#include <ostream>
#include <string>

#include "app/windows/ConsoleStream.h"
#include "platform/kernel/windows/utf16.h"

namespace {

const std::string kLine = "2026-01-02 03:04:05 sem conexão, tente mais tarde\n";

TEST(HandleStreamBuf, WritesUtf8BytesToAPipe) {
    HANDLE read = nullptr;
    HANDLE write = nullptr;
    ASSERT_TRUE(CreatePipe(&read, &write, nullptr, 0));
    {
        app::HandleStreamBuf buffer(write);
        std::ostream out(&buffer);
        out << kLine << std::flush;
    }
    CloseHandle(write);
    char bytes[256];
    DWORD got = 0;
    ASSERT_TRUE(ReadFile(read, bytes, sizeof bytes, &got, nullptr));
    CloseHandle(read);
    EXPECT_EQ(std::string(bytes, got), kLine);
}

TEST(HandleStreamBuf, WritesUtf16ToAConsole) {
    FreeConsole();
    ASSERT_TRUE(AllocConsole());
    HANDLE console =
        CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(console, INVALID_HANDLE_VALUE);
    const COORD origin{0, 0};
    SetConsoleCursorPosition(console, origin);
    {
        app::HandleStreamBuf buffer(console);
        std::ostream out(&buffer);
        out << kLine;  // a whole line goes out without a flush
        const std::wstring expected = kernel::Widen(kLine.substr(0, kLine.size() - 1));
        wchar_t shown[64] = {};
        DWORD read = 0;
        ASSERT_TRUE(ReadConsoleOutputCharacterW(console, shown, static_cast<DWORD>(expected.size()),
                                                origin, &read));
        EXPECT_EQ(kernel::Narrow(std::wstring(shown, read)), kLine.substr(0, kLine.size() - 1));
    }
    CloseHandle(console);
    FreeConsole();
}

}  // namespace

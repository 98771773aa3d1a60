#include "ftptool/terminal.h"

#include <fcntl.h>
#include <io.h>

#include "platform/kernel/windows/utf16.h"
#include "platform/kernel/windows/windows_api.h"

namespace ftptool {

namespace {

// The console's own input and output ("CONIN$", "CONOUT$"), whatever standard input and output
// were redirected to; closed when done.
class Console {
  public:
    Console()
        : in_(CreateFileW(L"CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                          OPEN_EXISTING, 0, nullptr)),
          out_(CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, 0, nullptr)) {}
    ~Console() {
        if (in_ != INVALID_HANDLE_VALUE) CloseHandle(in_);
        if (out_ != INVALID_HANDLE_VALUE) CloseHandle(out_);
    }
    Console(const Console&) = delete;
    Console& operator=(const Console&) = delete;

    bool open() const { return in_ != INVALID_HANDLE_VALUE && out_ != INVALID_HANDLE_VALUE; }
    HANDLE in() const { return in_; }
    void Write(const wchar_t* text) const {
        DWORD written = 0;
        WriteConsoleW(out_, text, static_cast<DWORD>(wcslen(text)), &written, nullptr);
    }

  private:
    HANDLE in_;
    HANDLE out_;
};

}  // namespace

bool IsTerminal(std::FILE* stream) {
    DWORD mode = 0;
    const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
}

std::optional<std::string> ReadPasswordFromTerminal() {
    const Console console;
    DWORD saved = 0;
    if (!console.open() || GetConsoleMode(console.in(), &saved) == 0) return std::nullopt;
    console.Write(L"Password: ");
    // Line input without echo; the old mode comes back however the read ends.
    SetConsoleMode(console.in(), (saved | ENABLE_LINE_INPUT) & ~DWORD{ENABLE_ECHO_INPUT});
    std::wstring line;
    wchar_t chunk[256];
    DWORD read = 0;
    // A password line is short; the bound keeps a stuck console from growing it.
    while (line.size() < 4096 && ReadConsoleW(console.in(), chunk, 256, &read, nullptr) &&
           read > 0) {
        line.append(chunk, read);
        if (line.back() == L'\n') break;
    }
    SetConsoleMode(console.in(), saved);
    console.Write(L"\r\n");
    while (!line.empty() && (line.back() == L'\n' || line.back() == L'\r')) line.pop_back();
    return kernel::Narrow(line);
}

void BinaryStandardOutput() { _setmode(_fileno(stdout), _O_BINARY); }

long ProcessId() { return static_cast<long>(GetCurrentProcessId()); }

}  // namespace ftptool

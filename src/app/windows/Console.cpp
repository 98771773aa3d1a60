#include "app/Console.h"

#include <iostream>
#include <optional>

#include "app/windows/ConsoleStream.h"
#include "platform/kernel/windows/utf16.h"

namespace app {

HandleStreamBuf::HandleStreamBuf(HANDLE handle) : handle_(handle) {
    DWORD mode = 0;
    console_ = GetConsoleMode(handle, &mode) != 0;
}

HandleStreamBuf::~HandleStreamBuf() { sync(); }

HandleStreamBuf::int_type HandleStreamBuf::overflow(int_type c) {
    if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
    const char ch = traits_type::to_char_type(c);
    xsputn(&ch, 1);
    return c;
}

std::streamsize HandleStreamBuf::xsputn(const char* s, std::streamsize n) {
    pending_.append(s, static_cast<std::size_t>(n));
    // Whole lines go out at once; a line is never split inside a character.
    const std::size_t end = pending_.rfind('\n');
    if (end != std::string::npos) WriteOut(end + 1);
    return n;
}

int HandleStreamBuf::sync() {
    WriteOut(pending_.size());
    return 0;
}

void HandleStreamBuf::WriteOut(std::size_t length) {
    if (length == 0) return;
    DWORD written = 0;
    if (console_) {
        const std::wstring wide = kernel::Widen(std::string_view(pending_).substr(0, length));
        WriteConsoleW(handle_, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        WriteFile(handle_, pending_.data(), static_cast<DWORD>(length), &written, nullptr);
    }
    pending_.erase(0, length);
}

namespace {

// A standard handle that leads somewhere: a file, a pipe or a console handed down.
bool Usable(HANDLE handle) {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE &&
           GetFileType(handle) != FILE_TYPE_UNKNOWN;
}

}  // namespace

struct ParentConsole::Impl {
    struct Stream {
        std::ostream& stream;
        std::streambuf* saved;
        HandleStreamBuf buffer;
        Stream(std::ostream& s, HANDLE handle) : stream(s), saved(s.rdbuf()), buffer(handle) {
            stream.rdbuf(&buffer);
        }
        ~Stream() {
            stream.flush();
            stream.rdbuf(saved);
        }
    };
    HANDLE consoleOut = INVALID_HANDLE_VALUE;
    std::optional<Stream> out;
    std::optional<Stream> err;
};

ParentConsole::ParentConsole() : impl_(std::make_unique<Impl>()) {
    HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if ((!Usable(out) || !Usable(err)) && AttachConsole(ATTACH_PARENT_PROCESS)) {
        impl_->consoleOut =
            CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        if (!Usable(out)) out = impl_->consoleOut;
        if (!Usable(err)) err = impl_->consoleOut;
    }
    if (Usable(out)) impl_->out.emplace(std::cout, out);
    if (Usable(err)) impl_->err.emplace(std::cerr, err);
}

ParentConsole::~ParentConsole() {
    impl_->out.reset();
    impl_->err.reset();
    if (impl_->consoleOut != INVALID_HANDLE_VALUE) CloseHandle(impl_->consoleOut);
}

}  // namespace app

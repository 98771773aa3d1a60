// File transfers: FtpOpenFileA with InternetReadFile/InternetWriteFile, and the one-call
// FtpGetFileA and FtpPutFileA.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "platform/files/files.h"
#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

namespace fs = std::filesystem;

std::atomic<unsigned> tempCounter{0};

DWORD LocalError(int err) {
    switch (err) {
        case ENOENT:
            return ERROR_FILE_NOT_FOUND;
        case ENOTDIR:
            return ERROR_PATH_NOT_FOUND;
        case EACCES:
        case EPERM:
        case EROFS:
        case EISDIR:
            return ERROR_ACCESS_DENIED;
        case ENOSPC:
            return ERROR_DISK_FULL;
        default:
            return ERROR_WRITE_FAULT;
    }
}

bool HostPath(LPCSTR windowsPath, fs::path& host) {
    try {
        host = files::ToHostPath(windowsPath);
        return true;
    } catch (...) {
        return false;
    }
}

bool NonEmpty(LPCSTR s) { return s != nullptr && *s != '\0'; }

// Downloads into an open local file descriptor.
DWORD ReceiveInto(File& f, int fd) {
    std::unique_ptr<char[]> chunk(new char[File::kBufferSize]);
    for (;;) {
        std::size_t got = 0;
        if (DWORD e = ReadData(f, chunk.get(), File::kBufferSize, got)) return e;
        if (got == 0) return 0;
        for (std::size_t done = 0; done < got;) {
            ssize_t w = ::write(fd, chunk.get() + done, got - done);
            if (w < 0 && errno == EINTR) continue;
            if (w < 0) return LocalError(errno);
            done += static_cast<std::size_t>(w);
        }
    }
}

DWORD SendFrom(File& f, int fd) {
    std::unique_ptr<char[]> chunk(new char[File::kBufferSize]);
    for (;;) {
        ssize_t r = ::read(fd, chunk.get(), File::kBufferSize);
        if (r < 0 && errno == EINTR) continue;
        if (r < 0) return LocalError(errno);
        if (r == 0) return 0;
        if (DWORD e = WriteData(f, chunk.get(), static_cast<std::size_t>(r))) return e;
    }
}

// The size a download must reach, as the server announced it. In ASCII mode line ends may grow
// on the way (LF to CRLF), never shrink, so the size in the 150 reply is still a floor; SIZE
// tells nothing there, since servers answer it for binary mode only.
std::optional<std::uint64_t> AnnouncedSize(const Connection& c, const Reply& preliminary,
                                           const std::optional<std::uint64_t>& fromSize) {
    if (auto size = ParseTransferSize(preliminary.text)) return size;
    if (c.type != 'I') return std::nullopt;
    return fromSize;
}

// The size SIZE reports for a file in binary mode; none when the server does not tell.
DWORD AskSize(Connection& c, const std::string& name, std::optional<std::uint64_t>& size) {
    size.reset();
    if (c.type != 'I') return 0;
    Reply reply;
    if (DWORD e = Command(c, "SIZE " + name, reply)) return e;
    if (reply.code == 213) size = ParseTransferSize(reply.text);
    return 0;
}

}  // namespace

bool File::OnClose() {
    DWORD e = FinishTransfer(*this);
    if (connection->openFile == id) connection->openFile = 0;
    if (e != 0) return Fail(e, false);
    return true;
}

}  // namespace wininet::detail

using namespace wininet::detail;

HINTERNET FtpOpenFileA(HINTERNET hConnect, LPCSTR lpszFileName, DWORD dwAccess, DWORD dwFlags,
                       DWORD_PTR /*dwContext*/) {
    if (!NonEmpty(lpszFileName) || !SafeName(lpszFileName) ||
        (dwAccess != GENERIC_READ && dwAccess != GENERIC_WRITE)) {
        return Fail(ERROR_INVALID_PARAMETER, nullptr);
    }
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, nullptr);

    auto f = std::make_shared<File>();
    f->connection = c;
    f->reading = dwAccess == GENERIC_READ;
    f->timeouts = c->timeouts;
    if (DWORD e = EnsureType(*c, dwFlags)) return Fail(e, nullptr);
    const std::string command = (f->reading ? "RETR " : "STOR ") + std::string(lpszFileName);
    Reply preliminary;
    if (DWORD e = OpenTransfer(*c, command, f->data, &preliminary)) return Fail(e, nullptr);
    if (f->reading) f->expected = AnnouncedSize(*c, preliminary, std::nullopt);
    HINTERNET handle = Register(f, c->id);
    c->openFile = f->id;
    return handle;
}

BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead) {
    if (lpdwNumberOfBytesRead == nullptr || (lpBuffer == nullptr && dwNumberOfBytesToRead > 0)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    *lpdwNumberOfBytesRead = 0;
    auto object = Lookup(hFile);
    if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (object->kind != Kind::File) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
    File& f = static_cast<File&>(*object);
    if (!f.reading) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
    if (f.failure != 0) return Fail(f.failure, FALSE);

    // The common case: the bytes are already in the buffer.
    if (f.end - f.start >= dwNumberOfBytesToRead) {
        std::memcpy(lpBuffer, f.buffer.get() + f.start, dwNumberOfBytesToRead);
        f.start += dwNumberOfBytesToRead;
        *lpdwNumberOfBytesRead = dwNumberOfBytesToRead;
        return TRUE;
    }
    std::size_t got = 0;
    if (DWORD e = ReadData(f, static_cast<char*>(lpBuffer), dwNumberOfBytesToRead, got)) {
        f.failure = e;
        return Fail(e, FALSE);
    }
    *lpdwNumberOfBytesRead = static_cast<DWORD>(got);
    return TRUE;
}

BOOL InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                       LPDWORD lpdwNumberOfBytesWritten) {
    if (lpdwNumberOfBytesWritten == nullptr ||
        (lpBuffer == nullptr && dwNumberOfBytesToWrite > 0)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    *lpdwNumberOfBytesWritten = 0;
    auto object = Lookup(hFile);
    if (!object) return Fail(ERROR_INVALID_HANDLE, FALSE);
    if (object->kind != Kind::File) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
    File& f = static_cast<File&>(*object);
    if (f.reading) return Fail(ERROR_INTERNET_INCORRECT_HANDLE_TYPE, FALSE);
    if (f.failure != 0) return Fail(f.failure, FALSE);
    if (DWORD e = WriteData(f, static_cast<const char*>(lpBuffer), dwNumberOfBytesToWrite)) {
        f.failure = e;
        return Fail(e, FALSE);
    }
    *lpdwNumberOfBytesWritten = dwNumberOfBytesToWrite;
    return TRUE;
}

BOOL FtpGetFileA(HINTERNET hConnect, LPCSTR lpszRemoteFile, LPCSTR lpszNewFile, BOOL fFailIfExists,
                 DWORD /*dwFlagsAndAttributes*/, DWORD dwFlags, DWORD_PTR /*dwContext*/) {
    if (!NonEmpty(lpszRemoteFile) || !SafeName(lpszRemoteFile) || !NonEmpty(lpszNewFile)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, FALSE);

    fs::path target;
    if (!HostPath(lpszNewFile, target)) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    std::error_code ec;
    if (fFailIfExists && fs::exists(target, ec)) return Fail(ERROR_FILE_EXISTS, FALSE);
    // The bytes go to a file beside the target, which takes its place only when complete.
    fs::path temp = target;
    temp += ".part-" + std::to_string(getpid()) + "-" + std::to_string(++tempCounter);
    int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) return Fail(errno == ENOENT ? ERROR_PATH_NOT_FOUND : LocalError(errno), FALSE);

    File f;
    f.connection = c;
    std::optional<std::uint64_t> size;
    Reply preliminary;
    DWORD e = EnsureType(*c, dwFlags);
    if (e == 0) e = AskSize(*c, lpszRemoteFile, size);
    if (e == 0) e = OpenTransfer(*c, "RETR " + std::string(lpszRemoteFile), f.data, &preliminary);
    if (e == 0) {
        f.expected = AnnouncedSize(*c, preliminary, size);
        c->openFile = IdOf(hConnect);  // no other call on the connection meanwhile
        e = ReceiveInto(f, fd);
        DWORD end = FinishTransfer(f);
        if (e == 0) e = end;
        c->openFile = 0;
    }
    if (::close(fd) != 0 && e == 0) e = LocalError(errno);
    if (e == 0 && fFailIfExists && fs::exists(target, ec)) e = ERROR_FILE_EXISTS;
    if (e == 0) {
        fs::rename(temp, target, ec);
        if (ec) e = LocalError(ec.value());
    }
    if (e != 0) {
        fs::remove(temp, ec);
        return Fail(e, FALSE);
    }
    return TRUE;
}

BOOL FtpPutFileA(HINTERNET hConnect, LPCSTR lpszLocalFile, LPCSTR lpszNewRemoteFile, DWORD dwFlags,
                 DWORD_PTR /*dwContext*/) {
    if (!NonEmpty(lpszLocalFile) || !NonEmpty(lpszNewRemoteFile) || !SafeName(lpszNewRemoteFile)) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, FALSE);

    fs::path source;
    if (!HostPath(lpszLocalFile, source)) return Fail(ERROR_PATH_NOT_FOUND, FALSE);
    int fd = ::open(source.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return Fail(LocalError(errno), FALSE);
    std::error_code ec;
    if (fs::is_directory(source, ec)) {
        ::close(fd);
        return Fail(ERROR_ACCESS_DENIED, FALSE);
    }

    File f;
    f.connection = c;
    f.reading = false;
    DWORD e = EnsureType(*c, dwFlags);
    if (e == 0) e = OpenTransfer(*c, "STOR " + std::string(lpszNewRemoteFile), f.data);
    if (e == 0) {
        c->openFile = IdOf(hConnect);
        e = SendFrom(f, fd);
        if (e != 0) f.data.Abort();  // the server sees the upload cut short
        DWORD end = FinishTransfer(f);
        if (e == 0) e = end;
        c->openFile = 0;
    }
    ::close(fd);
    return e == 0 ? TRUE : Fail(e, FALSE);
}

// One-command operations on the connection: rename, delete, folders, current folder.
#include <cstring>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

bool NameOk(LPCSTR name) { return name != nullptr && *name != '\0' && SafeName(name); }

// Runs one command on a ready connection; the usual ending of every call below.
BOOL Simple(HINTERNET hConnect, const std::string& line, bool intermediateOk = false) {
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, FALSE);
    Reply reply;
    if (DWORD e = Expect(*c, line, reply, intermediateOk)) return Fail(e, FALSE);
    return TRUE;
}

}  // namespace
}  // namespace wininet::detail

using namespace wininet::detail;

BOOL FtpRenameFileA(HINTERNET hConnect, LPCSTR lpszExisting, LPCSTR lpszNew) {
    if (!NameOk(lpszExisting) || !NameOk(lpszNew)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, FALSE);
    Reply reply;
    if (DWORD e = Command(*c, std::string("RNFR ") + lpszExisting, reply)) return Fail(e, FALSE);
    if (reply.code != 350) {
        DWORD e = ReplyError(reply.code);
        return Fail(e != 0 ? e : ERROR_INTERNET_EXTENDED_ERROR, FALSE);
    }
    if (DWORD e = Expect(*c, std::string("RNTO ") + lpszNew, reply)) return Fail(e, FALSE);
    return TRUE;
}

BOOL FtpDeleteFileA(HINTERNET hConnect, LPCSTR lpszFileName) {
    if (!NameOk(lpszFileName)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Simple(hConnect, std::string("DELE ") + lpszFileName);
}

BOOL FtpCreateDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory) {
    if (!NameOk(lpszDirectory)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Simple(hConnect, std::string("MKD ") + lpszDirectory);
}

BOOL FtpRemoveDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory) {
    if (!NameOk(lpszDirectory)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Simple(hConnect, std::string("RMD ") + lpszDirectory);
}

BOOL FtpSetCurrentDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory) {
    if (!NameOk(lpszDirectory)) return Fail(ERROR_INVALID_PARAMETER, FALSE);
    return Simple(hConnect, std::string("CWD ") + lpszDirectory);
}

BOOL FtpGetCurrentDirectoryA(HINTERNET hConnect, LPSTR lpszCurrentDirectory,
                             LPDWORD lpdwCurrentDirectory) {
    if (lpszCurrentDirectory == nullptr || lpdwCurrentDirectory == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    DWORD error = 0;
    auto c = ReadyConnection(hConnect, error);
    if (!c) return Fail(error, FALSE);
    Reply reply;
    if (DWORD e = Expect(*c, "PWD", reply)) return Fail(e, FALSE);
    auto folder = reply.code == 257 ? ParsePwdReply(reply.text) : std::nullopt;
    if (!folder) return Fail(ERROR_INTERNET_EXTENDED_ERROR, FALSE);
    const DWORD needed = static_cast<DWORD>(folder->size()) + 1;
    if (*lpdwCurrentDirectory < needed) {
        *lpdwCurrentDirectory = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(lpszCurrentDirectory, folder->c_str(), needed);
    *lpdwCurrentDirectory = needed - 1;
    return TRUE;
}

// Error numbers of the service: the reply table, the name check and the thread's last reply.
#include <cstring>

#include "platform/wininet/posix/internal.h"

namespace wininet::detail {
namespace {

constexpr std::size_t kMaxName = 4096;

thread_local std::string lastResponse;
thread_local int lastResponseCode = 0;

// Reply codes with a number of their own; every other negative reply is 12003, with the
// reply kept for InternetGetLastResponseInfoA.
struct ReplyMapping {
    int code;
    DWORD error;
};
constexpr ReplyMapping kReplyTable[] = {
    {530, ERROR_INTERNET_LOGIN_FAILURE},  // not logged in: user or password refused
    {532, ERROR_INTERNET_LOGIN_FAILURE},  // an account is needed
};

}  // namespace

void KeepResponse(const Reply& reply) {
    lastResponse = reply.text;
    lastResponseCode = reply.code;
}

int LastResponseCode() { return lastResponseCode; }

DWORD ReplyError(int code) {
    if (code >= 100 && code < 400) return 0;
    for (const auto& m : kReplyTable) {
        if (m.code == code) return m.error;
    }
    return ERROR_INTERNET_EXTENDED_ERROR;
}

DWORD DescribedFailure(const Reply& reply, const std::string& what) {
    Reply described = reply;
    described.text = what + "; the server answered: " + reply.text;
    KeepResponse(described);
    DWORD e = ReplyError(reply.code);
    return e != 0 ? e : ERROR_INTERNET_EXTENDED_ERROR;
}

DWORD UnexpectedReply(const Reply& reply, const std::string& what) {
    DWORD e = ReplyError(reply.code);
    return e != 0 ? e : DescribedFailure(reply, what);
}

bool SafeName(LPCSTR name) {
    if (name == nullptr) return false;
    std::size_t n = strnlen(name, kMaxName + 1);
    if (n > kMaxName) return false;
    return std::strpbrk(name, "\r\n") == nullptr;
}

}  // namespace wininet::detail

using namespace wininet::detail;

BOOL InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength) {
    if (lpdwError == nullptr || lpdwBufferLength == nullptr) {
        return Fail(ERROR_INVALID_PARAMETER, FALSE);
    }
    *lpdwError = static_cast<DWORD>(lastResponseCode);
    const DWORD needed = static_cast<DWORD>(lastResponse.size()) + 1;
    if (lpszBuffer == nullptr || *lpdwBufferLength < needed) {
        *lpdwBufferLength = needed;
        return Fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    }
    std::memcpy(lpszBuffer, lastResponse.c_str(), needed);
    *lpdwBufferLength = needed - 1;
    return TRUE;
}

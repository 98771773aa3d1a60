// The local time, and file-time conversion to local time with the zone's current offset (as
// Windows does: the offset in force now, not the one at the converted moment).
#include <chrono>
#include <ctime>
#include <limits>

#include "platform/kernel/kernel.h"

BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime) {
    if (lpFileTime == nullptr || lpLocalFileTime == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::int64_t offset = static_cast<std::int64_t>(local.tm_gmtoff) * 10'000'000;
    const std::uint64_t utc =
        (static_cast<std::uint64_t>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
    constexpr std::uint64_t kMax = std::numeric_limits<std::int64_t>::max();
    if (utc > kMax || (offset < 0 && utc < static_cast<std::uint64_t>(-offset)) ||
        (offset > 0 && utc > kMax - static_cast<std::uint64_t>(offset))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const std::uint64_t result =
        static_cast<std::uint64_t>(static_cast<std::int64_t>(utc) + offset);
    lpLocalFileTime->dwLowDateTime = static_cast<DWORD>(result & 0xFFFFFFFFu);
    lpLocalFileTime->dwHighDateTime = static_cast<DWORD>(result >> 32);
    return TRUE;
}

void GetLocalTime(SYSTEMTIME* lpSystemTime) {
    const auto now = std::chrono::system_clock::now();
    const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    const auto sinceEpoch = now.time_since_epoch();
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch) % 1000;
    *lpSystemTime =
        SYSTEMTIME{static_cast<WORD>(local.tm_year + 1900), static_cast<WORD>(local.tm_mon + 1),
                   static_cast<WORD>(local.tm_wday),        static_cast<WORD>(local.tm_mday),
                   static_cast<WORD>(local.tm_hour),        static_cast<WORD>(local.tm_min),
                   static_cast<WORD>(local.tm_sec),         static_cast<WORD>(ms.count())};
}

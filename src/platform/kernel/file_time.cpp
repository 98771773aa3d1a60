// File-time conversion to local time with the zone's current offset (as Windows does: the
// offset in force now, not the one at the converted moment).
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

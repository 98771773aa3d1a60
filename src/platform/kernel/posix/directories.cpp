// Folder creation on the host through the Windows path mapping.
#include <sys/stat.h>

#include <cctype>
#include <cerrno>
#include <string_view>

#include "platform/files/files.h"
#include "platform/kernel/kernel.h"

namespace {

// "C:", "C:\" or "C:/": the root of a drive, which always exists.
bool IsDriveRoot(std::string_view path) {
    if (path.size() < 2 || path.size() > 3) return false;
    if (!std::isalpha(static_cast<unsigned char>(path[0])) || path[1] != ':') return false;
    return path.size() == 2 || path[2] == '\\' || path[2] == '/';
}

}  // namespace

BOOL CreateDirectoryA(LPCSTR lpPathName, SECURITY_ATTRIBUTES* /*lpSecurityAttributes*/) {
    if (lpPathName == nullptr || *lpPathName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (IsDriveRoot(lpPathName)) {
        SetLastError(ERROR_ALREADY_EXISTS);
        return FALSE;
    }
    std::filesystem::path host;
    try {
        host = files::ToHostPath(lpPathName);
    } catch (...) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(host.c_str(), 0777) == 0) return TRUE;
    switch (errno) {
        case EEXIST:
            SetLastError(ERROR_ALREADY_EXISTS);
            break;
        case ENOENT:
        case ENOTDIR:
            SetLastError(ERROR_PATH_NOT_FOUND);
            break;
        case ENAMETOOLONG:
            SetLastError(ERROR_FILENAME_EXCED_RANGE);
            break;
        default:
            SetLastError(ERROR_ACCESS_DENIED);
            break;
    }
    return FALSE;
}

// The presence search, file copy, deletion by wildcard and the raw calls of binary files on
// Windows, through the system's wide-character functions.
#include <fcntl.h>
#include <io.h>

#include <algorithm>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/internal.h"
#include "platform/kernel/windows/utf16.h"

namespace files {
namespace {

namespace fs = std::filesystem;

struct Entry {
    std::string name;  // UTF-8
    fs::path path;
    bool folder;
};

DWORD AttributesOf(const fs::path& path) { return GetFileAttributesW(path.c_str()); }

bool IsFolder(const fs::path& path) {
    const DWORD attributes = AttributesOf(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// The entries of a folder (or the one entry named, with its name as the folder holds it) that
// FindFirstFileW lists for `search`, less "." and "..", filtered by `keep`.
template <typename Keep>
std::vector<Entry> Find(const fs::path& folder, const fs::path& search, Keep keep) {
    std::vector<Entry> out;
    WIN32_FIND_DATAW data;
    const HANDLE find = FindFirstFileW(search.c_str(), &data);
    if (find == INVALID_HANDLE_VALUE) return out;
    do {
        const std::wstring_view wide = data.cFileName;
        if (wide == L"." || wide == L"..") continue;
        std::string name = kernel::Narrow(wide);
        if (!keep(name)) continue;
        const bool folderEntry = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        out.push_back({std::move(name), folder / data.cFileName, folderEntry});
    } while (FindNextFileW(find, &data));
    FindClose(find);
    return out;
}

// The entries matching a Windows path pattern, in name order. The last component may hold
// wildcards, matched here as on the other side; an empty one stands for every entry.
std::vector<Entry> Matches(const std::string& pathPattern) {
    const auto [folder, last] = detail::SplitLast(pathPattern);
    if (!last.empty() && !detail::HasWildcard(last)) {
        const fs::path host = ToHostPath(pathPattern);
        return Find(host.parent_path(), host, [](const std::string&) { return true; });
    }
    const fs::path hostFolder = ToHostPath(folder.empty() ? std::string(".") : folder);
    const std::string pattern = last.empty() ? std::string(1, '*') : FoldCase(last);
    auto entries = Find(hostFolder, hostFolder / L"*", [&](const std::string& name) {
        return detail::MatchesPattern(name, pattern);
    });
    std::sort(entries.begin(), entries.end(),
              [](const Entry& a, const Entry& b) { return a.name < b.name; });
    return entries;
}

// Error number for a file that cannot be created, replaced or written.
int ErrorForWrite(DWORD error) {
    switch (error) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return vberr::DiskFull;
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_WRITE_PROTECT:
            return vberr::PermissionDenied;
        default:
            return vberr::PathFileAccess;
    }
}

// Error number for a failed read or write on an open file.
int IoError(DWORD error) {
    return error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL ? vberr::DiskFull
                                                                       : vberr::DeviceIO;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(_get_osfhandle(fd)); }

}  // namespace

std::string Dir(const std::string& pathPattern, int attributes) {
    for (const auto& match : Matches(pathPattern)) {
        if (!match.folder || (attributes & vbDirectory) != 0) return match.name;
    }
    return "";
}

void FileCopy(const std::string& source, const std::string& destination) {
    const fs::path from = ToHostPath(source);
    const DWORD fromAttributes = AttributesOf(from);
    if (fromAttributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        if (error == ERROR_ACCESS_DENIED) throw vberr::Make(vberr::PermissionDenied);
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
            error == ERROR_INVALID_NAME) {
            throw vberr::Make(vberr::FileNotFound);
        }
        throw vberr::Make(vberr::PathFileAccess);
    }
    if ((fromAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) throw vberr::Make(vberr::FileNotFound);
    const fs::path to = ToHostPath(destination);
    if (!IsFolder(to.parent_path())) throw vberr::Make(vberr::PathNotFound);
    if (IsFolder(to)) throw vberr::Make(vberr::PathFileAccess);
    if (!CopyFileW(from.c_str(), to.c_str(), FALSE)) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) throw vberr::Make(vberr::FileNotFound);
        if (error == ERROR_PATH_NOT_FOUND) throw vberr::Make(vberr::PathNotFound);
        throw vberr::Make(ErrorForWrite(error));
    }
}

void Kill(const std::string& pathPattern) {
    bool found = false;
    for (const auto& match : Matches(pathPattern)) {
        if (match.folder) continue;
        found = true;
        if (!DeleteFileW(match.path.c_str())) throw vberr::Make(vberr::PathFileAccess);
    }
    if (!found) throw vberr::Make(vberr::FileNotFound);
}

namespace detail {

// The descriptor is the C runtime's over the system's handle, so that BinaryFile keeps one kind
// of descriptor on both sides.
int OpenRaw(const std::string& windowsPath, bool forWriting) {
    const fs::path host = ToHostPath(windowsPath);
    const HANDLE handle =
        CreateFileW(host.c_str(), forWriting ? GENERIC_WRITE : GENERIC_READ,
                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                    forWriting ? OPEN_ALWAYS : OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND) {
            if (!IsFolder(host.parent_path())) throw vberr::Make(vberr::PathNotFound);
            throw vberr::Make(vberr::FileNotFound);
        }
        if (error == ERROR_PATH_NOT_FOUND) throw vberr::Make(vberr::PathNotFound);
        throw vberr::Make(vberr::PathFileAccess);
    }
    if (GetFileType(handle) != FILE_TYPE_DISK) {
        CloseHandle(handle);
        throw vberr::Make(vberr::PathFileAccess);
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle),
                                   (forWriting ? _O_WRONLY : _O_RDONLY) | _O_BINARY);
    if (fd < 0) {
        CloseHandle(handle);
        throw vberr::Make(vberr::PathFileAccess);
    }
    return fd;
}

std::size_t ReadRaw(int fd, void* buffer, std::size_t n) {
    DWORD got = 0;
    const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
    if (!ReadFile(HandleOf(fd), buffer, chunk, &got, nullptr)) {
        throw vberr::Make(vberr::DeviceIO);
    }
    return got;
}

void WriteRaw(int fd, const void* data, std::size_t n) {
    const auto* bytes = static_cast<const char*>(data);
    while (n > 0) {
        DWORD written = 0;
        const auto chunk = static_cast<DWORD>(std::min<std::size_t>(n, 1u << 30));
        if (!WriteFile(HandleOf(fd), bytes, chunk, &written, nullptr)) {
            throw vberr::Make(IoError(GetLastError()));
        }
        bytes += written;
        n -= written;
    }
}

std::int64_t RawSize(int fd) {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(HandleOf(fd), &size)) throw vberr::Make(vberr::DeviceIO);
    return size.QuadPart;
}

void TruncateRaw(int fd, std::int64_t length) {
    LARGE_INTEGER position;
    position.QuadPart = length;
    const HANDLE handle = HandleOf(fd);
    if (!SetFilePointerEx(handle, position, nullptr, FILE_BEGIN) || !SetEndOfFile(handle)) {
        throw vberr::Make(IoError(GetLastError()));
    }
}

int CloseRaw(int fd) { return _close(fd) == 0 ? 0 : vberr::DeviceIO; }

}  // namespace detail

}  // namespace files

// Writing files into a target folder on Windows: each folder of a path is created, opened and
// held open (without FILE_SHARE_DELETE, so it cannot be renamed or replaced meanwhile), a folder
// that is a reparse point (a link or junction) is refused, and each file is renamed into place
// only when complete. The file system matches names without regard to case itself. Paths go to
// the wide functions in the "\\?\" form, so that no length limit or name rule of the older
// path syntax applies.
#include <atomic>
#include <charconv>
#include <map>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"
#include "platform/shell/folder_internal.h"

namespace shell::detail {
namespace {

// Folder handles kept open at once. A path is entered with all of its folders open, so no path
// may be deeper; when the cache is full it is emptied and the path opened anew.
constexpr std::size_t kMaxOpenFolders = 256;

constexpr std::wstring_view kTempPrefix = L".kx-";
constexpr std::wstring_view kTempSuffix = L".part";

std::wstring TempName() {
    static std::atomic<unsigned> counter{0};
    return std::wstring(kTempPrefix) + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(counter++) + std::wstring(kTempSuffix);
}

// A temporary file left by an extraction whose process no longer runs: ".kx-<pid>-<n>.part".
bool IsStaleTemp(std::wstring_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
    name.remove_prefix(kTempPrefix.size());
    name.remove_suffix(kTempSuffix.size());
    const std::string text = kernel::Narrow(name);
    const auto dash = text.find('-');
    if (dash == std::string::npos || dash + 1 == text.size()) return false;
    DWORD pid = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + dash, pid);
    if (error != std::errc() || end != text.data() + dash || pid == 0) return false;
    if (text.find_first_not_of("0123456789", dash + 1) != std::string::npos) return false;
    if (pid == GetCurrentProcessId()) return false;
    const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process != nullptr) {
        CloseHandle(process);
        return false;
    }
    return GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
}

// An absolute path in the "\\?\" form, without a trailing separator.
std::wstring LongPath(const std::filesystem::path& path) {
    std::error_code ec;
    std::wstring text = std::filesystem::absolute(path, ec).lexically_normal().make_preferred();
    if (ec) text = path.native();
    while (text.size() > 1 && text.back() == L'\\') text.pop_back();
    if (text.starts_with(L"\\\\?\\")) return text;
    if (text.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + text.substr(2);
    return L"\\\\?\\" + text;
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using UniqueHandle = std::unique_ptr<void, HandleCloser>;

}  // namespace

VbError WriteError(int error, const std::string& name) {
    switch (static_cast<DWORD>(error)) {
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return vberr::Make(vberr::DiskFull);
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
            return VbError(vberr::PermissionDenied, "Permission denied: " + name);
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS:
        case ERROR_DIRECTORY:
        case ERROR_CANT_RESOLVE_FILENAME:
        case ERROR_PATH_NOT_FOUND:
            return VbError(vberr::PathFileAccess, "Path/File access error: " + name +
                                                      " is in the way in the target folder");
        default:
            return VbError(vberr::PathFileAccess, "Path/File access error: " + name);
    }
}

struct TargetTree::Native {
    struct Folder {
        UniqueHandle handle;
        std::wstring path;
        bool scanned = false;
    };
    std::wstring root;
    std::map<std::string, Folder> folders;  // by folded relative path; "" is the root

    Folder& OpenFolder(const std::vector<std::string>& components, std::size_t count);
    void RemoveStaleTemporaries(Folder& folder);
};

TargetTree::TargetTree(const std::filesystem::path& root) : native_(std::make_unique<Native>()) {
    native_->root = LongPath(root);
    const DWORD attributes = GetFileAttributesW((native_->root + L"\\").c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
        throw vberr::Make(vberr::PathNotFound);
    }
    native_->folders[""].path = native_->root;
}

TargetTree::~TargetTree() = default;

void TargetTree::Native::RemoveStaleTemporaries(Folder& folder) {
    folder.scanned = true;
    WIN32_FIND_DATAW found;
    const std::wstring pattern = folder.path + L"\\" + std::wstring(kTempPrefix) + L"*";
    const HANDLE search = FindFirstFileW(pattern.c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const DWORD kinds = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
        if ((found.dwFileAttributes & kinds) == 0 && IsStaleTemp(found.cFileName)) {
            DeleteFileW((folder.path + L"\\" + found.cFileName).c_str());
        }
    } while (FindNextFileW(search, &found));
    FindClose(search);
}

TargetTree::Native::Folder& TargetTree::Native::OpenFolder(
    const std::vector<std::string>& components, std::size_t count) {
    if (count >= kMaxOpenFolders) {
        throw VbError(vberr::PathFileAccess, "Path/File access error: folders nested too deep");
    }
    if (folders.size() + count > kMaxOpenFolders) {
        std::erase_if(folders, [](const auto& folder) { return !folder.first.empty(); });
    }
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string childKey = key + "/" + files::FoldCase(components[i]);
        if (folders.count(childKey) != 0) {
            key = childKey;
            continue;
        }
        const std::wstring path = folders.at(key).path + L"\\" + kernel::Widen(components[i]);
        const bool created = CreateDirectoryW(path.c_str(), nullptr) != 0;
        if (!created && GetLastError() != ERROR_ALREADY_EXISTS) {
            throw WriteError(static_cast<int>(GetLastError()), components[i]);
        }
        UniqueHandle handle(CreateFileW(
            path.c_str(), FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr));
        if (handle.get() == INVALID_HANDLE_VALUE) {
            handle.release();
            throw WriteError(static_cast<int>(GetLastError()), components[i]);
        }
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(handle.get(), &info) ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
            (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
            throw WriteError(ERROR_DIRECTORY, components[i]);
        }
        Folder& child = folders[childKey];
        child.handle = std::move(handle);
        child.path = path;
        child.scanned = created;  // a new folder is known to be empty
        key = childKey;
    }
    Folder& folder = folders.at(key);
    if (!folder.scanned) RemoveStaleTemporaries(folder);
    return folder;
}

void TargetTree::MakeFolder(const std::vector<std::string>& components, std::size_t count) {
    native_->OpenFolder(components, count);
}

struct TargetTree::File::Native {
    UniqueHandle handle;
    std::wstring temp;
    std::wstring path;
    std::string name;
};

TargetTree::File::File(TargetTree& tree, const std::vector<std::string>& components)
    : native_(std::make_unique<Native>()) {
    Native& n = *native_;
    const std::wstring folder =
        tree.native_->OpenFolder(components, components.size() - 1).path + L"\\";
    n.name = components.back();
    n.path = folder + kernel::Widen(n.name);
    n.temp = folder + TempName();
    const HANDLE handle = CreateFileW(n.temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) throw WriteError(static_cast<int>(GetLastError()), n.name);
    n.handle.reset(handle);
}

TargetTree::File::~File() {
    if (!native_->handle) return;
    native_->handle.reset();
    DeleteFileW(native_->temp.c_str());
}

void TargetTree::File::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
        DWORD written = 0;
        if (!WriteFile(native_->handle.get(), data, chunk, &written, nullptr)) {
            throw WriteError(static_cast<int>(GetLastError()), native_->name);
        }
        data += written;
        size -= written;
    }
}

void TargetTree::File::Commit() {
    Native& n = *native_;
    const bool closed = CloseHandle(n.handle.release()) != 0;
    // Renaming over an existing name replaces what is there, a link included, never its target.
    if (!closed || !MoveFileExW(n.temp.c_str(), n.path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        const DWORD error = GetLastError();
        DeleteFileW(n.temp.c_str());
        throw WriteError(static_cast<int>(error), n.name);
    }
}

std::optional<std::uint64_t> VolumeBytes(const std::filesystem::path& folder) {
    ULARGE_INTEGER total;
    if (!GetDiskFreeSpaceExW(folder.c_str(), nullptr, &total, nullptr)) return std::nullopt;
    return total.QuadPart;
}

}  // namespace shell::detail

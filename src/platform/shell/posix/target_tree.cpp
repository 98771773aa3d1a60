// Writing files into a target folder on POSIX: folders entered by descriptor with O_NOFOLLOW,
// names matched without regard to case against what exists, and each file renamed into place
// only when complete.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <map>
#include <unordered_map>

#include "platform/files/files.h"
#include "platform/shell/folder_internal.h"

namespace shell::detail {
namespace {

// Folder descriptors kept open at once. A path is entered with all of its folders open, so
// no path may be deeper; when the cache is full it is emptied and the path opened anew.
constexpr std::size_t kMaxOpenFolders = 256;

constexpr std::string_view kTempPrefix = ".kx-";
constexpr std::string_view kTempSuffix = ".part";

std::string TempName() {
    static std::atomic<unsigned> counter{0};
    return std::string(kTempPrefix) + std::to_string(::getpid()) + "-" + std::to_string(counter++) +
           std::string(kTempSuffix);
}

// A temporary file left by an extraction whose process no longer runs: ".kx-<pid>-<n>.part".
bool IsStaleTemp(std::string_view name) {
    if (!name.starts_with(kTempPrefix) || !name.ends_with(kTempSuffix)) return false;
    name.remove_prefix(kTempPrefix.size());
    name.remove_suffix(kTempSuffix.size());
    const auto dash = name.find('-');
    if (dash == std::string_view::npos || dash + 1 == name.size()) return false;
    pid_t pid = 0;
    const auto [end, error] = std::from_chars(name.data(), name.data() + dash, pid);
    if (error != std::errc() || end != name.data() + dash || pid <= 0) return false;
    for (const char c : name.substr(dash + 1)) {
        if (c < '0' || c > '9') return false;
    }
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

// Each folder entered is kept open by descriptor, so that later names resolve below it whatever
// happens to the path meanwhile.
struct TargetTree::Native {
    struct Entry {
        int fd = -1;
        bool scanned = false;
        std::unordered_map<std::string, std::string> names;  // folded name -> name on disk
    };
    Entry& Scanned(const std::string& key);
    std::string ActualName(const std::string& key, const std::string& name);
    int OpenFolder(const std::vector<std::string>& components, std::size_t count);
    void CloseAll();

    std::map<std::string, Entry> folders;  // by folded relative path; "" is the root
    std::map<int, std::string> keyOfFd;
};

struct TargetTree::File::Native {
    int folder = -1;
    int fd = -1;
    std::string name;
    std::string temp;
};

VbError WriteError(int error, const std::string& name) {
    if (error == ENOSPC || error == EDQUOT) return vberr::Make(vberr::DiskFull);
    if (error == EACCES || error == EPERM || error == EROFS) {
        return VbError(vberr::PermissionDenied, "Permission denied: " + name);
    }
    if (error == ELOOP || error == ENOTDIR || error == EISDIR || error == EEXIST) {
        return VbError(vberr::PathFileAccess,
                       "Path/File access error: " + name + " is in the way in the target folder");
    }
    return VbError(vberr::PathFileAccess, "Path/File access error: " + name);
}

TargetTree::TargetTree(const std::filesystem::path& root) : native_(std::make_unique<Native>()) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw vberr::Make(vberr::PathNotFound);
    native_->folders[""].fd = fd;
    native_->keyOfFd[fd] = "";
}

TargetTree::~TargetTree() {
    for (auto& [key, entry] : native_->folders) {
        if (entry.fd >= 0) ::close(entry.fd);
    }
}

void TargetTree::Native::CloseAll() {
    for (auto it = folders.begin(); it != folders.end();) {
        if (it->first.empty()) {
            ++it;
            continue;
        }
        keyOfFd.erase(it->second.fd);
        ::close(it->second.fd);
        it = folders.erase(it);
    }
}

TargetTree::Native::Entry& TargetTree::Native::Scanned(const std::string& key) {
    Entry& entry = folders.at(key);
    if (entry.scanned) return entry;
    entry.scanned = true;
    const int copy = ::dup(entry.fd);
    if (copy < 0) return entry;
    DIR* dir = ::fdopendir(copy);
    if (dir == nullptr) {
        ::close(copy);
        return entry;
    }
    ::rewinddir(dir);
    while (const dirent* d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..") continue;
        struct stat st;
        if (IsStaleTemp(name) && ::fstatat(entry.fd, d->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(st.st_mode) && ::unlinkat(entry.fd, d->d_name, 0) == 0)
            continue;
        // The first name in sorted order wins when several differ only in case.
        auto [it, inserted] = entry.names.emplace(files::FoldCase(name), name);
        if (!inserted && name < it->second) it->second = name;
    }
    ::closedir(dir);
    return entry;
}

std::string TargetTree::Native::ActualName(const std::string& key, const std::string& name) {
    Entry& entry = Scanned(key);
    const auto found = entry.names.find(files::FoldCase(name));
    if (found != entry.names.end()) return found->second;
    entry.names.emplace(files::FoldCase(name), name);
    return name;
}

int TargetTree::Native::OpenFolder(const std::vector<std::string>& components, std::size_t count) {
    if (count >= kMaxOpenFolders) {
        throw VbError(vberr::PathFileAccess, "Path/File access error: folders nested too deep");
    }
    if (folders.size() + count > kMaxOpenFolders) CloseAll();
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string childKey = key + "/" + files::FoldCase(components[i]);
        if (folders.count(childKey) != 0) {
            key = childKey;
            continue;
        }
        const int parent = folders.at(key).fd;
        const std::string actual = ActualName(key, components[i]);
        const bool created = ::mkdirat(parent, actual.c_str(), 0777) == 0;
        if (!created && errno != EEXIST) throw WriteError(errno, actual);
        const int fd =
            ::openat(parent, actual.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) throw WriteError(errno, actual);
        Entry& child = folders[childKey];
        child.fd = fd;
        child.scanned = created;  // a new folder is known to be empty
        keyOfFd[fd] = childKey;
        key = childKey;
    }
    return folders.at(key).fd;
}

void TargetTree::MakeFolder(const std::vector<std::string>& components, std::size_t count) {
    native_->OpenFolder(components, count);
}

TargetTree::File::File(TargetTree& tree, const std::vector<std::string>& components)
    : native_(std::make_unique<Native>()) {
    Native& n = *native_;
    auto& folders = *tree.native_;
    n.folder = folders.OpenFolder(components, components.size() - 1);
    n.temp = TempName();
    n.name = folders.ActualName(folders.keyOfFd.at(n.folder), components.back());
    n.fd = ::openat(n.folder, n.temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                    0666);
    if (n.fd < 0) throw WriteError(errno, n.name);
}

TargetTree::File::~File() {
    if (native_->fd < 0) return;
    ::close(native_->fd);
    ::unlinkat(native_->folder, native_->temp.c_str(), 0);
}

void TargetTree::File::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(native_->fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw WriteError(errno, native_->name);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TargetTree::File::Commit() {
    Native& n = *native_;
    const int fd = std::exchange(n.fd, -1);
    if (::close(fd) != 0 || ::renameat(n.folder, n.temp.c_str(), n.folder, n.name.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(n.folder, n.temp.c_str(), 0);
        throw WriteError(error, n.name);
    }
}

std::optional<std::uint64_t> VolumeBytes(const std::filesystem::path& folder) {
    struct statvfs volume;
    if (::statvfs(folder.c_str(), &volume) != 0) return std::nullopt;
    return static_cast<std::uint64_t>(volume.f_blocks) * volume.f_frsize;
}

}  // namespace shell::detail

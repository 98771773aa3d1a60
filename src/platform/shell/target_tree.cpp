// Writing files into a target folder: case-insensitive names, no links followed, and each file
// renamed into place only when complete.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>

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

TargetTree::TargetTree(const std::filesystem::path& root) {
    const int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) throw vberr::Make(vberr::PathNotFound);
    folders_[""].fd = fd;
    keyOfFd_[fd] = "";
}

TargetTree::~TargetTree() {
    for (auto& [key, entry] : folders_) {
        if (entry.fd >= 0) ::close(entry.fd);
    }
}

void TargetTree::CloseAll() {
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->first.empty()) {
            ++it;
            continue;
        }
        keyOfFd_.erase(it->second.fd);
        ::close(it->second.fd);
        it = folders_.erase(it);
    }
}

TargetTree::Entry& TargetTree::Scanned(const std::string& key) {
    Entry& entry = folders_.at(key);
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

std::string TargetTree::ActualName(const std::string& key, const std::string& name) {
    Entry& entry = Scanned(key);
    const auto found = entry.names.find(files::FoldCase(name));
    if (found != entry.names.end()) return found->second;
    entry.names.emplace(files::FoldCase(name), name);
    return name;
}

int TargetTree::OpenFolder(const std::vector<std::string>& components, std::size_t count) {
    if (count >= kMaxOpenFolders) {
        throw VbError(vberr::PathFileAccess, "Path/File access error: folders nested too deep");
    }
    if (folders_.size() + count > kMaxOpenFolders) CloseAll();
    std::string key;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string childKey = key + "/" + files::FoldCase(components[i]);
        if (folders_.count(childKey) != 0) {
            key = childKey;
            continue;
        }
        const int parent = folders_.at(key).fd;
        const std::string actual = ActualName(key, components[i]);
        const bool created = ::mkdirat(parent, actual.c_str(), 0777) == 0;
        if (!created && errno != EEXIST) throw WriteError(errno, actual);
        const int fd =
            ::openat(parent, actual.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) throw WriteError(errno, actual);
        Entry& child = folders_[childKey];
        child.fd = fd;
        child.scanned = created;  // a new folder is known to be empty
        keyOfFd_[fd] = childKey;
        key = childKey;
    }
    return folders_.at(key).fd;
}

TargetTree::File::File(TargetTree& tree, int folder, const std::string& name)
    : tree_(tree), folder_(folder), temp_(TempName()) {
    name_ = tree_.ActualName(tree_.keyOfFd_.at(folder), name);
    fd_ = ::openat(folder_, temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                   0666);
    if (fd_ < 0) throw WriteError(errno, name_);
}

TargetTree::File::~File() {
    if (fd_ < 0) return;
    ::close(fd_);
    ::unlinkat(folder_, temp_.c_str(), 0);
}

void TargetTree::File::Write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            throw WriteError(errno, name_);
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
}

void TargetTree::File::Commit() {
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0 || ::renameat(folder_, temp_.c_str(), folder_, name_.c_str()) != 0) {
        const int error = errno;
        ::unlinkat(folder_, temp_.c_str(), 0);
        throw WriteError(error, name_);
    }
}

}  // namespace shell::detail

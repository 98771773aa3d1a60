// The presence search, file copy, deletion by wildcard and raw binary files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <string_view>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files {
namespace {

namespace fs = std::filesystem;

// A file descriptor closed when it goes out of scope.
class Fd {
  public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    ~Fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

enum class Kind { Missing, File, Folder, Other };

Kind KindOf(const std::string& hostPath) {
    struct stat st;
    if (::stat(hostPath.c_str(), &st) != 0) return Kind::Missing;
    if (S_ISREG(st.st_mode)) return Kind::File;
    if (S_ISDIR(st.st_mode)) return Kind::Folder;
    return Kind::Other;
}

// Host paths of the entries matching a Windows path pattern, in name order. The last component
// may hold wildcards; an empty one stands for every entry.
std::vector<fs::path> Matches(const std::string& pathPattern) {
    auto [folder, last] = detail::SplitLast(pathPattern);
    if (!last.empty() && !detail::HasWildcard(last)) {
        const fs::path host = ToHostPath(pathPattern);
        if (KindOf(host) == Kind::Missing) return {};
        return {host};
    }
    if (last.empty()) last = "*";
    const fs::path hostFolder = ToHostPath(folder.empty() ? std::string(".") : folder);
    DIR* dir = ::opendir(hostFolder.c_str());
    if (dir == nullptr) return {};
    const std::string pattern = FoldCase(last);
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir)) {
        const std::string_view name = entry->d_name;
        if (name == "." || name == "..") continue;
        if (detail::MatchesPattern(name, pattern)) names.emplace_back(name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    std::vector<fs::path> out;
    out.reserve(names.size());
    for (const auto& name : names) out.push_back(hostFolder / name);
    return out;
}

// Error number for a failed read or write on an open file.
int IoError(int error) {
    return error == ENOSPC || error == EDQUOT ? vberr::DiskFull : vberr::DeviceIO;
}

// Error number for a file that cannot be created or replaced.
int ErrorForWrite(int error) {
    switch (error) {
        case ENOSPC:
        case EDQUOT:
            return vberr::DiskFull;
        case EIO:
            return vberr::DeviceIO;
        default:
            return vberr::PathFileAccess;
    }
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd, data, size);
        if (written < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        data += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}

// Copies the whole of `in` to `out`: in the kernel where it can, else through a buffer.
bool CopyContents(int in, int out) {
    for (;;) {
        const ssize_t sent = ::sendfile(out, in, nullptr, 1 << 30);
        if (sent > 0) continue;
        if (sent == 0) return true;
        if (errno == EINTR) continue;
        if (errno == EINVAL || errno == ENOSYS) break;
        return false;
    }
    std::vector<char> buffer(detail::kFileBufferSize);
    for (;;) {
        const ssize_t got = ::read(in, buffer.data(), buffer.size());
        if (got == 0) return true;
        if (got < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(got))) return false;
    }
}

std::string TempNameFor(const fs::path& destination) {
    static std::atomic<unsigned> counter{0};
    return (destination.parent_path() /
            ("." + std::to_string(::getpid()) + "-" + std::to_string(counter++) + ".part"))
        .string();
}

}  // namespace

std::string Dir(const std::string& pathPattern, int attributes) {
    for (const auto& match : Matches(pathPattern)) {
        const Kind kind = KindOf(match);
        if (kind == Kind::File || (kind == Kind::Folder && (attributes & vbDirectory) != 0)) {
            return match.filename().string();
        }
    }
    return "";
}

void FileCopy(const std::string& source, const std::string& destination) {
    const fs::path from = ToHostPath(source);
    Fd in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    struct stat st;
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        if (in.get() >= 0 || errno == ENOENT || errno == ENOTDIR) {
            throw vberr::Make(vberr::FileNotFound);
        }
        throw vberr::Make(errno == EACCES ? vberr::PermissionDenied : vberr::PathFileAccess);
    }
    const fs::path to = ToHostPath(destination);
    const Kind folderKind = KindOf(to.parent_path().string());
    if (folderKind != Kind::Folder) throw vberr::Make(vberr::PathNotFound);
    if (KindOf(to) == Kind::Folder) throw vberr::Make(vberr::PathFileAccess);

    // A copy goes to a temporary name beside the destination and replaces it only when complete.
    const std::string temp = TempNameFor(to);
    Fd out(::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW,
                  st.st_mode & 0777));
    if (out.get() < 0) {
        throw vberr::Make(errno == EACCES || errno == EPERM || errno == EROFS
                              ? vberr::PermissionDenied
                              : ErrorForWrite(errno));
    }
    if (!CopyContents(in.get(), out.get())) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw vberr::Make(ErrorForWrite(error));
    }
    if (::close(out.release()) != 0 || ::rename(temp.c_str(), to.c_str()) != 0) {
        const int error = errno;
        ::unlink(temp.c_str());
        throw vberr::Make(error == EACCES || error == EPERM ? vberr::PermissionDenied
                                                            : ErrorForWrite(error));
    }
}

void Kill(const std::string& pathPattern) {
    bool found = false;
    for (const auto& match : Matches(pathPattern)) {
        if (KindOf(match) != Kind::File) continue;
        found = true;
        if (::unlink(match.c_str()) != 0) throw vberr::Make(vberr::PathFileAccess);
    }
    if (!found) throw vberr::Make(vberr::FileNotFound);
}

namespace detail {

int OpenRaw(const std::string& windowsPath, bool forWriting) {
    const fs::path host = ToHostPath(windowsPath);
    const int flags = forWriting ? (O_WRONLY | O_CREAT) : O_RDONLY;
    const int fd = ::open(host.c_str(), flags | O_CLOEXEC, 0666);
    if (fd >= 0) {
        struct stat st;
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) return fd;
        ::close(fd);
        throw vberr::Make(vberr::PathFileAccess);
    }
    const int error = errno;
    if (error == ENOENT) {
        const bool folderExists = KindOf(host.parent_path().string()) == Kind::Folder;
        if (!folderExists) throw vberr::Make(vberr::PathNotFound);
        throw vberr::Make(vberr::FileNotFound);
    }
    if (error == ENOTDIR) throw vberr::Make(vberr::PathNotFound);
    throw vberr::Make(vberr::PathFileAccess);
}

std::size_t ReadRaw(int fd, void* buffer, std::size_t n) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, n);
        if (got >= 0) return static_cast<std::size_t>(got);
        if (errno != EINTR) throw vberr::Make(vberr::DeviceIO);
    }
}

void WriteRaw(int fd, const void* data, std::size_t n) {
    if (!WriteAll(fd, static_cast<const char*>(data), n)) throw vberr::Make(IoError(errno));
}

std::int64_t RawSize(int fd) {
    struct stat st;
    if (::fstat(fd, &st) != 0) throw vberr::Make(vberr::DeviceIO);
    return st.st_size;
}

void TruncateRaw(int fd, std::int64_t length) {
    if (::ftruncate(fd, length) != 0) throw vberr::Make(IoError(errno));
}

int CloseRaw(int fd) { return ::close(fd) == 0 ? 0 : IoError(errno); }

}  // namespace detail

}  // namespace files

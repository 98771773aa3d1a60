// The presence search, file copy, deletion by wildcard and raw binary files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>
#include <vector>

#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBufferSize = 64 * 1024;

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
    std::vector<char> buffer(kBufferSize);
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

BinaryFile::BinaryFile(const std::string& windowsPath, Mode mode)
    : mode_(mode), buffer_(new char[kBufferSize]) {
    const fs::path host = ToHostPath(windowsPath);
    const int flags = mode == Mode::Read ? O_RDONLY : (O_WRONLY | O_CREAT);
    fd_ = ::open(host.c_str(), flags | O_CLOEXEC, 0666);
    if (fd_ >= 0) {
        struct stat st;
        if (::fstat(fd_, &st) == 0 && S_ISREG(st.st_mode)) return;
        ::close(fd_);
        fd_ = -1;
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

BinaryFile::~BinaryFile() {
    if (fd_ < 0) return;
    try {
        Flush();
    } catch (const VbError&) {
        // Nothing can be reported from here; Close() is the place that reports.
    }
    ::close(fd_);
}

void BinaryFile::Fail(int errorNumber) const { throw vberr::Make(errorNumber); }

void BinaryFile::Flush() {
    if (mode_ != Mode::Write || bufferEnd_ == 0) return;
    if (!WriteAll(fd_, buffer_.get(), bufferEnd_)) Fail(IoError(errno));
    filePos_ += static_cast<std::int64_t>(bufferEnd_);
    bufferEnd_ = 0;
}

std::int64_t BinaryFile::Length() const {
    if (fd_ < 0) Fail(vberr::InvalidProcedureCall);
    struct stat st;
    if (::fstat(fd_, &st) != 0) Fail(vberr::DeviceIO);
    const std::int64_t pending =
        mode_ == Mode::Write ? filePos_ + static_cast<std::int64_t>(bufferEnd_) : 0;
    return std::max<std::int64_t>(st.st_size, pending);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t n) {
    if (fd_ < 0 || mode_ != Mode::Read) Fail(vberr::PathFileAccess);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        if (bufferStart_ == bufferEnd_) {
            // Large reads skip the buffer; small ones refill it.
            if (n - done >= kBufferSize) {
                const ssize_t got = ::read(fd_, out + done, n - done);
                if (got < 0 && errno == EINTR) continue;
                if (got < 0) Fail(vberr::DeviceIO);
                if (got == 0) break;
                done += static_cast<std::size_t>(got);
                continue;
            }
            const ssize_t got = ::read(fd_, buffer_.get(), kBufferSize);
            if (got < 0 && errno == EINTR) continue;
            if (got < 0) Fail(vberr::DeviceIO);
            if (got == 0) break;
            bufferStart_ = 0;
            bufferEnd_ = static_cast<std::size_t>(got);
        }
        const std::size_t take = std::min(n - done, bufferEnd_ - bufferStart_);
        std::memcpy(out + done, buffer_.get() + bufferStart_, take);
        bufferStart_ += take;
        done += take;
    }
    return done;
}

void BinaryFile::Write(const void* buffer, std::size_t n) {
    if (fd_ < 0 || mode_ != Mode::Write) Fail(vberr::PathFileAccess);
    const auto* in = static_cast<const char*>(buffer);
    if (bufferEnd_ + n > kBufferSize) {
        Flush();
        if (n >= kBufferSize) {
            if (!WriteAll(fd_, in, n)) Fail(IoError(errno));
            filePos_ += static_cast<std::int64_t>(n);
            return;
        }
    }
    std::memcpy(buffer_.get() + bufferEnd_, in, n);
    bufferEnd_ += n;
}

void BinaryFile::TruncateHere() {
    if (fd_ < 0 || mode_ != Mode::Write) Fail(vberr::PathFileAccess);
    Flush();
    if (::ftruncate(fd_, filePos_) != 0) Fail(IoError(errno));
}

void BinaryFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    try {
        Flush();
    } catch (const VbError&) {
        fd_ = -1;
        ::close(fd);
        throw;
    }
    fd_ = -1;
    if (::close(fd) != 0) Fail(IoError(errno));
}

}  // namespace files

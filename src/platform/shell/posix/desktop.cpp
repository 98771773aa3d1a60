// "WScript.Shell" on POSIX: the desktop folder inside the Wine prefix, and shortcuts written as
// Shell Link files, each renamed into place when whole.
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/files/files.h"
#include "platform/shell/folder_internal.h"

namespace shell {
namespace {

namespace fs = std::filesystem;

void WriteWholeFile(const fs::path& path, const std::vector<std::uint8_t>& bytes) {
    static std::atomic<unsigned> counter{0};
    const fs::path temp = path.parent_path() / (".kx-" + std::to_string(::getpid()) + "-" +
                                                std::to_string(counter++) + ".part");
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) throw vberr::Make(vberr::PathNotFound);
        throw detail::WriteError(errno, path.filename().string());
    }
    std::size_t done = 0;
    int error = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            break;
        }
        done += static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0 && error == 0) error = errno;
    if (error == 0 && ::rename(temp.c_str(), path.c_str()) != 0) error = errno;
    if (error != 0) {
        ::unlink(temp.c_str());
        throw detail::WriteError(error, path.filename().string());
    }
}

}  // namespace

void WshShortcut::Save() const {
    const std::vector<std::uint8_t> bytes = BuildShellLink(*this);
    WriteWholeFile(files::ToHostPath(FullName), bytes);
}

std::string WshShell::SpecialFolders(const std::string& name) const {
    if (files::FoldCase(name) != "desktop") return "";
    const std::string desktop = "C:\\users\\" + files::UserName() + "\\Desktop";
    std::error_code ec;
    fs::create_directories(files::ToHostPath(desktop), ec);
    return desktop;
}

}  // namespace shell

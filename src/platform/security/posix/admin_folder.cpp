// On Linux the folder lives in the user's own Wine prefix: no other user should be able to write
// there, and no link on the way should lead the installer elsewhere.
#include "platform/security/security.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <exception>

#include "platform/files/files.h"

namespace security {

struct AdminFolder::Held {};

namespace {

std::string FailedText(const std::string& folder, int error) {
    return "Não foi possível proteger a pasta " + folder + "\r" + std::strerror(error);
}

}  // namespace

void LoadLibrariesFromSystemFolderOnly() {}

AdminFolder::AdminFolder() = default;
AdminFolder::~AdminFolder() = default;
AdminFolder::AdminFolder(AdminFolder&&) noexcept = default;
AdminFolder& AdminFolder::operator=(AdminFolder&&) noexcept = default;

std::string AdminFolder::Secure(const std::string& windowsFolder) {
    held_.reset();
    std::string folder = windowsFolder;
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    struct stat info {};
    std::string hostPath;
    // Each folder below the drive's root, from the top down; the drive itself is the prefix's.
    for (std::size_t pos = folder.find('\\', 3);; pos = folder.find('\\', pos + 1)) {
        const std::string step = folder.substr(0, pos);
        try {
            hostPath = files::ToHostPath(step).string();
        } catch (const std::exception& e) {
            return "Não foi possível proteger a pasta " + windowsFolder + "\r" + e.what();
        }
        if (::lstat(hostPath.c_str(), &info) != 0) return FailedText(windowsFolder, errno);
        if (S_ISLNK(info.st_mode)) return LinkRefusedText(step);
        if (!S_ISDIR(info.st_mode)) return FailedText(windowsFolder, ENOTDIR);
        if (pos == std::string::npos) break;
    }
    if (info.st_uid != ::geteuid()) {
        if (::geteuid() != 0 || ::chown(hostPath.c_str(), 0, 0) != 0) {
            return FailedText(windowsFolder, EPERM);
        }
    }
    const mode_t mode = info.st_mode & 07777;
    if ((mode & 022) != 0 && ::chmod(hostPath.c_str(), mode & ~mode_t{022}) != 0) {
        return FailedText(windowsFolder, errno);
    }
    held_ = std::make_unique<Held>();
    return {};
}

}  // namespace security

#include "app/InstanceLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <exception>
#include <filesystem>

#include "platform/files/files.h"

namespace app {

InstanceLock::InstanceLock() {
    try {
        const std::filesystem::path folder = files::ToHostPath("C:\\Quorimetra");
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        // Close-on-exec: the programs the installer starts must not keep the lock after it.
        handle_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    } catch (const std::exception&) {
        handle_ = -1;
    }
    if (handle_ < 0) return;
    const int fd = static_cast<int>(handle_);
    int rc;
    do {
        rc = ::flock(fd, LOCK_EX | LOCK_NB);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0 && errno == EWOULDBLOCK) acquired_ = false;
}

InstanceLock::~InstanceLock() {
    if (handle_ >= 0) ::close(static_cast<int>(handle_));
}

}  // namespace app

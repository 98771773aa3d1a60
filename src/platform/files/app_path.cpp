// The folder of the running program, as the installer names its own files from it.
#include <mutex>
#include <optional>

#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files {
namespace {

namespace fs = std::filesystem;

std::mutex& AppPathMutex() {
    static std::mutex mutex;
    return mutex;
}
std::optional<fs::path>& AppPathOverride() {
    static std::optional<fs::path> path;
    return path;
}

}  // namespace

std::string AppPath() {
    fs::path folder;
    {
        std::lock_guard lock(AppPathMutex());
        if (AppPathOverride()) folder = *AppPathOverride();
    }
    if (folder.empty()) folder = detail::RunningProgramFolder();
    std::string path = ToWindowsPath(folder);
    while (!path.empty() && path.back() == '\\') path.pop_back();
    return path;
}

void SetAppPathForTesting(const fs::path& hostFolder) {
    std::lock_guard lock(AppPathMutex());
    if (hostFolder.empty()) {
        AppPathOverride().reset();
    } else {
        AppPathOverride() = hostFolder;
    }
}

}  // namespace files

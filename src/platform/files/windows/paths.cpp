// Paths, environment variables and the program's own folder on Windows, where a Windows path is
// the host's path as it is. Names are UTF-8 here and UTF-16 at the system's boundary.
#include <algorithm>
#include <string_view>

#include "platform/files/files.h"
#include "platform/files/internal.h"
#include "platform/kernel/windows/utf16.h"

namespace files {

namespace fs = std::filesystem;

fs::path WinePrefix() { return {}; }

fs::path ToHostPath(const std::string& windowsPath) {
    const fs::path path(kernel::Widen(windowsPath));
    if (path.is_absolute()) return path;
    std::error_code ec;
    const fs::path cwd = fs::current_path(ec);
    return ec ? path : cwd / path;
}

std::string ToWindowsPath(const fs::path& hostPath) {
    std::string path = kernel::Narrow(hostPath.native());
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

std::string Environ(const std::string& name) {
    const std::wstring wideName = kernel::Widen(name);
    std::wstring value(256, L'\0');
    for (;;) {
        SetLastError(ERROR_SUCCESS);
        const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(),
                                                     static_cast<DWORD>(value.size()));
        if (length == 0) {
            if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) {
                return detail::DefaultEnvironment(FoldCase(name));
            }
            return "";  // set, and empty
        }
        if (length < value.size()) {
            value.resize(length);
            return kernel::Narrow(value);
        }
        value.resize(length);  // the size it needs, with its terminator
    }
}

std::string UserName() {
    wchar_t name[257];  // UNLEN + 1
    DWORD size = static_cast<DWORD>(std::size(name));
    if (GetUserNameW(name, &size) && size > 1) return kernel::Narrow({name, size - 1});
    return "user";
}

namespace detail {

fs::path RunningProgramFolder() {
    std::wstring file(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            GetModuleFileNameW(nullptr, file.data(), static_cast<DWORD>(file.size()));
        if (length == 0) {
            std::error_code ec;
            return fs::current_path(ec);
        }
        if (length < file.size()) {
            file.resize(length);
            return fs::path(file).parent_path();
        }
        file.resize(file.size() * 2);
    }
}

}  // namespace detail

}  // namespace files

#include "app/InstanceLock.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "platform/files/files.h"
#include "platform/kernel/windows/windows_api.h"

namespace app {

InstanceLock::InstanceLock() {
    HANDLE file = INVALID_HANDLE_VALUE;
    try {
        const std::filesystem::path folder = files::ToHostPath("C:\\Quorimetra");
        std::error_code ignored;
        std::filesystem::create_directories(folder, ignored);
        // Opened for nobody else to share and deleted when closed: a second installer's open
        // fails with a sharing violation (or access denied while the delete is pending). The
        // handle is not inherited by the programs the installer starts.
        file = CreateFileW((folder / L"instalador.lock").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                           nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_HIDDEN | FILE_FLAG_DELETE_ON_CLOSE,
                           nullptr);
    } catch (const std::exception&) {
        return;
    }
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_ACCESS_DENIED) acquired_ = false;
        return;
    }
    handle_ = reinterpret_cast<std::intptr_t>(file);
}

InstanceLock::~InstanceLock() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace app

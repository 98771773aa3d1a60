// The test prefix on Windows: drive C is the system's own, the rest a fresh temporary folder.
#include <windows.h>

#include <stdexcept>

#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"
#include "support/prefix.h"

namespace testsupport {

namespace fs = std::filesystem;

namespace {

// The installer's folders on drive C, which the tests create and remove.
const fs::path kInstallerRoot = L"C:\\Quorimetra";

// Under Wine drive C belongs to the test prefix; on a real Windows it may hold an installation.
bool UnderWine() {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

void ClearInstallerRoot() {
    std::error_code ec;
    fs::remove_all(kInstallerRoot, ec);
    if (fs::exists(kInstallerRoot, ec))
        throw std::runtime_error("cannot remove " + kernel::Narrow(kInstallerRoot.native()));
}

}  // namespace

fs::path MakeTempFolder(const char* stem) {
    static int count = 0;
    const fs::path folder = fs::temp_directory_path() /
                            (std::string(stem) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(count++));
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder;
}

TempPrefix::TempPrefix() {
    if (!UnderWine() && fs::exists(kInstallerRoot))
        throw std::runtime_error("C:\\Quorimetra exists: the tests would change an installation");
    ClearInstallerRoot();
    root = MakeTempFolder("kv-prefix");
    appDir = root / "app";
    fs::create_directories(appDir);
    wchar_t old[32767];
    const DWORD length = GetEnvironmentVariableW(L"TEMP", old, 32767);
    if (length > 0 && length < 32767) savedVariables_.emplace_back("TEMP", kernel::Narrow(old));
    SetEnvironmentVariableW(L"TEMP", root.c_str());
    files::SetAppPathForTesting(appDir);
}

TempPrefix::~TempPrefix() {
    files::SetAppPathForTesting({});
    SetEnvironmentVariableW(L"TEMP", savedVariables_.empty()
                                         ? nullptr
                                         : kernel::Widen(savedVariables_[0].second).c_str());
    std::error_code ec;
    fs::remove_all(kInstallerRoot, ec);
    fs::remove_all(root, ec);
}

fs::path TempPrefix::DriveC() const { return L"C:\\"; }

}  // namespace testsupport

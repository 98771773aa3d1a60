// The folder's owner and DACL through the security API; the folders on the way opened without
// following reparse points, so that a junction planted by another user is seen, not crossed.
#include "platform/security/security.h"

#include <aclapi.h>

#include <cstdint>
#include <vector>

#include "platform/kernel/windows/utf16.h"
#include "platform/kernel/windows/windows_api.h"
#include "platform/security/windows/admin_folder_dacl.h"

namespace security {

struct AdminFolder::Held {
    std::vector<HANDLE> handles;
    ~Held() {
        for (HANDLE h : handles) CloseHandle(h);
    }
};

namespace {

std::string SystemText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    std::wstring text = length ? std::wstring(buffer, length) : std::wstring();
    if (buffer) LocalFree(buffer);
    while (!text.empty() && (text.back() == L'\n' || text.back() == L'\r')) text.pop_back();
    if (text.empty()) return "erro " + std::to_string(error);
    return kernel::Narrow(text);
}

std::string FailedText(const std::string& folder, DWORD error) {
    return "Não foi possível proteger a pasta " + folder + "\r" + SystemText(error);
}

// An administrator may open and take a folder over whatever its DACL says, with these
// privileges on; where the token lacks them, the change below fails and says so.
void EnableTakeOwnership() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
        return;
    }
    for (const wchar_t* name :
         {L"SeBackupPrivilege", L"SeTakeOwnershipPrivilege", L"SeRestorePrivilege"}) {
        TOKEN_PRIVILEGES privileges{};
        privileges.PrivilegeCount = 1;
        privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
        if (LookupPrivilegeValueW(nullptr, name, &privileges.Privileges[0].Luid)) {
            AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
        }
    }
    CloseHandle(token);
}

struct Sid {
    std::uint8_t bytes[SECURITY_MAX_SID_SIZE];
    explicit Sid(WELL_KNOWN_SID_TYPE type) {
        DWORD size = sizeof bytes;
        CreateWellKnownSid(type, nullptr, bytes, &size);
    }
    PSID get() { return bytes; }
};

EXPLICIT_ACCESS_W Grant(Sid& sid, DWORD rights) {
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = SET_ACCESS;
    access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    access.Trustee.ptstrName = static_cast<LPWSTR>(sid.get());
    return access;
}

}  // namespace

namespace detail {

PACL NewAdminFolderDacl(DWORD& error) {
    Sid administrators(WinBuiltinAdministratorsSid);
    Sid system(WinLocalSystemSid);
    Sid users(WinBuiltinUsersSid);
    EXPLICIT_ACCESS_W entries[] = {
        Grant(administrators, FILE_ALL_ACCESS),
        Grant(system, FILE_ALL_ACCESS),
        Grant(users, FILE_GENERIC_READ | FILE_GENERIC_EXECUTE),
    };
    PACL acl = nullptr;
    error = SetEntriesInAclW(3, entries, nullptr, &acl);
    return error == ERROR_SUCCESS ? acl : nullptr;
}

}  // namespace detail

void LoadLibrariesFromSystemFolderOnly() { SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32); }

AdminFolder::AdminFolder() = default;
AdminFolder::~AdminFolder() = default;
AdminFolder::AdminFolder(AdminFolder&&) noexcept = default;
AdminFolder& AdminFolder::operator=(AdminFolder&&) noexcept = default;

std::string AdminFolder::Secure(const std::string& windowsFolder) {
    held_.reset();
    auto held = std::make_unique<Held>();
    EnableTakeOwnership();

    // Each folder below the drive's root, from the top down: "C:\Quorimetra", then
    // "C:\Quorimetra\Install". Listing access makes the missing share of deletion count.
    std::string folder = windowsFolder;
    while (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
    for (std::size_t pos = folder.find('\\', 3);; pos = folder.find('\\', pos + 1)) {
        const std::string step = folder.substr(0, pos);
        // Wine shows a Unix symbolic link as a reparse point here only, not through a handle.
        const DWORD attributes = GetFileAttributesW(kernel::Widen(step).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
            return LinkRefusedText(step);
        }
        HANDLE handle = CreateFileW(
            kernel::Widen(step).c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | READ_CONTROL,
            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
            FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
        if (handle == INVALID_HANDLE_VALUE) return FailedText(windowsFolder, GetLastError());
        held->handles.push_back(handle);
        BY_HANDLE_FILE_INFORMATION info;
        if (!GetFileInformationByHandle(handle, &info)) {
            return FailedText(windowsFolder, GetLastError());
        }
        if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) return LinkRefusedText(step);
        if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
            return FailedText(windowsFolder, ERROR_DIRECTORY);
        }
        if (pos == std::string::npos) break;
    }

    DWORD made = ERROR_SUCCESS;
    PACL acl = detail::NewAdminFolderDacl(made);
    if (!acl) return FailedText(windowsFolder, made);
    Sid administrators(WinBuiltinAdministratorsSid);
    // By name, now that no folder on the way can change: the system hands the new inheritable
    // entries on to what the folder already holds. The DACL is protected, so nothing from above
    // is inherited.
    std::wstring wide = kernel::Widen(folder);
    const DWORD set = SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT,
                                            OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION |
                                                PROTECTED_DACL_SECURITY_INFORMATION,
                                            administrators.get(), nullptr, acl, nullptr);
    LocalFree(acl);
    if (set != ERROR_SUCCESS) return FailedText(windowsFolder, set);
    held_ = std::move(held);
    return {};
}

}  // namespace security

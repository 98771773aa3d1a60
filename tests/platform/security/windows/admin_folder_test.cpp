// The install folder on Windows. Wine keeps no security descriptor on files: it maps a DACL onto
// the Unix mode bits and reads one back made from them. So the DACL the program hands the system
// is read on its own, and the folder's is read back for what Wine keeps: who may write.
#include <aclapi.h>
#include <gtest/gtest.h>
#include <sddl.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/kernel/windows/utf16.h"
#include "platform/security/security.h"
#include "platform/security/windows/admin_folder_dacl.h"
#include "support/windows_folder.h"

namespace {

struct WellKnown {
    std::uint8_t bytes[SECURITY_MAX_SID_SIZE];
    explicit WellKnown(WELL_KNOWN_SID_TYPE type) {
        DWORD size = sizeof bytes;
        CreateWellKnownSid(type, nullptr, bytes, &size);
    }
    PSID get() { return bytes; }
};

PACL ReadDacl(const std::string& folder, PSECURITY_DESCRIPTOR& descriptor) {
    PACL dacl = nullptr;
    std::wstring wide = kernel::Widen(folder);
    EXPECT_EQ(GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    return dacl;
}

// Whether an entry of the DACL lets the given group add or change anything in the folder.
bool GrantsWrite(PACL dacl, PSID group) {
    for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(dacl, i, &ace)) continue;
        const auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
        if (allowed->Header.AceType != ACCESS_ALLOWED_ACE_TYPE) continue;
        if (!EqualSid(const_cast<DWORD*>(&allowed->SidStart), group)) continue;
        const DWORD writes = FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_WRITE_DATA |
                             FILE_DELETE_CHILD | WRITE_DAC | WRITE_OWNER | GENERIC_WRITE |
                             GENERIC_ALL;
        if (allowed->Mask & writes) return true;
    }
    return false;
}

TEST(AdminFolder, DaclGivesAdministratorsAndSystemFullControlAndUsersReadAndExecute) {
    DWORD error = 0;
    PACL dacl = security::detail::NewAdminFolderDacl(error);
    ASSERT_NE(dacl, nullptr) << error;
    SECURITY_DESCRIPTOR descriptor;
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, dacl, FALSE));
    wchar_t* sddl = nullptr;
    ASSERT_TRUE(ConvertSecurityDescriptorToStringSecurityDescriptorW(
        &descriptor, SDDL_REVISION_1, DACL_SECURITY_INFORMATION, &sddl, nullptr));
    EXPECT_EQ(kernel::Narrow(sddl), "D:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)");
    LocalFree(sddl);
    LocalFree(dacl);
}

TEST(AdminFolder, FolderThatEveryoneMayChangeIsPutRight) {
    testsupport::WindowsFolder temp;
    const std::string folder = temp.Path("Quorimetra\\Install");
    std::filesystem::create_directories(temp.Host("Quorimetra\\Install"));
    WellKnown everyone(WinWorldSid);
    EXPLICIT_ACCESS_W access{};
    access.grfAccessPermissions = FILE_ALL_ACCESS;
    access.grfAccessMode = SET_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    access.Trustee.ptstrName = static_cast<LPWSTR>(everyone.get());
    PACL loose = nullptr;
    ASSERT_EQ(SetEntriesInAclW(1, &access, nullptr, &loose), ERROR_SUCCESS);
    std::wstring wide = kernel::Widen(folder);
    ASSERT_EQ(SetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                    nullptr, loose, nullptr),
              ERROR_SUCCESS);
    LocalFree(loose);
    PSECURITY_DESCRIPTOR before = nullptr;
    ASSERT_TRUE(GrantsWrite(ReadDacl(folder, before), everyone.get()));
    LocalFree(before);

    {
        security::AdminFolder guard;
        ASSERT_EQ(guard.Secure(folder), "");
    }

    PSECURITY_DESCRIPTOR after = nullptr;
    PACL dacl = ReadDacl(folder, after);
    WellKnown users(WinBuiltinUsersSid);
    WellKnown authenticated(WinAuthenticatedUserSid);
    EXPECT_FALSE(GrantsWrite(dacl, everyone.get()));
    EXPECT_FALSE(GrantsWrite(dacl, users.get()));
    EXPECT_FALSE(GrantsWrite(dacl, authenticated.get()));
    LocalFree(after);
}

// C:\kv-link is a link to C:\kv-link-target, made by the test's set-up (Wine makes no reparse
// points itself: it shows a Unix symbolic link as one).
TEST(AdminFolder, RefusesALinkOnTheWay) {
    ASSERT_NE(GetFileAttributesW(L"C:\\kv-link\\Install"), INVALID_FILE_ATTRIBUTES);
    security::AdminFolder guard;
    EXPECT_EQ(guard.Secure("C:\\kv-link\\Install"), security::LinkRefusedText("C:\\kv-link"));
}

}  // namespace

// The DACL that AdminFolder::Secure hands the system, on its own so that tests can read it
// where the system does not keep it (Wine maps a folder's DACL onto Unix mode bits).
#pragma once

#include "platform/kernel/windows/windows_api.h"

namespace security::detail {

// Administrators and SYSTEM full control, Users read and execute, each inherited by the files
// and folders inside. Free the result with LocalFree; nullptr with `error` set on failure.
PACL NewAdminFolderDacl(DWORD& error);

}  // namespace security::detail

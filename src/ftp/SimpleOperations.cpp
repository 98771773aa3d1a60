// cFTP: one-call transfers, remote file and folder operations and the remote current folder.
// Each hands one request to the service and records the failure under its own label.
#include <cstring>
#include <vector>

#include "ftp/cFTP.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr DWORD kCurrentDirectorySize = 1024;

}  // namespace

bool cFTP::SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote) {
    if (RefuseNul({sLocal, sRemote}, "SimpleFtpPutFile")) return false;
    if (FtpPutFileA(hConnection.get(), sLocal.c_str(), sRemote.c_str(),
                    static_cast<DWORD>(lTransferType), 0)) {
        return true;
    }
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "SimpleFtpPutFile");
    return false;
}

bool cFTP::RenameFTPFile(const std::string& sExisting, const std::string& sNewName) {
    if (RefuseNul({sExisting, sNewName}, "RenameFTPFile")) return false;
    if (FtpRenameFileA(hConnection.get(), sExisting.c_str(), sNewName.c_str())) return true;
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "RenameFTPFile");
    return false;
}

bool cFTP::CreateFTPDirectory(const std::string& sDirectory) {
    if (RefuseNul({sDirectory}, "CreateFTPDirectory")) return false;
    if (FtpCreateDirectoryA(hConnection.get(), sDirectory.c_str())) return true;
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "CreateFTPDirectory");
    return false;
}

bool cFTP::RemoveFTPDirectory(const std::string& sDirectory) {
    if (RefuseNul({sDirectory}, "RemoveFTPDirectory")) return false;
    if (FtpRemoveDirectoryA(hConnection.get(), sDirectory.c_str())) return true;
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "RemoveFTPDirectory");
    return false;
}

bool cFTP::DeleteFTPFile(const std::string& sRemote) {
    if (RefuseNul({sRemote}, "DeleteFTPFile")) return false;
    if (FtpDeleteFileA(hConnection.get(), sRemote.c_str())) return true;
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "DeleteFTPFile");
    return false;
}

bool cFTP::SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote) {
    if (RefuseNul({sLocal, sRemote}, "SimpleFtpGetFile")) return false;
    if (FtpGetFileA(hConnection.get(), sRemote.c_str(), sLocal.c_str(), FALSE,
                    FILE_ATTRIBUTE_NORMAL, static_cast<DWORD>(lTransferType) | INTERNET_FLAG_RELOAD,
                    0)) {
        return true;
    }
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "SimpleFtpGetFile");
    return false;
}

std::string cFTP::GetFTPDirectory() {
    std::vector<char> buffer(kCurrentDirectorySize, '\0');
    DWORD length = kCurrentDirectorySize;
    if (!FtpGetCurrentDirectoryA(hConnection.get(), buffer.data(), &length)) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "FtpGetCurrentDirectory");
        return {};
    }
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

bool cFTP::SetFTPDirectory(const std::string& sDir) {
    if (RefuseNul({sDir}, "FtpSetCurrentDirectory")) return false;
    if (FtpSetCurrentDirectoryA(hConnection.get(), sDir.c_str())) return true;
    SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "FtpSetCurrentDirectory");
    return false;
}

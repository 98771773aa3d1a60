// The folders of a program's kind on Windows. A 64-bit Windows answers GetSystemWow64DirectoryW
// with the 32-bit programs' system folder (SysWOW64); a 32-bit Windows answers it with
// ERROR_CALL_NOT_IMPLEMENTED and has one view. The paths are explicit, so that they mean the same
// to this program whatever its own kind: a 32-bit build reaches the 64-bit system folder through
// "Sysnative", which the file system redirection of 32-bit programs leaves alone.
#include "platform/files/files.h"
#include "platform/kernel/windows/utf16.h"

namespace files {
namespace {

std::string SystemFolder(UINT(WINAPI* query)(LPWSTR, UINT)) {
    std::wstring folder(MAX_PATH, L'\0');
    const UINT length = query(folder.data(), MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "";
    folder.resize(length);
    return kernel::Narrow(folder);
}

bool RunningAs32BitOn64Bit() {
    BOOL wow64 = FALSE;
    return IsWow64Process(GetCurrentProcess(), &wow64) && wow64;
}

}  // namespace

ProgramFolders FoldersFor(ImageBits bits) {
    const std::string wow64 = SystemFolder(GetSystemWow64DirectoryW);
    ProgramFolders folders;
    if (wow64.empty()) {
        folders.system = SystemFolder(GetSystemDirectoryW);
        folders.commonFiles = Environ("CommonProgramFiles");
    } else if (bits == ImageBits::Bits32) {
        folders.system = wow64;
        folders.commonFiles = Environ("CommonProgramFiles(x86)");
    } else if (RunningAs32BitOn64Bit()) {
        folders.system = Environ("windir") + "\\Sysnative";
        folders.commonFiles = Environ("CommonProgramW6432");
    } else {
        folders.system = SystemFolder(GetSystemDirectoryW);
        folders.commonFiles = Environ("CommonProgramFiles");
    }
    folders.registrar = folders.system + "\\regsvr32.exe";
    return folders;
}

}  // namespace files

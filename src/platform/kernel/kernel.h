// Kernel functions of the platform: the thread's last error, folder creation, module handles,
// message texts and file-time conversion.
#pragma once

#if defined(_WIN32)
#include "platform/kernel/windows/windows_api.h"  // the system's own functions
#else

#include <cstdarg>

#include "platform/kernel/wintypes.h"

// Last-error code of the calling thread, as every platform stand-in leaves it.
DWORD GetLastError();
void SetLastError(DWORD dwErrCode);

// Creates one folder (a Windows path, resolved on the host by platform/files) whose parent
// exists. Fails with ERROR_ALREADY_EXISTS, ERROR_PATH_NOT_FOUND or ERROR_ACCESS_DENIED.
BOOL CreateDirectoryA(LPCSTR lpPathName, SECURITY_ATTRIBUTES* lpSecurityAttributes);

// The module handle of a loaded module by name, without regard to case. "wininet.dll" is always
// loaded (the FTP service); its handle is the source of the service's message texts. 0 with
// ERROR_MOD_NOT_FOUND (126) for any other name.
HMODULE GetModuleHandleA(LPCSTR lpModuleName);

constexpr DWORD FORMAT_MESSAGE_FROM_HMODULE = 0x00000800;
constexpr DWORD FORMAT_MESSAGE_FROM_SYSTEM = 0x00001000;
constexpr DWORD FORMAT_MESSAGE_IGNORE_INSERTS = 0x00000200;
constexpr DWORD ERROR_MOD_NOT_FOUND = 126;
constexpr DWORD ERROR_MR_MID_NOT_FOUND = 317;

// Writes the message text for dwMessageId into lpBuffer (nSize characters, NUL included) and
// returns the number of characters written without the NUL; 0 and ERROR_MR_MID_NOT_FOUND when
// the module has no text for the code (nothing written then).
DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                     LPSTR lpBuffer, DWORD nSize, va_list* Arguments);

// Converts a UTC file time to local time with the zone's current offset, as Windows does.
BOOL FileTimeToLocalFileTime(const FILETIME* lpFileTime, FILETIME* lpLocalFileTime);

// The current local date and time.
void GetLocalTime(SYSTEMTIME* lpSystemTime);

#endif

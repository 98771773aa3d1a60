// The platform's FTP service: the WinINet FTP functions over POSIX sockets, with WinINet's
// arguments, flags, handle tree, per-thread last error and last server reply.
#pragma once

#if defined(_WIN32)
#include "platform/wininet/windows/system_wininet.h"
#else

#include "platform/kernel/wintypes.h"

using HINTERNET = void*;
using INTERNET_PORT = WORD;

constexpr INTERNET_PORT INTERNET_INVALID_PORT_NUMBER = 0;
constexpr INTERNET_PORT INTERNET_DEFAULT_FTP_PORT = 21;
constexpr DWORD INTERNET_OPEN_TYPE_PRECONFIG = 0;
constexpr DWORD INTERNET_OPEN_TYPE_DIRECT = 1;
constexpr DWORD INTERNET_SERVICE_FTP = 1;
constexpr DWORD INTERNET_FLAG_PASSIVE = 0x08000000;
constexpr DWORD INTERNET_FLAG_RELOAD = 0x80000000;
constexpr DWORD FTP_TRANSFER_TYPE_ASCII = 0x1;
constexpr DWORD FTP_TRANSFER_TYPE_BINARY = 0x2;
constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;
constexpr DWORD INTERNET_AUTODIAL_FORCE_ONLINE = 1;

// Options of InternetSetOptionA (values in milliseconds, passed as a DWORD).
constexpr DWORD INTERNET_OPTION_CONNECT_TIMEOUT = 2;
constexpr DWORD INTERNET_OPTION_SEND_TIMEOUT = 5;
constexpr DWORD INTERNET_OPTION_RECEIVE_TIMEOUT = 6;
constexpr DWORD INTERNET_OPTION_DATA_SEND_TIMEOUT = 7;
constexpr DWORD INTERNET_OPTION_DATA_RECEIVE_TIMEOUT = 8;

// Error numbers of the service.
constexpr DWORD INTERNET_ERROR_BASE = 12000;
constexpr DWORD ERROR_INTERNET_OUT_OF_HANDLES = 12001;
constexpr DWORD ERROR_INTERNET_TIMEOUT = 12002;
constexpr DWORD ERROR_INTERNET_EXTENDED_ERROR = 12003;
constexpr DWORD ERROR_INTERNET_INTERNAL_ERROR = 12004;
constexpr DWORD ERROR_INTERNET_INVALID_URL = 12005;
constexpr DWORD ERROR_INTERNET_NAME_NOT_RESOLVED = 12007;
constexpr DWORD ERROR_INTERNET_PROTOCOL_NOT_FOUND = 12008;
constexpr DWORD ERROR_INTERNET_INVALID_OPTION = 12009;
constexpr DWORD ERROR_INTERNET_BAD_OPTION_LENGTH = 12010;
constexpr DWORD ERROR_INTERNET_SHUTDOWN = 12012;
constexpr DWORD ERROR_INTERNET_INCORRECT_USER_NAME = 12013;
constexpr DWORD ERROR_INTERNET_INCORRECT_PASSWORD = 12014;
constexpr DWORD ERROR_INTERNET_LOGIN_FAILURE = 12015;
constexpr DWORD ERROR_INTERNET_INVALID_OPERATION = 12016;
constexpr DWORD ERROR_INTERNET_OPERATION_CANCELLED = 12017;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_TYPE = 12018;
constexpr DWORD ERROR_INTERNET_INCORRECT_HANDLE_STATE = 12019;
constexpr DWORD ERROR_INTERNET_CANNOT_CONNECT = 12029;
constexpr DWORD ERROR_INTERNET_CONNECTION_ABORTED = 12030;
constexpr DWORD ERROR_INTERNET_CONNECTION_RESET = 12031;
constexpr DWORD ERROR_FTP_TRANSFER_IN_PROGRESS = 12110;
constexpr DWORD ERROR_FTP_DROPPED = 12111;
constexpr DWORD ERROR_FTP_NO_PASSIVE_MODE = 12112;
// A reply that breaks the protocol (no code, a line or reply over the limits, garbage).
constexpr DWORD ERROR_HTTP_INVALID_SERVER_RESPONSE = 12152;
constexpr DWORD ERROR_INTERNET_DISCONNECTED = 12163;

// Handle tree: InternetOpenA gives a root, InternetConnectA a connection under it, FtpOpenFileA
// and FtpFindFirstFileA a file or find handle under the connection.
BOOL InternetAutodial(DWORD dwFlags, HANDLE hwndParent);
HINTERNET InternetOpenA(LPCSTR lpszAgent, DWORD dwAccessType, LPCSTR lpszProxy,
                        LPCSTR lpszProxyBypass, DWORD dwFlags);
BOOL InternetSetOptionA(HINTERNET hInternet, DWORD dwOption, LPVOID lpBuffer, DWORD dwBufferLength);
// lpszServerName may carry ":port", which takes the place of nServerPort.
HINTERNET InternetConnectA(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                           LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService, DWORD dwFlags,
                           DWORD_PTR dwContext);
BOOL InternetCloseHandle(HINTERNET hInternet);

HINTERNET FtpOpenFileA(HINTERNET hConnect, LPCSTR lpszFileName, DWORD dwAccess, DWORD dwFlags,
                       DWORD_PTR dwContext);
BOOL InternetReadFile(HINTERNET hFile, LPVOID lpBuffer, DWORD dwNumberOfBytesToRead,
                      LPDWORD lpdwNumberOfBytesRead);
BOOL InternetWriteFile(HINTERNET hFile, LPCVOID lpBuffer, DWORD dwNumberOfBytesToWrite,
                       LPDWORD lpdwNumberOfBytesWritten);

HINTERNET FtpFindFirstFileA(HINTERNET hConnect, LPCSTR lpszSearchFile,
                            WIN32_FIND_DATAA* lpFindFileData, DWORD dwFlags, DWORD_PTR dwContext);
BOOL InternetFindNextFileA(HINTERNET hFind, LPVOID lpvFindData);

BOOL FtpPutFileA(HINTERNET hConnect, LPCSTR lpszLocalFile, LPCSTR lpszNewRemoteFile, DWORD dwFlags,
                 DWORD_PTR dwContext);
BOOL FtpGetFileA(HINTERNET hConnect, LPCSTR lpszRemoteFile, LPCSTR lpszNewFile, BOOL fFailIfExists,
                 DWORD dwFlagsAndAttributes, DWORD dwFlags, DWORD_PTR dwContext);
BOOL FtpRenameFileA(HINTERNET hConnect, LPCSTR lpszExisting, LPCSTR lpszNew);
BOOL FtpDeleteFileA(HINTERNET hConnect, LPCSTR lpszFileName);
BOOL FtpCreateDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory);
BOOL FtpRemoveDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory);
BOOL FtpGetCurrentDirectoryA(HINTERNET hConnect, LPSTR lpszCurrentDirectory,
                             LPDWORD lpdwCurrentDirectory);
BOOL FtpSetCurrentDirectoryA(HINTERNET hConnect, LPCSTR lpszDirectory);

// The last server reply of the calling thread, all its lines, code included.
BOOL InternetGetLastResponseInfoA(LPDWORD lpdwError, LPSTR lpszBuffer, LPDWORD lpdwBufferLength);

namespace wininet {
// Test hook: makes InternetAutodial answer false while set (no network).
void SetAutodialOfflineForTesting(bool offline);
}  // namespace wininet

#endif

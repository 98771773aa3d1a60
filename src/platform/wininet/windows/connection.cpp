// The connection handle on Windows: the server text's port split off, then the system's call.
#include "platform/wininet/wininet.h"

#include "platform/wininet/server_name.h"

#undef InternetConnectA  // from here on, the system's own function

namespace wininet {

HINTERNET ConnectToServerText(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                              LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                              DWORD dwFlags, DWORD_PTR dwContext) {
    ServerName server;
    if (lpszServerName != nullptr && *lpszServerName != '\0') {
        if (!SplitServerName(lpszServerName, server)) {
            SetLastError(ERROR_INTERNET_NAME_NOT_RESOLVED);
            return nullptr;
        }
        if (server.port > 0) nServerPort = static_cast<INTERNET_PORT>(server.port);
        lpszServerName = server.host.c_str();
    }
    return ::InternetConnectA(hInternet, lpszServerName, nServerPort, lpszUserName, lpszPassword,
                              dwService, dwFlags, dwContext);
}

}  // namespace wininet

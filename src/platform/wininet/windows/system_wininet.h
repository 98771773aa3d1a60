// The FTP service on Windows: the system's WinINet itself. The layer's InternetConnectA also
// takes "host:port" as the server text (the built-in setting may carry a port), which the
// system's does not, so callers reach the layer's function under the system's name.
#pragma once

#include "platform/kernel/windows/windows_api.h"

#include <wininet.h>  // after <windows.h>, which it needs

namespace wininet {

// Splits the ":port" off lpszServerName, which then takes the place of nServerPort, and calls
// the system's InternetConnectA.
HINTERNET ConnectToServerText(HINTERNET hInternet, LPCSTR lpszServerName, INTERNET_PORT nServerPort,
                              LPCSTR lpszUserName, LPCSTR lpszPassword, DWORD dwService,
                              DWORD dwFlags, DWORD_PTR dwContext);

}  // namespace wininet

#define InternetConnectA ::wininet::ConnectToServerText

// Module handles and message texts: the FTP service's module and the message table that
// FormatMessageA reads, with the English texts of the codes the platform layers report.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/kernel/kernel.h"

namespace {

constexpr DWORD FORMAT_MESSAGE_ALLOCATE_BUFFER = 0x00000100;
constexpr DWORD FORMAT_MESSAGE_FROM_STRING = 0x00000400;

// Stand-ins for loaded modules: only their addresses matter.
char serviceModule;
char programModule;

struct Message {
    DWORD id;
    const char* text;
};

// Sorted by id. Texts end with "\r\n" as the platform's message texts do.
constexpr Message kMessages[] = {
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {18, "There are no more files.\r\n"},
    {29, "The system cannot write to the specified device.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {12001, "No more handles could be generated at this time.\r\n"},
    {12002, "The operation timed out\r\n"},
    {12003,
     "An extended error was returned from the server. This is typically a string or buffer "
     "containing a verbose error message. Call InternetGetLastResponseInfo to retrieve the "
     "error text.\r\n"},
    {12004, "An internal error occurred.\r\n"},
    {12005, "The URL is invalid.\r\n"},
    {12006, "The URL does not use a recognized protocol\r\n"},
    {12007, "The server name or address could not be resolved\r\n"},
    {12008, "A protocol with the required capabilities was not found\r\n"},
    {12009, "The option is invalid\r\n"},
    {12010, "The length is incorrect for the option type\r\n"},
    {12011, "The option value cannot be set\r\n"},
    {12012, "Internet client support has been shut down\r\n"},
    {12013, "The user name was not allowed\r\n"},
    {12014, "The password was not allowed\r\n"},
    {12015, "The login request was denied\r\n"},
    {12016, "The requested operation is invalid\r\n"},
    {12017, "The operation has been canceled\r\n"},
    {12018, "The supplied handle is the wrong type for the requested operation\r\n"},
    {12019, "The handle is in the wrong state for the requested operation\r\n"},
    {12029, "A connection with the server could not be established\r\n"},
    {12030, "The connection with the server was terminated abnormally\r\n"},
    {12031, "The connection with the server was reset\r\n"},
    {12110, "There is already an FTP request in progress on this session\r\n"},
    {12111, "The FTP session was terminated\r\n"},
    {12112, "FTP Passive mode is not available\r\n"},
    {12152, "The server returned an invalid or unrecognized response\r\n"},
    {12163, "The Internet connection has been lost\r\n"},
};

const char* FindMessage(DWORD id) {
    auto it = std::lower_bound(std::begin(kMessages), std::end(kMessages), id,
                               [](const Message& m, DWORD key) { return m.id < key; });
    return it != std::end(kMessages) && it->id == id ? it->text : nullptr;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

HMODULE GetModuleHandleA(LPCSTR lpModuleName) {
    if (lpModuleName == nullptr) return &programModule;
    std::string_view name(lpModuleName);
    std::size_t sep = name.find_last_of("\\/");
    if (sep != std::string_view::npos) name.remove_prefix(sep + 1);
    if (EqualsNoCase(name, "wininet.dll") || EqualsNoCase(name, "wininet")) return &serviceModule;
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
}

DWORD FormatMessageA(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                     LPSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
    const bool fromModule = (dwFlags & FORMAT_MESSAGE_FROM_HMODULE) != 0;
    const bool fromSystem = (dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) != 0;
    if ((dwFlags & (FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_STRING)) != 0 ||
        (!fromModule && !fromSystem) || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (fromModule && lpSource != nullptr && lpSource != &serviceModule && !fromSystem) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);  // a module without a message table
        return 0;
    }
    const char* text = FindMessage(dwMessageId);
    if (text == nullptr) {
        SetLastError(ERROR_MR_MID_NOT_FOUND);
        return 0;
    }
    const std::size_t length = std::strlen(text);
    if (length + 1 > nSize) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(lpBuffer, text, length + 1);
    return static_cast<DWORD>(length);
}

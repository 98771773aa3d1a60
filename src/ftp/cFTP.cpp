// cFTP: construction, connection, settings, the last-error text and file-time conversion.
#include "ftp/cFTP.h"

#include <cstring>
#include <utility>
#include <vector>

#include "platform/files/vb_error.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr DWORD kMessageBufferSize = 2048;
constexpr DWORD kFormatMessageSize = 256;

// Days from 1601-01-01 (the FILETIME epoch) to 1899-12-30 (day 0 of a Date).
constexpr double kDaysFrom1601To1899 = 109205.0;
// The Date range: 100-01-01 00:00 to 9999-12-31 23:59:59.
constexpr double kFirstDate = -657434.0;
constexpr double kAfterLastDate = 2958466.0;

std::string TextBeforeNul(const std::vector<char>& buffer) {
    return std::string(buffer.data(), strnlen(buffer.data(), buffer.size()));
}

}  // namespace

cFTP::cFTP() { Class_Initialize(); }

cFTP::cFTP(Host host) : host_(std::move(host)) { Class_Initialize(); }

cFTP::~cFTP() { CloseConnection(); }

void cFTP::Class_Initialize() {
    lTransferType = FTP_TRANSFER_TYPE_ASCII;
    lConnectFlags = 0;
}

bool cFTP::RefuseNul(std::initializer_list<std::string_view> texts, const std::string& sOperation) {
    for (std::string_view text : texts) {
        if (text.find('\0') == std::string_view::npos) continue;
        SetLastErrorMessage(static_cast<std::int32_t>(ERROR_INVALID_PARAMETER), sOperation);
        return true;
    }
    return false;
}

void cFTP::Yield() {
    if (host_.DoEvents) host_.DoEvents();
}

std::shared_ptr<cDirList> cFTP::Directory() {
    if (!mDirList) mDirList = std::make_shared<cDirList>();
    return mDirList;
}

std::string cFTP::GetLastErrorMessage() const { return sLastError; }

bool cFTP::OpenConnection(const std::string& sServer, const std::string& sUser,
                          const std::string& sPassword) {
    if (RefuseNul({sServer, sUser, sPassword}, "InternetConnect")) return false;
    hConnection.Close();
    if (!InternetAutodial(INTERNET_AUTODIAL_FORCE_ONLINE, nullptr)) return false;

    // The root handle of an earlier call is released here rather than left behind.
    hInternet = wininet::Handle(
        InternetOpenA("Vorn FTP Client", INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
    if (!hInternet) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "InternetOpen");
        return false;
    }

    hConnection = wininet::Handle(InternetConnectA(
        hInternet.get(), sServer.c_str(), INTERNET_INVALID_PORT_NUMBER, sUser.c_str(),
        sPassword.c_str(), INTERNET_SERVICE_FTP, static_cast<DWORD>(lConnectFlags), 0));
    if (!hConnection) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "InternetConnect");
        return false;
    }
    return true;
}

void cFTP::CloseConnection() {
    hTransfer.Close();
    hConnection.Close();
    hInternet.Close();
}

void cFTP::SetTransferASCII() { lTransferType = FTP_TRANSFER_TYPE_ASCII; }

void cFTP::SetTransferBinary() { lTransferType = FTP_TRANSFER_TYPE_BINARY; }

void cFTP::SetModeActive() { lConnectFlags = 0; }

void cFTP::SetModePassive() { lConnectFlags = static_cast<std::int32_t>(INTERNET_FLAG_PASSIVE); }

void cFTP::SetLastErrorMessage(std::int32_t lErrorCode, const std::string& sOperation) {
    std::vector<char> buffer(kMessageBufferSize, '\0');
    HMODULE module = GetModuleHandleA("wininet.dll");
    FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE, module, static_cast<DWORD>(lErrorCode), 0,
                   buffer.data(), kFormatMessageSize, nullptr);
    sLastError = sOperation + " error code: " + std::to_string(lErrorCode) +
                 " Message: " + TextBeforeNul(buffer);

    if (lErrorCode != static_cast<std::int32_t>(ERROR_INTERNET_EXTENDED_ERROR)) return;
    // The server answered with an error reply: its own lines say more than our table.
    DWORD error = 0;
    DWORD length = kMessageBufferSize;
    InternetGetLastResponseInfoA(&error, buffer.data(), &length);
    sLastError = TextBeforeNul(buffer);
}

void cFTP::RecordFailure(std::int32_t lErrorCode, const std::string& sOperation,
                         const std::string& sDescription) {
    SetLastErrorMessage(lErrorCode, sOperation);
    static const std::string kEmptyMessage = " Message: ";
    if (sLastError.size() >= kEmptyMessage.size() &&
        sLastError.compare(sLastError.size() - kEmptyMessage.size(), kEmptyMessage.size(),
                           kEmptyMessage) == 0) {
        sLastError += sDescription;
    }
}

Date cFTP::FileTimeToDate(const FILETIME& ft) {
    FILETIME local;
    if (!FileTimeToLocalFileTime(&ft, &local)) {
        const DWORD code = GetLastError();
        if (host_.MsgBox) host_.MsgBox(std::to_string(code));
        return 0;
    }
    const std::uint64_t ticks =
        (static_cast<std::uint64_t>(local.dwHighDateTime) << 32) | local.dwLowDateTime;
    const double days = (static_cast<double>(ticks) / 10000.0) / 86400000.0 - kDaysFrom1601To1899;
    if (days < kFirstDate || days >= kAfterLastDate) throw vberr::Make(vberr::Overflow);
    return days;
}

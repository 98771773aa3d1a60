// cFTP: the directory listing into the shared cDirList.
#include <cstring>

#include "ftp/cFTP.h"
#include "platform/kernel/kernel.h"

namespace {

// An entry with no time (MLSD without "modify", a LIST date that could not be read) has the
// file time 0: its date is 0, whatever the time zone, with no conversion to fail.
Date EntryDate(cFTP& ftp, const FILETIME& ft) {
    if (ft.dwLowDateTime == 0 && ft.dwHighDateTime == 0) return 0;
    return ftp.FileTimeToDate(ft);
}

}  // namespace

void cFTP::AddFindEntry(const WIN32_FIND_DATAA& data) {
    const std::string name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
    const Date created = EntryDate(*this, data.ftCreationTime);
    const Date accessed = EntryDate(*this, data.ftLastAccessTime);
    const Date written = EntryDate(*this, data.ftLastWriteTime);
    if (!mDirList) mDirList = std::make_shared<cDirList>();
    mDirList->Add(static_cast<std::int32_t>(data.dwFileAttributes), created, accessed, written,
                  static_cast<std::int32_t>(data.nFileSizeLow), name);
}

std::shared_ptr<cDirList> cFTP::GetDirectoryListing(const std::string& sFilter) {
    mDirList.reset();
    if (RefuseNul({sFilter}, "FtpFindFirstFile")) return nullptr;
    WIN32_FIND_DATAA data;
    // Closed on every road out, also when an entry raises (a duplicate name, a time outside
    // the date range).
    wininet::Handle find(FtpFindFirstFileA(hConnection.get(), sFilter.c_str(), &data, 0, 0));
    DWORD code = GetLastError();
    if (!find) {
        if (code != ERROR_NO_MORE_FILES) {
            SetLastErrorMessage(static_cast<std::int32_t>(code), "FtpFindFirstFile");
        }
        return nullptr;
    }
    AddFindEntry(data);

    for (;;) {
        std::memset(data.cFileName, 0, sizeof data.cFileName);
        if (!InternetFindNextFileA(find.get(), &data)) {
            code = GetLastError();
            break;
        }
        AddFindEntry(data);
    }

    if (code == ERROR_NO_MORE_FILES) return Directory();
    SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetFindNextFile");
    return nullptr;
}

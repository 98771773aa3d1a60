// cFTP: the directory listing into the shared cDirList.
#include <cstring>

#include "ftp/cFTP.h"
#include "platform/kernel/kernel.h"

namespace {

// Closes the find handle on every road out, also when an entry raises (a duplicate name or a
// time outside the date range).
class FindHandle {
  public:
    explicit FindHandle(HINTERNET handle) : handle_(handle) {}
    ~FindHandle() {
        if (handle_) InternetCloseHandle(handle_);
    }
    FindHandle(const FindHandle&) = delete;
    FindHandle& operator=(const FindHandle&) = delete;
    HINTERNET get() const { return handle_; }

  private:
    HINTERNET handle_;
};

}  // namespace

void cFTP::AddFindEntry(const WIN32_FIND_DATAA& data) {
    const std::string name(data.cFileName, strnlen(data.cFileName, sizeof data.cFileName));
    const Date created = FileTimeToDate(data.ftCreationTime);
    const Date accessed = FileTimeToDate(data.ftLastAccessTime);
    const Date written = FileTimeToDate(data.ftLastWriteTime);
    if (!mDirList) mDirList = std::make_shared<cDirList>();
    mDirList->Add(static_cast<std::int32_t>(data.dwFileAttributes), created, accessed, written,
                  static_cast<std::int32_t>(data.nFileSizeLow), name);
}

std::shared_ptr<cDirList> cFTP::GetDirectoryListing(const std::string& sFilter) {
    mDirList.reset();
    WIN32_FIND_DATAA data;
    FindHandle find(FtpFindFirstFileA(hConnection, sFilter.c_str(), &data, 0, 0));
    DWORD code = GetLastError();
    if (!find.get()) {
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

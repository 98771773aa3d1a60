// A general FTP client over the platform's FTP service: connection and settings, chunked
// transfers with a progress event, one-call transfers, remote file and folder operations and
// directory listings. Failures of the service are results (false, "", -1/-2, no list) with a
// description in GetLastErrorMessage(); local file errors are raised (VbError).
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>

#include "ftp/cDirList.h"
#include "platform/kernel/wintypes.h"
#include "platform/wininet/handle.h"
#include "platform/wininet/wininet.h"

class cFTP {
  public:
    // What the owner provides: the yield of the user interface and its message box.
    struct Host {
        std::function<void()> DoEvents;
        std::function<void(const std::string&)> MsgBox;
    };

    cFTP();  // Class_Initialize
    explicit cFTP(Host host);
    ~cFTP();  // closes what is still open
    cFTP(const cFTP&) = delete;
    cFTP& operator=(const cFTP&) = delete;

    // Event: raised synchronously by FTPUploadFile and FTPDownloadFile.
    std::function<void(std::int32_t& lCurrentBytes, std::int32_t& lTotalBytes)>
        FileTransferProgress;

    std::shared_ptr<cDirList> Directory();
    std::string GetLastErrorMessage() const;
    bool OpenConnection(const std::string& sServer, const std::string& sUser,
                        const std::string& sPassword);
    void CloseConnection();
    bool SimpleFTPPutFile(const std::string& sLocal, const std::string& sRemote);
    bool RenameFTPFile(const std::string& sExisting, const std::string& sNewName);
    bool CreateFTPDirectory(const std::string& sDirectory);
    bool RemoveFTPDirectory(const std::string& sDirectory);
    bool DeleteFTPFile(const std::string& sRemote);
    bool FTPUploadFile(const std::string& sLocal, const std::string& sRemote);
    bool FTPDownloadFile(const std::string& sLocal, const std::string& sRemote);
    bool SimpleFTPGetFile(const std::string& sLocal, const std::string& sRemote);
    std::string GetFTPDirectory();
    bool SetFTPDirectory(const std::string& sDir);
    std::int32_t GetFTPFileSize(const std::string& sFile);
    // nullptr: no list.
    std::shared_ptr<cDirList> GetDirectoryListing(const std::string& sFilter);
    void SetTransferASCII();
    void SetTransferBinary();
    void SetModeActive();
    void SetModePassive();

    // The class's private procedures, reachable for tests.
    void SetLastErrorMessage(std::int32_t lErrorCode, const std::string& sOperation);
    Date FileTimeToDate(const FILETIME& ft);

    // Read-only views of the fields, for tests and the command-line tool.
    HINTERNET ConnectionHandle() const { return hConnection.get(); }
    std::int32_t TransferType() const { return lTransferType; }
    std::int32_t ConnectFlags() const { return lConnectFlags; }

  private:
    void Class_Initialize();
    void Yield();
    void RaiseProgress(std::int32_t lCurrentBytes, std::int32_t lTotalBytes);
    // Records a failure through SetLastErrorMessage and, when the service's module has no text
    // for the code, completes the message with our own description.
    void RecordFailure(std::int32_t lErrorCode, const std::string& sOperation,
                       const std::string& sDescription);
    // Refuses a transfer started while another one runs on this instance.
    bool RefuseNestedTransfer(const std::string& sOperation);
    void AddFindEntry(const WIN32_FIND_DATAA& data);
    // A NUL would cut a name short where the service reads it, so a name, user or password
    // holding one is refused before anything is sent, as CR and LF are (87, under sOperation).
    bool RefuseNul(std::initializer_list<std::string_view> texts, const std::string& sOperation);

    // Declared root first: they close in the reverse order, the transfer before its connection.
    wininet::Handle hInternet;
    wininet::Handle hConnection;
    wininet::Handle hTransfer;
    std::int32_t lTransferType = FTP_TRANSFER_TYPE_ASCII;
    std::int32_t lConnectFlags = 0;
    std::string sLastError;
    std::shared_ptr<cDirList> mDirList;
    Host host_;
    bool transferring_ = false;
    // The full 64-bit size of the entry the last GetFTPFileSize found (-1: none found), so that
    // a download can refuse a size whose low 32 bits alone look valid.
    std::int64_t lastFoundSize_ = -1;
};

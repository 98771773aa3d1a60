// cFTP: the chunked download and upload with their progress event, and the remote size lookup.
#include <array>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "ftp/cFTP.h"
#include "platform/files/files.h"
#include "platform/files/vb_error.h"
#include "platform/kernel/kernel.h"

namespace {

constexpr std::int32_t kChunkSize = 255;

std::string TrimSpaces(const std::string& text) {
    const auto first = text.find_first_not_of(' ');
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(' ');
    return text.substr(first, last - first + 1);
}

// Marks a transfer as running and closes its remote file on every road out, a raised local
// file error included, so that no remote file stays open behind a failure.
class TransferScope {
  public:
    TransferScope(wininet::Handle& handle, bool& running) : handle_(handle), running_(running) {
        running_ = true;
    }
    ~TransferScope() {
        handle_.Close();
        running_ = false;
    }
    TransferScope(const TransferScope&) = delete;
    TransferScope& operator=(const TransferScope&) = delete;

  private:
    wininet::Handle& handle_;
    bool& running_;
};

// Reads up to n bytes, fewer only at the end of the data. A read that delivers fewer bytes
// than asked is retried, so only a real end of data counts as short. On failure *code holds
// the service's error.
bool ReadUpTo(HINTERNET hFile, char* buffer, DWORD n, DWORD* done, DWORD* code) {
    *done = 0;
    while (*done < n) {
        DWORD got = 0;
        if (!InternetReadFile(hFile, buffer + *done, n - *done, &got)) {
            *code = GetLastError();
            return false;
        }
        if (got > n - *done) {
            *code = ERROR_INTERNET_CONNECTION_ABORTED;
            return false;
        }
        if (got == 0) return true;
        *done += got;
    }
    return true;
}

// Reads exactly n bytes; data that ends first is ERROR_INTERNET_CONNECTION_ABORTED.
bool ReadChunk(HINTERNET hFile, char* buffer, DWORD n, DWORD* code) {
    DWORD done = 0;
    if (!ReadUpTo(hFile, buffer, n, &done, code)) return false;
    if (done == n) return true;
    *code = ERROR_INTERNET_CONNECTION_ABORTED;
    return false;
}

// Writes exactly n bytes; a write the service reports as short is a failed transfer.
bool WriteChunk(HINTERNET hFile, const char* buffer, DWORD n, DWORD* code) {
    DWORD written = 0;
    if (!InternetWriteFile(hFile, buffer, n, &written)) {
        *code = GetLastError();
        return false;
    }
    if (written != n) {
        *code = ERROR_INTERNET_CONNECTION_ABORTED;
        return false;
    }
    return true;
}

void ReadLocalExactly(files::BinaryFile& file, char* buffer, std::size_t n) {
    // The local file shrank under the upload: sending stale bytes would corrupt the copy.
    if (file.Read(buffer, n) != n) throw vberr::Make(vberr::InputPastEnd);
}

}  // namespace

void cFTP::RaiseProgress(std::int32_t lCurrentBytes, std::int32_t lTotalBytes) {
    // The handler gets copies: whatever it does to them cannot change the transfer's counts.
    if (FileTransferProgress) FileTransferProgress(lCurrentBytes, lTotalBytes);
}

bool cFTP::RefuseNestedTransfer(const std::string& sOperation) {
    if (!transferring_) return false;
    // A handler run from the yield of a running transfer would share its remote handle.
    RecordFailure(static_cast<std::int32_t>(ERROR_FTP_TRANSFER_IN_PROGRESS), sOperation,
                  "A transfer is already running on this connection.");
    return true;
}

std::int32_t cFTP::GetFTPFileSize(const std::string& sFile) {
    lastFoundSize_ = -1;
    if (RefuseNul({sFile}, "FtpFindFirstFile")) return -2;
    // Spaces become wildcards in the name only: the folder part goes to the server as it is.
    std::string pattern = sFile;
    const auto nameStart = pattern.find_last_of("/\\");
    for (auto i = nameStart == std::string::npos ? 0 : nameStart + 1; i < pattern.size(); ++i) {
        if (pattern[i] == ' ') pattern[i] = '?';
    }
    WIN32_FIND_DATAA data;
    wininet::Handle find(FtpFindFirstFileA(hConnection.get(), pattern.c_str(), &data, 0, 0));
    const DWORD code = GetLastError();
    if (find) {
        lastFoundSize_ = static_cast<std::int64_t>(
            (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow);
        return static_cast<std::int32_t>(data.nFileSizeLow);
    }
    if (code == ERROR_NO_MORE_FILES) return -1;
    SetLastErrorMessage(static_cast<std::int32_t>(code), "FtpFindFirstFile");
    return -2;
}

bool cFTP::FTPDownloadFile(const std::string& sLocalIn, const std::string& sRemoteIn) {
    if (RefuseNestedTransfer("FTPDownloadFile")) return false;
    const std::string sLocal = TrimSpaces(sLocalIn);
    const std::string sRemote = TrimSpaces(sRemoteIn);
    if (sLocal.empty() || sRemote.empty()) return false;
    if (RefuseNul({sLocal, sRemote}, "FtpOpenFile:GetFile")) return false;

    const std::int32_t total = GetFTPFileSize(sRemote);
    // A size of 2 GiB or more cannot be counted in 32 bits; its low half alone may look valid.
    if (lastFoundSize_ > std::numeric_limits<std::int32_t>::max()) {
        RecordFailure(ERROR_FILE_TOO_LARGE, "FTPDownloadFile",
                      "The remote file is 2 GiB or larger, too large for this transfer.");
        return false;
    }
    if (total <= 0) return false;

    TransferScope scope(hTransfer, transferring_);
    hTransfer = wininet::Handle(FtpOpenFileA(hConnection.get(), sRemote.c_str(), GENERIC_READ,
                                             static_cast<DWORD>(lTransferType), 0));
    if (!hTransfer) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "FtpOpenFile:GetFile");
        return false;
    }

    files::BinaryFile local(sLocal, files::BinaryFile::Mode::Write);
    std::int32_t current = 0;
    std::array<char, kChunkSize> chunk;
    DWORD code = 0;

    // Whatever a longer file held before stays out of the copy, on failure as on success.
    auto closeLocal = [&local] {
        local.TruncateHere();
        local.Close();
    };

    if (lTransferType == FTP_TRANSFER_TYPE_ASCII) {
        // Line ends may grow on the way, never shrink, so the listed size is a floor and not
        // the measure: the data is read to its end, and the counts of the events stop at the
        // total. Data that ends below the floor was cut short, whatever the server said.
        std::int64_t received = 0;
        for (;;) {
            DWORD got = 0;
            if (!ReadUpTo(hTransfer.get(), chunk.data(), kChunkSize, &got, &code)) {
                SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetReadFile");
                closeLocal();
                return false;
            }
            local.Write(chunk.data(), got);
            received += got;
            if (got < kChunkSize && received < total) {
                SetLastErrorMessage(static_cast<std::int32_t>(ERROR_INTERNET_CONNECTION_ABORTED),
                                    "InternetReadFile");
                closeLocal();
                return false;
            }
            if (got < kChunkSize) break;
            Yield();
            current = current < total - kChunkSize ? current + kChunkSize : total;
            RaiseProgress(current, total);
        }
        closeLocal();
        RaiseProgress(total, total);
        return true;
    }

    const std::int32_t fullChunks = total / kChunkSize;
    for (std::int32_t k = 0; k < fullChunks; ++k) {
        if (!ReadChunk(hTransfer.get(), chunk.data(), kChunkSize, &code)) {
            SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetReadFile");
            closeLocal();
            return false;
        }
        local.Write(chunk.data(), kChunkSize);
        Yield();
        current += kChunkSize;
        RaiseProgress(current, total);
    }

    const std::int32_t remainder = total % kChunkSize;
    if (remainder != 0) {
        std::vector<char> last(static_cast<std::size_t>(remainder));
        if (!ReadChunk(hTransfer.get(), last.data(), static_cast<DWORD>(remainder), &code)) {
            SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetReadFile2");
            closeLocal();
            return false;
        }
        local.Write(last.data(), last.size());
    }

    closeLocal();
    current = total;
    RaiseProgress(current, total);
    return true;
}

bool cFTP::FTPUploadFile(const std::string& sLocalIn, const std::string& sRemoteIn) {
    if (RefuseNestedTransfer("FTPUploadFile")) return false;
    const std::string sLocal = TrimSpaces(sLocalIn);
    const std::string sRemote = TrimSpaces(sRemoteIn);
    if (sLocal.empty() || sRemote.empty()) return false;
    if (RefuseNul({sLocal, sRemote}, "FtpOpenFile:PutFile")) return false;

    // The local file is opened and sized before the server is asked to store anything: STOR
    // alone empties the remote file.
    files::BinaryFile local(sLocal, files::BinaryFile::Mode::Read);
    const std::int64_t length = local.Length();
    // The running count is 32-bit: a larger file would wrap it.
    if (length > std::numeric_limits<std::int32_t>::max()) {
        local.Close();
        RecordFailure(ERROR_FILE_TOO_LARGE, "FTPUploadFile",
                      "The local file is 2 GiB or larger, too large for this transfer.");
        return false;
    }

    TransferScope scope(hTransfer, transferring_);
    hTransfer = wininet::Handle(FtpOpenFileA(hConnection.get(), sRemote.c_str(), GENERIC_WRITE,
                                             static_cast<DWORD>(lTransferType), 0));
    if (!hTransfer) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "FtpOpenFile:PutFile");
        return false;
    }

    const auto total = static_cast<std::int32_t>(length);
    std::int32_t current = 0;
    std::array<char, kChunkSize> chunk;
    DWORD code = 0;

    const std::int32_t fullChunks = total / kChunkSize;
    for (std::int32_t k = 0; k < fullChunks; ++k) {
        ReadLocalExactly(local, chunk.data(), kChunkSize);
        if (!WriteChunk(hTransfer.get(), chunk.data(), kChunkSize, &code)) {
            SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetWriteFile");
            local.Close();
            return false;
        }
        Yield();
        current += kChunkSize;
        RaiseProgress(current, total);
    }

    const std::int32_t remainder = total % kChunkSize;
    if (remainder != 0) {
        ReadLocalExactly(local, chunk.data(), static_cast<std::size_t>(remainder));
        if (!WriteChunk(hTransfer.get(), chunk.data(), static_cast<DWORD>(remainder), &code)) {
            SetLastErrorMessage(static_cast<std::int32_t>(code), "InternetWriteFile2");
            local.Close();
            return false;
        }
    }
    local.Close();

    // The service buffers: only the close tells whether the server kept the file.
    if (!hTransfer.Close()) {
        SetLastErrorMessage(static_cast<std::int32_t>(GetLastError()), "FTPUploadFile");
        return false;
    }
    current = total;
    RaiseProgress(current, total);
    return true;
}

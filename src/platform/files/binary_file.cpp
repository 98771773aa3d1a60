// BinaryFile's buffering, over the raw calls that each platform supplies.
#include <algorithm>
#include <cstring>

#include "platform/files/files.h"
#include "platform/files/internal.h"

namespace files {

BinaryFile::BinaryFile(const std::string& windowsPath, Mode mode)
    : mode_(mode), buffer_(new char[detail::kFileBufferSize]) {
    fd_ = detail::OpenRaw(windowsPath, mode == Mode::Write);
}

BinaryFile::~BinaryFile() {
    if (fd_ < 0) return;
    try {
        Flush();
    } catch (const VbError&) {
        // Nothing can be reported from here; Close() is the place that reports.
    }
    detail::CloseRaw(fd_);
}

void BinaryFile::Fail(int errorNumber) const { throw vberr::Make(errorNumber); }

void BinaryFile::Flush() {
    if (mode_ != Mode::Write || bufferEnd_ == 0) return;
    detail::WriteRaw(fd_, buffer_.get(), bufferEnd_);
    filePos_ += static_cast<std::int64_t>(bufferEnd_);
    bufferEnd_ = 0;
}

std::int64_t BinaryFile::Length() const {
    if (fd_ < 0) Fail(vberr::InvalidProcedureCall);
    const std::int64_t pending =
        mode_ == Mode::Write ? filePos_ + static_cast<std::int64_t>(bufferEnd_) : 0;
    return std::max<std::int64_t>(detail::RawSize(fd_), pending);
}

std::size_t BinaryFile::Read(void* buffer, std::size_t n) {
    if (fd_ < 0 || mode_ != Mode::Read) Fail(vberr::PathFileAccess);
    auto* out = static_cast<char*>(buffer);
    std::size_t done = 0;
    while (done < n) {
        if (bufferStart_ == bufferEnd_) {
            // Large reads skip the buffer; small ones refill it.
            if (n - done >= detail::kFileBufferSize) {
                const std::size_t got = detail::ReadRaw(fd_, out + done, n - done);
                if (got == 0) break;
                done += got;
                continue;
            }
            const std::size_t got = detail::ReadRaw(fd_, buffer_.get(), detail::kFileBufferSize);
            if (got == 0) break;
            bufferStart_ = 0;
            bufferEnd_ = got;
        }
        const std::size_t take = std::min(n - done, bufferEnd_ - bufferStart_);
        std::memcpy(out + done, buffer_.get() + bufferStart_, take);
        bufferStart_ += take;
        done += take;
    }
    return done;
}

void BinaryFile::Write(const void* buffer, std::size_t n) {
    if (fd_ < 0 || mode_ != Mode::Write) Fail(vberr::PathFileAccess);
    const auto* in = static_cast<const char*>(buffer);
    if (bufferEnd_ + n > detail::kFileBufferSize) {
        Flush();
        if (n >= detail::kFileBufferSize) {
            detail::WriteRaw(fd_, in, n);
            filePos_ += static_cast<std::int64_t>(n);
            return;
        }
    }
    std::memcpy(buffer_.get() + bufferEnd_, in, n);
    bufferEnd_ += n;
}

void BinaryFile::TruncateHere() {
    if (fd_ < 0 || mode_ != Mode::Write) Fail(vberr::PathFileAccess);
    Flush();
    detail::TruncateRaw(fd_, filePos_);
}

void BinaryFile::Close() {
    if (fd_ < 0) return;
    const int fd = fd_;
    try {
        Flush();
    } catch (const VbError&) {
        fd_ = -1;
        detail::CloseRaw(fd);
        throw;
    }
    fd_ = -1;
    if (const int error = detail::CloseRaw(fd); error != 0) Fail(error);
}

}  // namespace files

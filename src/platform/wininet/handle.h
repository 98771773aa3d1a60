// An owner of one handle of the FTP service: closes it when it goes away, and tells the
// result of the close when asked to close now (a write handle reports there whether the
// server kept the upload).
#pragma once

#include <utility>

#include "platform/wininet/wininet.h"

namespace wininet {

class Handle {
  public:
    Handle() = default;
    explicit Handle(HINTERNET handle) : handle_(handle) {}
    ~Handle() { Close(); }
    Handle(Handle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
    Handle& operator=(Handle&& other) noexcept {
        if (this != &other) {
            Close();
            handle_ = std::exchange(other.handle_, nullptr);
        }
        return *this;
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;

    HINTERNET get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }

    // Closes the handle now; false with the service's last error when the close fails.
    bool Close() {
        if (handle_ == nullptr) return true;
        return InternetCloseHandle(std::exchange(handle_, nullptr)) != FALSE;
    }

  private:
    HINTERNET handle_ = nullptr;
};

}  // namespace wininet

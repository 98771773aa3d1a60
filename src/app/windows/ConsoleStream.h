// A stream buffer over a system handle: whole lines (and whatever is left when flushed) go out
// as UTF-16 through WriteConsoleW when the handle is a console, as UTF-8 bytes otherwise.
#pragma once

#include <streambuf>
#include <string>

#include "platform/kernel/windows/windows_api.h"

namespace app {

class HandleStreamBuf : public std::streambuf {
  public:
    explicit HandleStreamBuf(HANDLE handle);
    ~HandleStreamBuf() override;

  protected:
    int_type overflow(int_type c) override;
    std::streamsize xsputn(const char* s, std::streamsize n) override;
    int sync() override;

  private:
    void WriteOut(std::size_t length);

    HANDLE handle_;
    bool console_;
    std::string pending_;
};

}  // namespace app
